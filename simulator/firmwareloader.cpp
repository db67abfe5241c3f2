#include "simulator/firmwareloader.h"

namespace velorix::sim {

namespace {

std::optional<int> hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return std::nullopt;
}

std::optional<int> hexByte(QByteArrayView text, qsizetype at)
{
    if (at + 1 >= text.size())
        return std::nullopt;
    const auto high = hexDigit(text.at(at));
    const auto low = hexDigit(text.at(at + 1));
    if (!high || !low)
        return std::nullopt;
    return *high * 16 + *low;
}

constexpr int kDataRecord = 0x00;
constexpr int kEndRecord = 0x01;
constexpr int kLastAddressRecord = 0x05; // 02 to 05: segment/linear address and start

} // namespace

std::optional<int> recordDataLength(QByteArrayView record)
{
    if (record.isEmpty() || record.at(0) != ':')
        return std::nullopt;
    return hexByte(record, 1);
}

std::optional<char> FirmwareLoader::take(QByteArrayView record)
{
    if (m_complete)
        return std::nullopt;
    const auto length = recordDataLength(record);
    if (!length || record.size() != recordTextLength(*length))
        return RecordStatus::BadRecord;
    int sum = 0;
    for (qsizetype at = 1; at < record.size(); at += 2) {
        const auto byte = hexByte(record, at);
        if (!byte)
            return RecordStatus::BadRecord;
        sum += *byte;
    }
    if (sum % 256 != 0)
        return RecordStatus::BadRecord;

    const int type = *hexByte(record, 7);
    if (type == kDataRecord) {
        if (m_failWrites > 0) {
            --m_failWrites;
            return RecordStatus::FlashFailed;
        }
        return RecordStatus::DataTaken;
    }
    if (type == kEndRecord) {
        m_complete = true;
        return RecordStatus::EndTaken;
    }
    if (type <= kLastAddressRecord)
        return RecordStatus::AddressTaken;
    return RecordStatus::BadRecord;
}

void FirmwareLoader::restart()
{
    m_complete = false;
}

} // namespace velorix::sim
