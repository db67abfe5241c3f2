#include "base/safefile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <unistd.h>
#endif

namespace velorix {

namespace {

bool failed(QString *why, const QString &reason)
{
    if (why)
        *why = reason;
    return false;
}

} // namespace

bool replaceFile(const QString &path, const QByteArray &bytes, QString *why)
{
    if (path.isEmpty())
        return failed(why, QStringLiteral("no file name is given"));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return failed(why, file.errorString());
    // A write may take only part of the bytes; the next one then fails and
    // says why (the disk full, a size limit). Until commit() the old file
    // is untouched, and a QSaveFile not committed removes its new file.
    qint64 done = 0;
    while (done < bytes.size()) {
        const qint64 written = file.write(bytes.constData() + done, bytes.size() - done);
        if (written <= 0) {
            const QString reason = written < 0
                    ? file.errorString()
                    : QStringLiteral("only %1 of %2 bytes could be written").arg(done).arg(bytes.size());
            file.cancelWriting(); // (which has its own words for the error)
            return failed(why, reason);
        }
        done += written;
    }
    if (!file.commit()) // syncs the new file to the disk before the rename
        return failed(why, file.errorString());
    syncFolder(path);
    return true;
}

bool copyReplacing(const QString &source, const QString &target, QString *why)
{
    // Read first: a missing source must not remove the target.
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly))
        return failed(why, QStringLiteral("%1 cannot be read: %2").arg(source, in.errorString()));
    const QByteArray content = in.readAll();
    if (in.error() != QFileDevice::NoError)
        return failed(why, QStringLiteral("%1 cannot be read: %2").arg(source, in.errorString()));
    return replaceFile(target, content, why);
}

bool syncToDisk(QFileDevice &file)
{
    if (!file.flush())
        return false;
#ifdef Q_OS_UNIX
    return ::fsync(file.handle()) == 0;
#else
    return true;
#endif
}

void syncFolder(const QString &path)
{
#ifdef Q_OS_UNIX
    const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
#else
    Q_UNUSED(path);
#endif
}

} // namespace velorix
