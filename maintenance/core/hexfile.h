#pragma once

// A firmware file, read and checked whole before anything goes to a device:
// flashing switches the device into program mode and resets the bus before
// the first line, so a file that failed half-way would leave a device with
// half a firmware.
//
// The file is Intel-HEX text: every line a record ":" + hexadecimal pairs
// (byte count, two address bytes, record type, the data, a checksum that
// brings the sum of the record's bytes to 0 modulo 256), the last line the
// end-of-file record. A line ends with CR LF, CR or LF.

#include <QString>
#include <QStringList>

#include <cstdint>

namespace velorix {

struct HexImage
{
    // 0: the file is good; 1: it is empty; 2: a line is not a good record
    // (or the end record is missing); another number: the file could not
    // be opened or read (the platform's error number).
    std::int16_t code = 0;
    int badLine = 0;          // 1-based line of a code 2, 0 when none
    QString reason;           // what is wrong with that line, for the message
    QStringList records;      // the lines without their line ends, in order

    [[nodiscard]] bool isGood() const { return code == 0; }
};

// No firmware of the device comes near this: 16-bit record addresses and
// the extended address records of a program memory of a few hundred
// kilobytes. A larger file is not a firmware file.
constexpr qint64 kLargestHexFile = 4 * 1024 * 1024;

[[nodiscard]] HexImage readHexFile(const QString &path);

// The checks on one line; an empty reason when it is a good record.
[[nodiscard]] QString recordProblem(const QString &line);

} // namespace velorix
