#pragma once

// The device scan window: checks the devices of the table or finds new ones
// on the bus, writes what it learns into the device table and lists it in
// the grid `devgrid`; "Exit" offers to save the table to the configuration
// file.
//
// Creating the window is its load: the grid lists the configured devices.
// Start-up calls devicescan() on it once; the main window's menu opens it
// for the user. The scans are a BusScan's (discovery/core/busscan.h): the
// window starts them and shows their progress. Closing the window stops a
// running scan, which then touches nothing of the window.

#include "discovery/core/busscan.h"

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
    static constexpr int kLastListedDevice = 64;
    using Pacing = BusScan::Pacing;

    explicit frmdevicescan(QWidget *parent = nullptr);
    ~frmdevicescan() override;

    // The empty grid.
    void inidevgrid();
    // Lists the records in use among 1..64 and resets the progress bar.
    void inidevicescan();
    // The configured-device scan and the new-device scan. Each returns when
    // the scan is over, or at once when it has to wait for the link (it
    // then starts as soon as the link is free).
    void devicescan() { m_scan->start(BusScan::Kind::Configured); }
    void devicescan1() { m_scan->start(BusScan::Kind::NewDevices); }

    // A scan runs or waits for the link.
    [[nodiscard]] bool isScanning() const { return m_scan->isScanning(); }
    [[nodiscard]] bool isUnloaded() const { return m_unloaded; }
    void setPacing(const Pacing &pacing) { m_scan->setPacing(pacing); }

    // Start-up's close after its scan: no question, the file stays as it is.
    // Every other close (the frame's close button, the main window closing)
    // asks "Update Device Configuration" as "Exit" does.
    void closeWithoutAsking();

signals:
    // The user double-clicked the device grid: open the device addresser.
    void addresserRequested();

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void showCheck(int number, BusScan::Check check);
    void showFound(int number);
    void showRange(int minimum, int maximum);
    void scanFinished();
    // The state of a window that is not scanning: "Exit" always, the scans
    // only when the port set-up found a device.
    void enableButtons();
    void disableButtons();
    void cmdquit_Click();
    // The question of "Exit": true when the window may close (No, or Yes and
    // the table saved); false, with the failure said, when saving failed.
    [[nodiscard]] bool mayLeave();
    void unload();

    DeviceGrid *devgrid = nullptr;
    QLabel *lblsetup_status = nullptr;
    QLabel *lblcomport = nullptr;
    QProgressBar *prgbardevice_scan = nullptr;
    QPushButton *cmddevice_setup = nullptr;
    QPushButton *cmdscannew = nullptr;
    QPushButton *cmdquit = nullptr;

    std::shared_ptr<BusScan> m_scan = BusScan::create();
    bool m_unloaded = false;
    bool m_placed = false;
    bool m_leaveSettled = false; // asked already, or start-up closes it
};

} // namespace velorix
