#pragma once

// The device scans of the bus, on the program's port (strCommPort):
// - the configured-device scan asks every device 1..63 of the table for its
//   identity and refreshes the records of the Velorix-5 devices that answer;
// - the new-device scan frees records 0..63 and probes addresses 128..239;
//   every Velorix-5 that answers becomes record 1, 2, ... up to 63.
// Each scan selects the port and, when the reset check allows it, resets
// the bus first; it reports its progress with signals.
//
// A scan waits in Delay between probes, so whoever started it may stop() it
// meanwhile (its window closed): the scan returns at the next step and
// reports nothing more; an abandoned new-device scan puts the table back as
// it was, rather than leaving a half-filled one. The scan keeps itself and
// its protocol object alive until it has unwound, so the object is always
// held by a shared_ptr (create()).
//
// A scan never starts inside another exchange: a button press can be
// handled while another window's exchange waits for its reply, and a scan
// run from there would hold that exchange up to its end and find the link
// busy at every probe. It waits instead until the link is free.

#include "discovery/core/identityprobe.h"
#include "protocol/multivelorix.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

namespace velorix {

class BusScan : public QObject, public std::enable_shared_from_this<BusScan>
{
    Q_OBJECT
public:
    static constexpr int kLastScannedDevice = 63; // devices 1..63 are scanned and filled
    static constexpr int kFirstAddress = 128;
    static constexpr int kLastAddress = 239;

    enum class Kind {
        Configured,
        NewDevices
    };
    // What the configured scan learnt of a device it asked.
    enum class Check {
        NoResponse,
        Identified,
        WrongProduct
    };

    struct Pacing
    {
        int afterResetMs = 1000; // after selecting the port and resetting the bus
        int perProbeMs = 100;    // after each probed address or scanned device
        BusyRetry busy;          // when the shared link is busy with another window
    };

    [[nodiscard]] static std::shared_ptr<BusScan> create();
    ~BusScan() override;

    void setPacing(const Pacing &pacing) { m_pacing = pacing; }
    // Asked before the bus reset; without its yes the probes run unreset.
    // None set: the bus is always reset.
    void setResetCheck(std::function<bool()> mayReset) { m_mayReset = std::move(mayReset); }

    // Runs a scan of this kind to its end, or returns at once when it has
    // to wait for the link (it then starts as soon as the link is free).
    // Refused while a scan runs or waits, and once stopped.
    void start(Kind kind);
    // No more scanning and no more reports.
    void stop();

    // A scan runs or waits for the link.
    [[nodiscard]] bool isScanning() const { return m_running || m_waitingForLink; }

signals:
    // A scan begins or waits for the link: nothing else may start now.
    void started();
    void statusChanged(const QString &text);
    // The range of the progress values that follow; a configured scan of a
    // table without devices in use gives no maximum (0).
    void progressRange(int minimum, int maximum);
    void progress(int value);
    // Configured scan: every earlier result is void; device `number` gave
    // `check` (a device of another type that answers is not reported).
    void checksCleared();
    void deviceChecked(int number, BusScan::Check check);
    // New-device scan: the list starts empty; record `number` was filled.
    void listCleared();
    void deviceFound(int number);
    // The scan is over; a status with how it ended came just before.
    void finished();

private:
    BusScan() = default;

    void startWhenLinkFree(Kind kind);
    // The link is busy: start in this scan's turn for the link.
    void waitForLink(Kind kind);
    void configuredScan();
    void newDeviceScan();
    // Creates the protocol object, selects the port, resets the bus and
    // waits. Null when stopped meanwhile.
    std::shared_ptr<multiVelorix> beginScan();
    std::int16_t askIdentity(const std::shared_ptr<multiVelorix> &device, std::uint8_t address,
                             QString &identity);
    void endScan(const QString &status);

    std::shared_ptr<multiVelorix> m_device; // only while a scan runs
    std::function<bool()> m_mayReset;
    Pacing m_pacing;
    bool m_running = false;
    bool m_waitingForLink = false;
    bool m_stopped = false;
};

} // namespace velorix
