#pragma once

// The program's text files in tests, for every layer from the model up.
//
// fileLines() reads an 8-bit CR LF text file as the program writes it,
// contents() gives a file's bytes (or "<missing>"), writeFile() puts bytes
// in a file, and a FileSizeLimit makes the disk "full" while it lives. PrintTo makes GoogleTest print QString and QStringList
// readably in its failure messages.

#include <QFile>
#include <QString>
#include <QStringList>

#include <csignal>
#include <ostream>

#include <sys/resource.h>

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString &text, std::ostream *out)
{
    *out << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QStringList &list, std::ostream *out)
{
    *out << '[';
    for (qsizetype i = 0; i < list.size(); ++i)
        *out << (i ? ", \"" : "\"") << list[i].toStdString() << '"';
    *out << ']';
}
QT_END_NAMESPACE

namespace velorix::testing {

// A CR LF text file's lines (none for a missing file).
inline QStringList fileLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList lines = QString::fromLatin1(file.readAll()).split(QStringLiteral("\r\n"));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

// A file's bytes, or "<missing>".
inline QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

inline bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Files may not grow beyond `bytes` while it lives: writes past it fail
// part way, as on a full disk (whose signal stays ignored).
struct FileSizeLimit
{
    explicit FileSizeLimit(qint64 bytes)
    {
        std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &saved);
        rlimit limit = saved;
        limit.rlim_cur = static_cast<rlim_t>(bytes);
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &saved); }
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;
    rlimit saved{};
};

} // namespace velorix::testing
