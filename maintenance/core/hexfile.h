#pragma once

// A firmware file, read and checked whole before anything goes to a device:
// flashing switches the device into program mode and resets the bus before
// the first line, so a file that failed half-way would leave a device with
// half a firmware.
//
// The file is Intel-HEX text: every line a record ":" + hexadecimal pairs
// (byte count, two address bytes, record type, the data, a checksum that
// brings the sum of the record's bytes to 0 modulo 256), the last line the
// end-of-file record. A line ends with CR LF, CR or LF: the tools that write
// these files on Unix end lines with LF alone. After the end-of-file record
// only blank lines and DOS end-of-text marks (Ctrl-Z) may follow; they are
// not records and are never sent.

#include <QString>
#include <QStringList>

namespace velorix {

struct HexImage
{
    enum class Fault {
        None,       // the file is good
        Empty,      // it holds no byte
        BadRecord,  // a line is not a good record, or the file is no firmware
        NotFound,   // there is no such file
        Unreadable, // it is there but cannot be opened or read
    };
    Fault fault = Fault::None;
    QString path;
    int badLine = 0;     // 1-based line of a BadRecord, 0 when the whole file is meant
    QString reason;      // what is wrong with that line or file, or why it cannot be read
    QStringList records; // the records without their line ends, in order

    [[nodiscard]] bool isGood() const { return fault == Fault::None; }
};

// No firmware of the device comes near this: 16-bit record addresses and
// the extended address records of a program memory of a few hundred
// kilobytes. A larger file is not a firmware file.
constexpr qint64 kLargestHexFile = 4 * 1024 * 1024;

[[nodiscard]] HexImage readHexFile(const QString &path);

// The checks on one line taken alone; an empty reason when it is a good record.
[[nodiscard]] QString recordProblem(const QString &line);

// "File not found: NAME" or "Cannot read NAME: why", for a NotFound or an
// Unreadable image.
[[nodiscard]] QString unreadableText(const HexImage &image);
[[nodiscard]] QString fileNotFoundText(const QString &path);

} // namespace velorix
