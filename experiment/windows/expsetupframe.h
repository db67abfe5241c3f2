#pragma once

// The set-up frame `frmexpsetup`: the set-up boxes with their captions and
// unit captions, the unit, wheel and direction options, and the "Upload"
// and "Download" buttons. It only shows and hands back texts; packing and
// checking are setupvalues.h's.

#include "experiment/core/setupvalues.h"

#include <QGroupBox>

#include <array>

class QCheckBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace velorix {

class ExpSetupFrame final : public QGroupBox
{
    Q_OBJECT
public:
    explicit ExpSetupFrame(QWidget *parent = nullptr);

    [[nodiscard]] SetupTexts texts() const;
    // Every box; iniexp_values hands back the rocking interval as typed.
    void showTexts(const SetupTexts &texts);
    // Label5(0), Label5(1), Label5(3).
    void setUnits(const QString &units);
    void setTransferButtonsEnabled(bool enabled);

signals:
    void uploadClicked();
    void downloadClicked();

private:
    QLineEdit *addBox(const char *name, const QString &caption, QLabel *unit, int row);

    QLineEdit *txts_speed = nullptr;
    QLineEdit *txte_speed = nullptr;
    QLineEdit *txtacc_time = nullptr;
    QLineEdit *txtacc_step = nullptr;
    QLineEdit *txtduration = nullptr;
    QLineEdit *txtrot_delay = nullptr;
    QLineEdit *txtdir = nullptr;
    std::array<QLabel *, 4> Label5{}; // index 2 is not a unit caption
    std::array<QRadioButton *, 2> optrpmspeed{};
    std::array<QRadioButton *, 2> optwheel{};
    QCheckBox *optdir = nullptr;
    QPushButton *cmdupload = nullptr;
    QPushButton *cmddownload = nullptr;
    QGridLayout *m_grid = nullptr;
};

} // namespace velorix
