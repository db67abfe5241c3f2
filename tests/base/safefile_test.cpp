// The one writer that replaces a file: whole or not at all.

#include "base/safefile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "filekit.h"

using namespace velorix;
using velorix::testing::contents;
using velorix::testing::FileSizeLimit;
using velorix::testing::writeFile;

namespace {

TEST(SafeFileTest, AFileIsReplacedWholeOrLeftAsItWasWithTheReason)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("a.txt"));
    QString why;
    ASSERT_TRUE(replaceFile(file, "first\r\n", &why));
    ASSERT_TRUE(replaceFile(file, "second, longer\r\n"));
    EXPECT_EQ(contents(file), QByteArray("second, longer\r\n"));

    // Room for part of the new content only: the old file stays, byte for
    // byte, and no temporary file is left beside it.
    {
        FileSizeLimit full(8);
        EXPECT_FALSE(replaceFile(file, QByteArray(4000, 'x'), &why));
    }
    EXPECT_EQ(why, QStringLiteral("File too large"));
    EXPECT_EQ(contents(file), QByteArray("second, longer\r\n"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList({"a.txt"}));

    // A copy: a source that cannot be read leaves the target alone; one
    // that can replaces it (through the writer above).
    const QString source = dir.filePath(QStringLiteral("source.txt"));
    EXPECT_FALSE(copyReplacing(source, file, &why));
    EXPECT_TRUE(why.startsWith(source + QStringLiteral(" cannot be read: ")));
    EXPECT_EQ(contents(file), QByteArray("second, longer\r\n"));
    ASSERT_TRUE(writeFile(source, QByteArray(4000, 's')));
    ASSERT_TRUE(copyReplacing(source, file));
    EXPECT_EQ(contents(file), QByteArray(4000, 's'));

    // No name, a folder where the file should be, a missing folder.
    EXPECT_FALSE(replaceFile(QString(), "x", &why));
    EXPECT_EQ(why, QStringLiteral("no file name is given"));
    EXPECT_FALSE(replaceFile(dir.path(), "x", &why));
    EXPECT_FALSE(why.isEmpty());
    EXPECT_FALSE(replaceFile(dir.filePath(QStringLiteral("no/such.txt")), "x", &why));
    EXPECT_FALSE(why.isEmpty());
}

} // namespace
