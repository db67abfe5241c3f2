#pragma once

// The device scan window: checks the devices of the table or finds new ones
// on the bus, writes what it learns into the device table and lists it in
// the grid `devgrid`; "Exit" offers to save the table to the configuration
// file.
//
// Creating the window is its load: the grid lists the configured devices.
// Start-up calls devicescan() on it once; the main window's menu opens it
// for the user. A scan waits in Delay between probes, so the window may be
// closed while its scan is still on the stack: the scan keeps its protocol
// object alive until it unwinds and touches nothing of the window once the
// window is closed. An abandoned new-device scan puts the table back as it
// was, rather than leaving a half-filled one.
//
// A scan never starts inside another window's exchange: a button press can
// be handled while an experiment window's exchange waits for its reply, and
// a scan run from there would hold that exchange up to its end and find the
// link busy at every probe. It waits instead until the link is free.

#include "discovery/core/identityprobe.h"
#include "protocol/multivelorix.h"

#include <QPointer>
#include <QWidget>

#include <memory>

class QLabel;
class QProgressBar;
class QPushButton;

namespace velorix {

class DeviceGrid;

class frmdevicescan : public QWidget
{
    Q_OBJECT
public:
    // Devices numbered 1..63 are scanned and filled; the list shows 1..64.
    static constexpr int kLastScannedDevice = 63;
    static constexpr int kLastListedDevice = 64;
    static constexpr int kFirstAddress = 128;
    static constexpr int kLastAddress = 239;

    struct Pacing
    {
        int afterResetMs = 1000; // after selecting the port and resetting the bus
        int perProbeMs = 100;    // after each probed address or scanned device
        BusyRetry busy;          // when the shared link is busy with another window
    };

    explicit frmdevicescan(QWidget *parent = nullptr);
    ~frmdevicescan() override;

    // The empty grid.
    void inidevgrid();
    // Lists the records in use among 1..64 and resets the progress bar.
    void inidevicescan();
    // Asks every configured device (1..63) for its identity and refreshes
    // its record and row. Returns when the scan is over, or at once when
    // it has to wait for the link (it then starts as soon as it is free).
    void devicescan();
    // Frees records 0..63 and probes addresses 128..239; every Velorix-5
    // that answers becomes record 1, 2, ... up to 63.
    void devicescan1();

    // A scan runs or waits for the link.
    [[nodiscard]] bool isScanning() const { return m_scanning || m_waitingForLink; }
    [[nodiscard]] bool isUnloaded() const { return m_unloaded; }
    void setPacing(const Pacing &pacing) { m_pacing = pacing; }

signals:
    // The user double-clicked the device grid: open the device addresser.
    void addresserRequested();

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    enum class Scan { Configured, NewDevices };

    void startScan(Scan scan);
    void waitForLink(Scan scan);
    void configuredScan();
    void newDeviceScan();
    // Disables the buttons, creates the protocol object, selects the port,
    // resets the bus and waits. Null when the window was closed during the
    // wait.
    std::shared_ptr<multiVelorix> beginScan();
    // ReturnID through the scan's protocol object, repeated while the link
    // is busy; gives up once the window is closed.
    std::int16_t askIdentity(const std::shared_ptr<multiVelorix> &device, std::uint8_t address,
                             QString &identity);
    void endScan(const QString &status);
    // The state of a window that is not scanning: "Exit" always, the scans
    // only when the port set-up found a device.
    void enableButtons();
    void disableButtons();
    void cmdquit_Click();
    void unload();
    // False once the window is gone or closed: a scan then stops at once.
    [[nodiscard]] static bool stillOpen(const QPointer<frmdevicescan> &window);

    DeviceGrid *devgrid = nullptr;
    QLabel *lblsetup_status = nullptr;
    QLabel *lblcomport = nullptr;
    QProgressBar *prgbardevice_scan = nullptr;
    QPushButton *cmddevice_setup = nullptr;
    QPushButton *cmdscannew = nullptr;
    QPushButton *cmdquit = nullptr;

    std::shared_ptr<multiVelorix> m_device; // only while a scan runs
    Pacing m_pacing;
    bool m_scanning = false;
    bool m_waitingForLink = false;
    bool m_unloaded = false;
    bool m_placed = false;
};

} // namespace velorix
