#pragma once

// The diagnostics window: one Velorix-5, picked by its bus address, command
// by command. The window is wiring over a DiagnosticsSession, which keeps
// its own device record and runs the poll tick; the window shows the
// session's view after each change.

#include "maintenance/core/diagnostics.h"

#include <QPointer>
#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLayout;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace velorix {

class SensorDisplay;

class frmvelorixtest : public QWidget
{
    Q_OBJECT
public:
    explicit frmvelorixtest(QWidget *parent = nullptr);
    ~frmvelorixtest() override;

    // The window's load: its number, the port, the address list, the
    // preselected address and the identification.
    void load();
    void load(const DiagnosticsPacing &pacing);

    [[nodiscard]] int windowNumber() const { return bytWinNo; }
    [[nodiscard]] DiagnosticsSession *session() const { return m_session; }

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    // The controls, in the window's three rows, and their wiring.
    [[nodiscard]] QLayout *buildCommands();
    [[nodiscard]] QLayout *buildChannels();
    [[nodiscard]] QWidget *buildSetup();
    void connectCommands();
    void connectSetup();
    void onClick(const char *name, const std::function<void()> &action);
    void onClick(const char *name, void (DiagnosticsSession::*action)());

    void cboAddr_Click(int index);
    void showSession();
    void showOptions();
    void iniexp_values();
    [[nodiscard]] bool pack_exp_values();
    // Asks first when the action would reach a running experiment.
    [[nodiscard]] bool mayReset(bool wholeBus, const QString &action);
    void unload();

    QPointer<DiagnosticsSession> m_session;
    int bytWinNo = 0;
    bool m_unloaded = false;

    QComboBox *cboAddr = nullptr;
    QLineEdit *txtDisplay = nullptr;
    QLineEdit *txtspeed = nullptr;
    QLabel *lblunits = nullptr;
    std::array<QPushButton *, 4> cmdchenable{};
    std::array<SensorDisplay *, 4> txtsensor{};
    std::array<QLineEdit *, 4> txtch_speed{};
    std::array<QLineEdit *, 4> txtrun_time{};
    QLineEdit *txts_speed = nullptr;
    QLineEdit *txte_speed = nullptr;
    QLineEdit *txtacc_time = nullptr;
    QLineEdit *txtacc_step = nullptr;
    std::array<QRadioButton *, 2> optrpmspeed{};
    std::array<QRadioButton *, 2> optwheel{};
    QCheckBox *optdir = nullptr;
};

} // namespace velorix
