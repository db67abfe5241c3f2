#pragma once

// The port set-up window: finds the serial port on which a device answers
// and makes it the program's port (strCommPort, bolCommFound), with a
// PortSearch (discovery/core/portsearch.h) it shows the progress of.
//
// Start-up sets bolPortSetup, creates the window, calls load() (which shows
// the window and searches the ports for the devices of the table), waits
// while bolPortSetup is True and closes the window. When no configured
// device answers, the user can search for a bus address of his own choice.
//
// Every search waits in Delay, so the window may be closed (by the user or
// by start-up) while a search of its own is still on the stack: closing
// stops the search, which keeps its protocol object alive until it unwinds
// and reports nothing to the window again.

#include "discovery/core/portsearch.h"

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
    static constexpr int kPortPauseMs = PortSearch::kPortPauseMs; // after opening each port

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

    [[nodiscard]] std::uint8_t bytDevID() const { return m_search->address(); }
    void setBytDevID(std::uint8_t address) { m_search->setAddress(address); }
    [[nodiscard]] bool isSearching() const { return m_search->isRunning(); }
    [[nodiscard]] bool isUnloaded() const { return m_unloaded; }

    // How long each port is given after opening; tests shorten it.
    void setPortPauseMs(int milliseconds) { m_search->setPortPauseMs(milliseconds); }

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void cmdSearch_Click();
    void optcom_Click();
    void showManualControls();
    void reportNothingFound();
    // bolPortSetup False, the search stopped; once.
    void unload();

    QLabel *lblport = nullptr;
    QLabel *lblpermission = nullptr; // a port refused for lack of permission
    QPushButton *cmdSearch = nullptr;
    QRadioButton *optcom = nullptr;
    QComboBox *cbdevscan = nullptr;

    std::shared_ptr<PortSearch> m_search = PortSearch::create();
    bool m_loaded = false;
    bool m_unloaded = false;
    bool m_placed = false;
};

} // namespace velorix
