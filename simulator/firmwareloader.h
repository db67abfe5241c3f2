#pragma once

// The device's loader in program mode: it judges one Intel-HEX record at a
// time and answers with a status letter.

#include <QByteArrayView>
#include <QtGlobal>

#include <optional>

namespace velorix::sim {

namespace RecordStatus {
inline constexpr char DataTaken = 'L';
inline constexpr char AddressTaken = 'S'; // extended address and start records
inline constexpr char EndTaken = 'H';
inline constexpr char BadRecord = 'C'; // checksum wrong or text unreadable: send again
inline constexpr char FlashFailed = 'F';
} // namespace RecordStatus

class FirmwareLoader
{
public:
    // One record, ":LLAAAATT" + data + checksum in hex characters. Empty when
    // the loader ignores it: after the end record it only waits for a reset.
    [[nodiscard]] std::optional<char> take(QByteArrayView record);

    // The next `count` data records fail to be written ("F").
    void failNextWrites(int count) { m_failWrites = qMax(0, count); }
    [[nodiscard]] bool isComplete() const { return m_complete; }
    void restart();

private:
    bool m_complete = false;
    int m_failWrites = 0;
};

// Byte count LL of a record text starting with ':', when readable.
[[nodiscard]] std::optional<int> recordDataLength(QByteArrayView record);

// The full text length of a record with `dataLength` data bytes.
[[nodiscard]] constexpr int recordTextLength(int dataLength)
{
    return 11 + 2 * dataLength;
}

} // namespace velorix::sim
