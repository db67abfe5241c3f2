#pragma once

// Finding the serial port on which a device answers, and making it the
// program's port (strCommPort, bolCommFound; bolPortSetup goes False).
//
// One search asks one bus address for its identity on every port in turn,
// after giving each port a pause once it is opened; the first port on which
// any device answers at that address wins, whatever its product. The search
// of the table does that for each device record 0..63 in use until one is
// found.
//
// A search waits in Delay, so whoever started it may stop() it meanwhile
// (its window closed): the search then returns at once and reports nothing
// more. It keeps itself and its protocol object alive until it has unwound,
// so the object is always held by a shared_ptr (create()).

#include "protocol/multivelorix.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <memory>

namespace velorix {

class PortSearch : public QObject, public std::enable_shared_from_this<PortSearch>
{
    Q_OBJECT
public:
    static constexpr int kPortPauseMs = 1000;   // after opening each port
    static constexpr int kSearchedRecords = 64; // records 0..63
    static constexpr std::uint8_t kFirstAddress = 128;
    static constexpr std::uint8_t kLastAddress = 239;

    enum class Outcome {
        Found,
        NotFound,
        Stopped
    };

    [[nodiscard]] static std::shared_ptr<PortSearch> create();
    ~PortSearch() override;

    // The address the next search() asks; the search of the table sets it
    // to each record's address in turn.
    [[nodiscard]] std::uint8_t address() const { return m_address; }
    void setAddress(std::uint8_t address) { m_address = address; }
    void setPortPauseMs(int milliseconds) { m_portPauseMs = milliseconds; }

    // One search for address() over every port. Refused (NotFound) while a
    // search runs or once stopped. When nothing answers outside the
    // start-up (bolPortSetup False) it reports nothingFound() and then
    // clears the status.
    Outcome search();
    // Searches for each device record in use until one answers, while
    // bolPortSetup stays True; Found when one did.
    Outcome searchTable();

    // No more searching and no more reports; the protocol object goes (a
    // running search keeps its own reference until it unwinds).
    void stop();
    [[nodiscard]] bool isRunning() const { return m_running; }
    [[nodiscard]] bool isStopped() const { return m_stopped; }

signals:
    // The text to show for the search's progress ("Searching COM2 For
    // DEVID 200", "No Device Found!", ...); empty to clear it.
    void statusChanged(const QString &text);
    // The device answered on `port`, which is now the program's port.
    void found(const QString &port);
    // During the search of the table: the device of a record did not
    // answer, the user may pick an address of his own.
    void deviceMissed();
    // A search outside the start-up found nothing: tell the user.
    void nothingFound();
    // The system refused a port for lack of permission; `text` names the
    // port and the fix (permissionDeniedText).
    void portRefused(const QString &text);

private:
    PortSearch() = default;

    std::shared_ptr<multiVelorix> m_device; // the last search's, until stop()
    std::uint8_t m_address = kFirstAddress;
    int m_portPauseMs = kPortPauseMs;
    bool m_running = false;
    bool m_stopped = false;
};

} // namespace velorix
