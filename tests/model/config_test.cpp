// Reading and writing config/device.ini, installing the factory copies and
// finding the folders they live in (the working paths).

#include "filekit.h"
#include "recordingprompter.h"

#include "model/deviceconfig.h"
#include "model/programfolder.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <unistd.h>

using namespace velorix;
using namespace velorix::testing;

namespace {

const QByteArray kHead = "Tarvenor Device Interface\r\nPrinted On:   03/07/24 14:05:09\r\n\r\n"
                         "[Device Info]\r\nScan Speed:             \r\n";

DeviceInfo device(std::int16_t type, float version, float prodId, const QString &label, const QString &units,
                  std::uint8_t address)
{
    DeviceInfo record;
    record.intDevType = type;
    record.sngVersion = version;
    record.sngProdID = prodId;
    record.strLabel = label;
    record.strUnits = units;
    record.bytBusAddr = address;
    return record;
}

long inUse(const DeviceTable &table)
{
    return std::count_if(table.begin(), table.end(), [](const DeviceInfo &d) { return d.inUse(); });
}

// "type version prodID label|units address", floats to the last bit.
QString fields(const DeviceInfo &d)
{
    return QStringLiteral("%1 %2 %3 %4|%5 %6")
            .arg(d.intDevType)
            .arg(d.sngVersion, 0, 'g', 9)
            .arg(d.sngProdID, 0, 'g', 9)
            .arg(d.strLabel, d.strUnits)
            .arg(d.bytBusAddr);
}

class DeviceConfigTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        Devices = DeviceTable{};
        setWorkingPaths(dir.path());
    }
    void TearDown() override
    {
        Devices = DeviceTable{};
        QLocale::setDefault(QLocale::c());
    }
    QString path(const QString &name) const { return QDir(dir.path()).filePath(name); }

    QTemporaryDir dir;
};

TEST_F(DeviceConfigTest, WritesTheExactFormat)
{
    DeviceTable table{};
    table[0] = device(8, 2.05f, 254.0f, QStringLiteral("Bench K\u00fcvette"), QString(), 130);
    table[5] = device(8, 2.2f, 254.5f, QString(), QStringLiteral("RPM"), 239);
    table[64] = device(8, 1.0f, 1.0f, QString(), QString(), 200); // beyond the written range
    table[78] = table[64];
    const QByteArray expected = kHead
            + "Device                  0\r\nDevice Type:            8\r\nDevice Version:         2.05\r\n"
              "Device ProdID:          254\r\nDevice Label:           Bench K\xfcvette\r\n"
              "Device Units:           \r\nDevice ID:              130\r\n\r\n"
              "Device                  5\r\nDevice Type:            8\r\nDevice Version:         2.2\r\n"
              "Device ProdID:          254.5\r\nDevice Label:           \r\n"
              "Device Units:           RPM\r\nDevice ID:              239\r\n\r\n"
              "[End]\r\n";
    EXPECT_EQ(formatDeviceConfig(table, QDateTime(QDate(2024, 3, 7), QTime(14, 5, 9))), expected);
}

TEST_F(DeviceConfigTest, RoundTripKeepsNumbersWhateverTheLocale)
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    Devices[0] = device(8, 2.05f, 254.0f, QStringLiteral("left rack"), QStringLiteral("cm/s"), 128);
    Devices[5] = device(3, 12.75f, 1000.5f, QString(), QString(), 255);
    ASSERT_TRUE(storedeviceconfig());

    const QByteArray written = contents(strDevIniPath);
    EXPECT_TRUE(written.contains("Device Version:         2.05\r\n")); // never "2,05"
    EXPECT_TRUE(QString::fromLatin1(written.split('\n')[1])
                        .contains(QRegularExpression(QStringLiteral(
                                "^Printed On:   \\d\\d/\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d\r$"))));

    const DeviceTable stored = Devices;
    Devices = DeviceTable{};
    ASSERT_TRUE(loaddeviceconfig());
    EXPECT_EQ(fields(Devices[0]), fields(stored[0]));
    EXPECT_EQ(fields(Devices[5]), fields(stored[5]));
    EXPECT_EQ(inUse(Devices), 2);
}

TEST_F(DeviceConfigTest, ReadingRules)
{
    Devices[3].strLabel = QStringLiteral("kept"); // the table is not cleared
    const QByteArray text = kHead
            + "Device Type:            8\r\nDevice ID:              140\r\n" // before any Device line: 0
              "Device                  2\nDevice Label:           one, two\n"
              "Device Units:           a,Device ID:              77\rDevice ID:              131 spare\r"
              "Device Type:            8x\r\ndevice type:            5\r\nDevice Type:  9\r\n"
              "Device ProdID:          254.5abc\r\nDevice                  78\r\nDevice Type:            1\r\n[End]\r\n";
    QStringList problems;
    parseDeviceConfig(text, Devices, &problems);
    EXPECT_EQ(fields(Devices[0]), "8 0 0 | 140");
    // A comma ends the field and the part after it is a line of its own, and
    // the line is named; numbers are leading numbers; other spellings are no
    // labels.
    EXPECT_EQ(fields(Devices[2]), "8 0 254.5 one|a 131");
    EXPECT_EQ(problems,
              QStringList({"Line 9: device label \"one\" ends at a comma; the rest of the line "
                           "(\" two\") is not part of it.",
                           "Line 10: device units \"a\" ends at a comma; the rest of the line "
                           "(\"Device ID:              77\") is not part of it."}));
    EXPECT_EQ(boxLine(deviceConfigProblemsNotice(problems.mid(0, 1))),
              "Device Configuration | These lines of " + strDevIniPath + " were not read as they stand:\n"
                      + problems[0] + " | Ok, Exclamation");
    EXPECT_EQ(Devices[3].strLabel, QStringLiteral("kept"));
    EXPECT_EQ(Devices[78].intDevType, 1); // records beyond 63, to the last, are read, never written

    DeviceTable empty{};
    parseDeviceConfig(kHead, empty);
    EXPECT_EQ(inUse(empty), 0);
    empty[0].strLabel = QStringLiteral("old");
    // A field on the very first line; the last line without its end; an empty value is a value.
    parseDeviceConfig("Device ID:              77\nDevice Label:           ", empty);
    EXPECT_EQ(fields(empty[0]), "0 0 0 | 77");

    // A comma is named in device 0's block before any "Device" line, but
    // not in the block of a device out of range, whose lines are ignored.
    problems.clear();
    parseDeviceConfig(kHead
                              + "Device Label:           p, q\r\nDevice                  99\r\n"
                                "Device Label:           x, y\r\n",
                      empty, &problems);
    ASSERT_EQ(problems.size(), 2);
    EXPECT_TRUE(problems[0].startsWith("Line 6: device label \"p\" ends at a comma"))
            << problems[0].toStdString();
    EXPECT_TRUE(problems[1].contains("\"99\" is outside 0 to 78")) << problems[1].toStdString();
}

TEST_F(DeviceConfigTest, BadValuesAreSkippedAndReadingGoesOn)
{
    const QByteArray text = kHead
            + "Device                  1\r\nDevice Type:            8\r\nDevice Version:         2.5\r\n"
              "Device Version:         abc\r\nDevice Type:            70000\r\nDevice ID:              128\r\n"
              "Device ID:              256\r\nDevice ID:              -1\r\n"
              "Device                  79\r\nDevice Type:            8\r\nDevice ID:              150\r\n"
              "Device                  -1\r\nDevice Type:            8\r\n"
              "Device                  "
            + QByteArray(400, '9')
            + "\r\nDevice Type:            8\r\n"
              "Device                  4\r\nDevice Type:            8\r\nDevice ID:              132\r\n[End]\r\n";
    QStringList problems;
    parseDeviceConfig(text, Devices, &problems);
    EXPECT_EQ(fields(Devices[1]), "8 2.5 0 | 128");
    EXPECT_EQ(fields(Devices[4]), "8 0 0 | 132"); // the device behind the bad lines survives
    EXPECT_EQ(inUse(Devices), 2);
    ASSERT_EQ(problems.size(), 7) << problems.join('\n').toStdString();
    EXPECT_EQ(problems[0], QStringLiteral("Line 9: device version \"abc\" is not a number; value ignored."));
    EXPECT_EQ(problems[4],
              QStringLiteral("Line 14: device number \"79\" is outside 0 to 78; "
                             "the lines of this device are ignored."));

    // A product ID a float holds, to its very largest, is read; one beyond is not.
    DeviceTable table{};
    problems.clear();
    parseDeviceConfig(
            kHead
                    + "Device                  1\r\nDevice ProdID:          3.40282346638528859811704e38\r\n"
                      "Device                  2\r\nDevice ProdID:          3.5e38\r\n",
            table, &problems);
    EXPECT_EQ(table[1].sngProdID, FLT_MAX);
    EXPECT_EQ(table[2].sngProdID, 0.0f);
    ASSERT_EQ(problems.size(), 1) << problems.join('\n').toStdString();
    EXPECT_TRUE(problems[0].contains("is out of range; value ignored")) << problems[0].toStdString();
}

TEST_F(DeviceConfigTest, FailedWriteKeepsTheOldFile)
{
    ASSERT_TRUE(QDir().mkpath(QFileInfo(strDevIniPath).path()));
    const QByteArray old = "old content\r\n";
    ASSERT_TRUE(writeFile(strDevIniPath, old));
    Devices[1] = device(8, 2.2f, 254.0f, QString(), QString(), 128);

    // The file system refuses more than a few bytes in the middle of the write.
    QString error;
    {
        FileSizeLimit full(64);
        EXPECT_FALSE(storedeviceconfig(&error));
    }
    EXPECT_TRUE(error.startsWith(QStringLiteral("Device configuration could not be saved: ")));
    EXPECT_TRUE(error.endsWith(QStringLiteral("(%1)").arg(strDevIniPath)));
    EXPECT_EQ(contents(strDevIniPath), old);
    const QString config = path(QStringLiteral("config"));
    EXPECT_EQ(QDir(config).entryList(QDir::Files).size(), 1); // no temporary left behind

    // A label the file cannot hold would come back cut: refused, naming
    // its device; so is a line break in the units.
    Devices[1].strLabel = QStringLiteral("Maus, links");
    EXPECT_FALSE(storedeviceconfig(&error));
    EXPECT_EQ(error,
              QStringLiteral("Device configuration could not be saved: the label of device 1 (address 128) "
                             "holds a comma. A device label cannot hold a comma, a line break or characters "
                             "outside Latin-1: device.ini ends a value at a comma. (%1)")
                      .arg(strDevIniPath));
    Devices[1].strLabel = QStringLiteral("Maus links");
    Devices[1].strUnits = QStringLiteral("RPM\n");
    EXPECT_FALSE(storedeviceconfig(&error));
    EXPECT_TRUE(
            error.contains(QStringLiteral("the units text of device 1 (address 128) holds a line break.")));
    EXPECT_EQ(contents(strDevIniPath), old);
    Devices[1].strUnits.clear();

    // A folder where the file should be (the file cannot be opened, as in a
    // read-only folder), and a file where its folder should be.
    ASSERT_TRUE(QFile::remove(strDevIniPath) && QDir().mkpath(strDevIniPath));
    EXPECT_FALSE(storedeviceconfig(&error));
    EXPECT_TRUE(QFileInfo(strDevIniPath).isDir());
    ASSERT_TRUE(writeFile(path(QStringLiteral("blocked")), old));
    setWorkingPaths(path(QStringLiteral("blocked")));
    EXPECT_FALSE(storedeviceconfig(&error));
    EXPECT_EQ(contents(path(QStringLiteral("blocked"))), old);
}

TEST_F(DeviceConfigTest, FactoryCopiesAreInstalledOnceAndTheShippedOnesAreInTheProgramsFormat)
{
    const QString factory = path(QStringLiteral("factory"));
    ASSERT_TRUE(QDir().mkpath(factory));
    ASSERT_TRUE(writeFile(factory + "/device.ini",
                          kHead + "Device                  1\r\nDevice Type:            8\r\n"));
    ASSERT_TRUE(writeFile(factory + "/hardware.ini", "hardware\r\n"));
    QFile::setPermissions(factory + "/device.ini", QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
    int announced = 0;
    checkfactoryconfig(factory, [&announced] { ++announced; });
    EXPECT_EQ(announced, 1);
    EXPECT_TRUE(QFileInfo(strDataPath).isDir());
    EXPECT_EQ(contents(strDevIniPath), contents(factory + "/device.ini"));
    EXPECT_EQ(contents(path(QStringLiteral("config/hardware.ini"))), "hardware\r\n");
    EXPECT_TRUE(QFileInfo(strDevIniPath).permissions() & QFile::WriteOwner); // the program may save it later
    ASSERT_TRUE(loaddeviceconfig());
    EXPECT_EQ(Devices[1].intDevType, 8);

    ASSERT_TRUE(writeFile(strDevIniPath, "mine"));
    checkfactoryconfig(factory, [&announced] { ++announced; });
    EXPECT_EQ(announced, 1);
    EXPECT_EQ(contents(strDevIniPath), "mine");

    // A full disk leaves no cut copy behind: the next start installs again.
    ASSERT_TRUE(QFile::remove(strDevIniPath));
    {
        FileSizeLimit full(20);
        checkfactoryconfig(factory, [] {});
    }
    EXPECT_FALSE(QFileInfo::exists(strDevIniPath));
    EXPECT_EQ(contents(path(QStringLiteral("config/hardware.ini"))), "hardware\r\n");

    // No factory copies: announced, nothing copied, the working hardware.ini kept.
    checkfactoryconfig(path(QStringLiteral("nowhere")), [&announced] { ++announced; });
    EXPECT_EQ(announced, 2);
    EXPECT_FALSE(QFileInfo::exists(strDevIniPath));
    EXPECT_EQ(contents(path(QStringLiteral("config/hardware.ini"))), "hardware\r\n");
    QStringList problems;
    EXPECT_FALSE(loaddeviceconfig(&problems));
    EXPECT_EQ(Devices[1].intDevType, 8); // an unreadable file leaves the table alone
    ASSERT_EQ(problems.size(), 1);
    EXPECT_TRUE(problems[0].startsWith(QStringLiteral("Device configuration could not be read: ")));

    EXPECT_EQ(boxLine(factoryCopyNotice()),
              "The KX MultiDevice System Setup | Update Factory Configuration File? | Ok, Critical");

    // The shipped copies are in the program's own format.
    const QByteArray shipped = contents(QStringLiteral(VELORIX_FACTORY_DIR "/device.ini"));
    DeviceTable table{};
    parseDeviceConfig(shipped, table);
    ASSERT_EQ(inUse(table), 1);
    EXPECT_EQ(fields(table[1]), QStringLiteral("%1 2.20000005 254 | 128").arg(kDevTypeVelorix5));

    const QList<QByteArray> lines = shipped.split('\n');
    const QDateTime printedOn = QDateTime::fromString(QString::fromLatin1(lines[1].mid(14).chopped(1)),
                                                      QStringLiteral("MM/dd/yy HH:mm:ss"));
    ASSERT_TRUE(printedOn.isValid());
    EXPECT_EQ(formatDeviceConfig(table, printedOn), shipped);
    const QByteArray hardware = contents(QStringLiteral(VELORIX_FACTORY_DIR "/hardware.ini"));
    EXPECT_EQ(hardware.count('\n'), hardware.count("\r\n")); // git kept the CR LF
    EXPECT_TRUE(hardware.endsWith("\r\n"));
}

TEST(ProgramFolderTest, PathsFollowTheExecutableNotTheStartFolder)
{
    setWorkingPaths(QStringLiteral("/opt/velorix/bin/"));
    EXPECT_EQ(QStringList({strDataPath, strDevIniPath}),
              QStringList({"/opt/velorix/bin/Data", "/opt/velorix/bin/config/device.ini"}));

    QTemporaryDir elsewhere;
    const QString started = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(elsewhere.path()));
    setupWorkingPaths();
    QDir::setCurrent(started);

    const QString executable = QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget();
    EXPECT_EQ(programFolder(), QFileInfo(executable).path());
    // config and Data live beside the executable unless its folder is closed to us.
    const QString working = QFileInfo(programFolder()).isWritable()
            ? programFolder()
            : QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    EXPECT_EQ(QStringList({strDataPath, strDevIniPath}),
              QStringList({working + "/Data", working + "/config/device.ini"}));

    QTemporaryDir program;
    EXPECT_EQ(workingFolderFor(program.path() + QStringLiteral("/"), elsewhere.path()), program.path());
    EXPECT_EQ(workingFolderFor(program.path() + QStringLiteral("/missing"), elsewhere.path()),
              elsewhere.path());
    // The package's marker sends data to the per-user folder, even for root.
    const QString marker = program.filePath(QLatin1String(kPerUserDataMarker));
    ASSERT_TRUE(writeFile(marker, ""));
    EXPECT_EQ(workingFolderFor(program.path(), elsewhere.path()), elsewhere.path());
    QFile::remove(marker);
    if (geteuid() != 0) { // root may write anywhere
        QFile::setPermissions(program.path(), QFile::ReadOwner | QFile::ExeOwner);
        EXPECT_EQ(workingFolderFor(program.path(), elsewhere.path()), elsewhere.path());
        QFile::setPermissions(program.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
}

} // namespace
