#pragma once

// The acceleration calculator frame `frmcalcacc`: its inputs, its six
// result labels and its buttons, and a chart of the ramp it computed. The
// arithmetic is accelcalc.h's.

#include "experiment/core/accelcalc.h"

#include "experiment/windows/floatingframe.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace velorix {

class SpeedPlot;

class CalcFrame final : public FloatingFrame
{
    Q_OBJECT
public:
    explicit CalcFrame(QWidget *parent = nullptr);

    [[nodiscard]] AccelInputs inputs() const;
    [[nodiscard]] AccelLabels labels() const;
    void showLabels(const AccelLabels &labels);
    void setUpdateEnabled(bool enabled);

signals:
    void calculateClicked();
    void updateClicked();

private:
    QLineEdit *txtStart_SP = nullptr;
    QLineEdit *txtEnd_SP = nullptr;
    QLineEdit *txtPeriod = nullptr;
    QLineEdit *txtMAX = nullptr;
    QLabel *lblSP = nullptr;
    QLabel *lblES = nullptr;
    QLabel *lblpr = nullptr;
    QLabel *lblAcc_int = nullptr;
    QLabel *lblAcc_Step = nullptr;
    QLabel *lblerror = nullptr;
    QPushButton *cmdupdate = nullptr;
    SpeedPlot *m_plot = nullptr; // the computed ramp
};

} // namespace velorix
