#pragma once

// The device configuration file config/device.ini: the devices found by the
// last scan, read into the device table at start-up and written back when
// the user confirms it in the device scan window. Also the first-run install
// of the factory copies device.ini and hardware.ini.
//
// The file is 8-bit text (Latin-1) with CR LF line ends: a title, the date
// it was written, then per device a block of lines, each a 24-character
// label followed by its value. Numbers always use a decimal point, whatever
// the regional settings, so a file moves between systems unchanged.

#include "model/globals.h"
#include "model/prompter.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <functional>

namespace velorix {

// The text of the file for the given table (records 0..63 in use), dated
// `printedOn`. Labels and units are written as they are: storedeviceconfig
// refuses a table holding one the file cannot hold (model/fieldtext.h).
[[nodiscard]] QByteArray formatDeviceConfig(const DeviceTable &table, const QDateTime &printedOn);

// Reads the text of a file into `table` without clearing it first: records
// and fields the text does not name keep their values. A value that cannot
// be converted, or every line of a device whose number lies outside 0..78,
// is skipped with a note in `problems` and reading goes on. A comma ends a
// value as the format has it; a line it cut is noted too.
void parseDeviceConfig(const QByteArray &text, DeviceTable &table, QStringList *problems = nullptr);

// Fills `Devices` from `strDevIniPath`. Returns false when the file could not
// be read (the table is then unchanged); `problems` receives one line per
// skipped value, or the reason the file could not be read.
bool loaddeviceconfig(QStringList *problems = nullptr);

// Writes `Devices` to `strDevIniPath`, creating its folder when missing. The
// file is replaced only once the new content is completely on disk
// (base/safefile.h), so a failure leaves the previous file as it was. A
// label or units text the file cannot hold (a comma, a line break, a
// character outside Latin-1) is refused, naming its device. On failure
// returns false and puts a message for the user into `errorText`.
bool storedeviceconfig(QString *errorText = nullptr);

// When `strDevIniPath` does not exist yet: creates the `Data` folder and the
// `config` folder, calls `announceCopy` (the start-up shows the notice of
// factoryCopyNotice() there) and copies device.ini and hardware.ini from
// `factoryFolder` into `config`, replacing what is there. A factory copy that
// is missing or unreadable is skipped and leaves any existing working copy
// alone; nothing else is reported.
void checkfactoryconfig(const QString &factoryFolder, const std::function<void()> &announceCopy);

// The same with the factory copies of the program folder.
void checkfactoryconfig(const std::function<void()> &announceCopy = {});

// What the start-up tells the operator about the `problems` of a file that
// was read (loaddeviceconfig).
[[nodiscard]] MessageRequest deviceConfigProblemsNotice(const QStringList &problems);

// The message shown before the factory copies are installed.
[[nodiscard]] MessageRequest factoryCopyNotice();

} // namespace velorix
