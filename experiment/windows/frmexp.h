#pragma once

// The experiment window: one Velorix-5, its set-up, its run, its results
// grid and data file, subject IDs and channel labels, and the acceleration
// calculator. A child window of the main window; several may be open, each
// on a device of its own.
//
// The window is thin: the run itself (flags, tick, transfers, readout,
// recording) is ExpController's; the window shows what the controller
// holds, forwards its buttons and runs the dialogs. Every message and file
// dialog goes through the prompt interface.
//
// Creating the window is its load: it binds to a free device (the window
// count's device when that one is free, else the lowest free one in the
// device table), selects the port, resets the device and starts uploading
// its set-up. With no device free the window is not bound; it says so when
// shown and closes. frmexp::create() asks before a window is made.

#include "experiment/core/expcontroller.h"
#include "experiment/core/expdialogs.h"
#include "experiment/core/speedtrace.h"

#include <QList>
#include <QPointer>
#include <QWidget>

#include <array>
#include <set>

class QCheckBox;
class QCloseEvent;
class QGroupBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QSplitter;
class QStatusBar;

namespace velorix {

class CalcFrame;
class ChannelArea;
class ChannelSelectFrame;
class ExpSetupFrame;
class LabelFrame;
class ResultsGrid;
class SpeedPlot;
class SubjectIdFrame;

class frmexp final : public QWidget
{
    Q_OBJECT
public:
    explicit frmexp(QWidget *parent = nullptr);
    ~frmexp() override;

    // A new window, or nullptr (after telling the user) when every device
    // in the table already has an experiment window.
    [[nodiscard]] static frmexp *create(QWidget *parent = nullptr);
    // The devices the open experiment windows serve.
    [[nodiscard]] static std::set<int> heldDevices(const frmexp *except = nullptr);
    // The windows bound to a device, by device number.
    [[nodiscard]] static QList<frmexp *> openWindows();
    // Shown, restored if minimised, and made the active child window.
    void bringForward();

    [[nodiscard]] bool isBound() const { return bound(); }
    [[nodiscard]] int deviceIndex() const { return bytDevIndex; }
    [[nodiscard]] std::uint8_t deviceAddress() const { return bytDevAddr; }
    // Null for a window that is not bound.
    [[nodiscard]] ExpController *controller() const { return m_controller; }
    [[nodiscard]] ResultsGrid *resultsGrid() const { return expdatagrid; }
    [[nodiscard]] QString statusPanelText(int panel) const;
    // The wheel speed of the run, as the speed plot shows it.
    [[nodiscard]] const SpeedTrace &speedTrace() const { return m_trace; }

    // The window's procedures, for its buttons and for tests.
    void cmdstartexp_Click();
    void iniexp_values();
    void iniexpdatagrid();
    bool GetFileName();

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void buildWindow();
    void connectController();
    void refresh();
    void unload();
    void setStatusPanel(int panel, const QString &text);
    // The poll just read: the speed plot takes it.
    void followRun(const ExpView &view);
    void showPlot(bool shown);

    void openSubjectFrame(int channel);
    void subjectTyped(const QString &id);
    void assignLabel(int channel);
    [[nodiscard]] DialogOwner dialogOwner();
    void loadChannelTemplate(bool showFrame);
    void saveChannelTemplate();
    void loadExperimentTemplate();
    void calculate();
    void updateSettings();
    void download();
    // The set-up as it went to the device, in every box.
    void showPackedSetup();
    void placeFloating(QWidget *frame, QWidget *anchor, int dx = 8, int dy = 8);

    // The window's hold on its device: none free (and whether the user was
    // told), held, or let go at the unload.
    enum class Binding {
        Unbound,
        RefusalTold,
        Bound,
        Unloaded
    };
    Binding m_binding = Binding::Unbound;
    [[nodiscard]] bool bound() const { return m_binding == Binding::Bound || m_binding == Binding::Unloaded; }
    [[nodiscard]] bool unloaded() const { return m_binding == Binding::Unloaded; }
    bool m_askingToClose = false;
    int bytDevIndex = 0;
    std::uint8_t bytDevAddr = 0;
    int chan = 0;
    bool bolappend = false;
    QPointer<ExpController> m_controller;

    ExpSetupFrame *frmexpsetup = nullptr;
    ChannelArea *m_channels = nullptr;
    ResultsGrid *expdatagrid = nullptr;
    QPushButton *cmdstartexp = nullptr;
    QPushButton *cmdstop_exp = nullptr;
    QPushButton *cmdrestart = nullptr;
    QPushButton *cmdStartall = nullptr;
    QPushButton *cmdload = nullptr;
    QPushButton *cmdch_template = nullptr;
    QPushButton *cmdCalc_Accel = nullptr;
    QPushButton *cmdquit = nullptr;
    QCheckBox *chkaccum_time = nullptr;
    QGroupBox *frmstatus = nullptr;
    QLabel *lblstatus = nullptr;
    QProgressBar *prbstatus = nullptr;
    QStatusBar *sbexpbar = nullptr;
    std::array<QLabel *, 3> m_panels{}; // data file, last result, trial
    LabelFrame *frmch_id = nullptr;
    ChannelSelectFrame *frmchan_sel = nullptr;
    SubjectIdFrame *frmchanupdate = nullptr;
    CalcFrame *frmcalcacc = nullptr;
    QSplitter *m_resultsSplit = nullptr; // the grid beside the speed plot
    SpeedPlot *m_plot = nullptr;
    QCheckBox *chkspeedplot = nullptr;
    QLabel *lblrest = nullptr;
    QSpinBox *txtrest = nullptr; // the rest between trials, seconds
    SpeedTrace m_trace;
};

} // namespace velorix
