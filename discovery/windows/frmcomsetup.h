#pragma once

// The port set-up window: finds the serial port on which a device answers
// and makes it the program's port (strCommPort, bolCommFound).
//
// Start-up sets bolPortSetup, creates the window, calls load() (which shows
// the window and searches the ports for the devices of the table), waits
// while bolPortSetup is True and closes the window. When no configured
// device answers, the user can search for a bus address of his own choice.
//
// Every search waits in Delay, so the window may be closed (by the user or
// by start-up) while a search of its own is still on the stack: a search
// keeps its protocol object alive until it unwinds and looks at nothing of
// the window again once the window is closed.

#include "protocol/multivelorix.h"

#include <QPointer>
#include <QWidget>

#include <cstdint>
#include <memory>

class QComboBox;
class QLabel;
class QPushButton;
class QRadioButton;

namespace velorix {

class frmcomsetup : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kPortPauseMs = 1000;   // after opening each port
    static constexpr int kSearchedRecords = 64; // records 0..63

    explicit frmcomsetup(QWidget *parent = nullptr);
    ~frmcomsetup() override;

    // The window load: shows the window (with its MDI frame, when it has
    // one), fills the address list and, while bolPortSetup is True, searches
    // the ports for each device of the table until one answers. Runs once;
    // returns when the automatic search is over or the window was closed.
    void load();

    // One search for bytDevID over every port; the outcome is in
    // bolCommFound, strCommPort and bolPortSetup. Refused while a search of
    // this window runs.
    void EstablishComm();
    // With "Manually Select Address" selected: bytDevID = the chosen address.
    void checkID();

    [[nodiscard]] std::uint8_t bytDevID() const { return m_bytDevID; }
    void setBytDevID(std::uint8_t address) { m_bytDevID = address; }
    [[nodiscard]] bool isSearching() const { return m_searching; }
    [[nodiscard]] bool isUnloaded() const { return m_unloaded; }

    // How long each port is given after opening; tests shorten it.
    void setPortPauseMs(int milliseconds) { m_portPauseMs = milliseconds; }

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void cmdSearch_Click();
    void optcom_Click();
    void showManualControls();
    // bolPortSetup False, protocol object released; once.
    void unload();
    // False once the window is gone or closed: a search then stops at once.
    [[nodiscard]] static bool stillOpen(const QPointer<frmcomsetup> &window);

    QLabel *lblport = nullptr;
    QPushButton *cmdSearch = nullptr;
    QRadioButton *optcom = nullptr;
    QComboBox *cbdevscan = nullptr;

    std::shared_ptr<multiVelorix> m_device; // the window's protocol object
    std::uint8_t m_bytDevID = 128;
    int m_portPauseMs = kPortPauseMs;
    bool m_loaded = false;
    bool m_searching = false;
    bool m_unloaded = false;
    bool m_placed = false;
};

} // namespace velorix
