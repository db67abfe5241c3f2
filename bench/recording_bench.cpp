// What recording one run costs as the data file grows: a data file and its
// working copy of a given number of rows, then runs appended one by one as a
// window records them (the working file, then the CSV), each timed. The
// time is the path that holds the link; the figures to compare are those
// of the small file against the large.
//
//   recording_bench [--rows 10,1000,20000,100000] [--runs 300] [--dir FOLDER]
//
// FOLDER (default: a new folder under the system's temporary one) decides
// the file system measured; it must be on a disk, not in memory, for the
// syncs to cost what they cost in a lab.

#include "experiment/core/expdatafile.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace velorix;

namespace {

QByteArray row(int n)
{
    // A row as a window writes it, about 60 bytes.
    return QStringLiteral("M%1,%2,12/07/26 14:%3:%4,%5.4,40.0,0.0,40.0,%5.4,\r\n")
            .arg(n % 1000, 3, 10, QLatin1Char('0'))
            .arg(n % 4 + 1)
            .arg(n / 60 % 60, 2, 10, QLatin1Char('0'))
            .arg(n % 60, 2, 10, QLatin1Char('0'))
            .arg(100 + n % 200)
            .toLatin1();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

struct Figures
{
    double meanMs = 0;
    double medianMs = 0;
    double maxMs = 0;
};

// `runs` runs appended to a file that already holds `rows` rows.
bool measure(const QString &folder, int rows, int runs, Figures &figures)
{
    QByteArray start = "Tarvenor Velorix-5 1.0\r\n[Experiment Data]\r\nSubject ID,CH #,\r\n";
    start.reserve(start.size() + qsizetype(rows) * 64);
    for (int n = 0; n < rows; ++n)
        start += row(n);
    const QString csv = QDir(folder).filePath(QStringLiteral("rows%1.csv").arg(rows));
    const QString raw = datafile::rawNameFor(csv);
    if (!writeFile(csv, start) || !writeFile(raw, start))
        return false;

    ExpDataFile file;
    file.setFiles(csv, raw);
    if (!file.prepareAppend())
        return false;
    std::vector<double> times;
    QElapsedTimer timer;
    for (int n = 0; n < runs; ++n) {
        const QString line = QString::fromLatin1(row(rows + n)).chopped(2);
        timer.start();
        const bool written = file.append(line);
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
        if (!written)
            return false;
    }
    QFile::remove(csv);
    QFile::remove(raw);
    double sum = 0;
    for (const double t : times)
        sum += t;
    std::sort(times.begin(), times.end());
    figures = {sum / double(times.size()), times[times.size() / 2], times.back()};
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QList<int> rowCounts = {10, 1000, 20000, 100000};
    int runs = 300;
    QString folder;
    const QStringList args = app.arguments();
    for (qsizetype i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--rows")) {
            rowCounts.clear();
            for (const QString &count : args[i + 1].split(QLatin1Char(',')))
                rowCounts << count.toInt();
        } else if (args[i] == QLatin1String("--runs")) {
            runs = qMax(1, args[i + 1].toInt());
        } else if (args[i] == QLatin1String("--dir")) {
            folder = args[i + 1];
        }
    }
    QTemporaryDir temporary;
    if (folder.isEmpty())
        folder = temporary.path();

    std::printf("%10s %12s %12s %12s\n", "rows", "mean ms/run", "median ms", "max ms");
    double first = 0;
    for (const int rows : rowCounts) {
        Figures figures;
        if (!measure(folder, rows, runs, figures)) {
            std::fprintf(stderr, "could not write the files in %s\n", qPrintable(folder));
            return 1;
        }
        if (first == 0)
            first = figures.meanMs;
        std::printf("%10d %12.3f %12.3f %12.3f   (%.2fx the first)\n", rows, figures.meanMs, figures.medianMs,
                    figures.maxMs, figures.meanMs / first);
    }
    return 0;
}
