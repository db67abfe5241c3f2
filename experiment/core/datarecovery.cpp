#include "experiment/core/datarecovery.h"

#include "base/safefile.h"
#include "experiment/core/expdatafile.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>

namespace velorix {

namespace {

// The data file of one working file brought up to it where it is behind:
// never shorter, never a broken line, and one that differs is left alone.
void recoverOne(const QFileInfo &rawInfo, const QHash<QString, QString> &dataFiles, DataRecovery &result)
{
    const QString rawPath = rawInfo.absoluteFilePath();
    QByteArray raw;
    if (!datafile::readWhole(rawPath, raw))
        return;
    const qsizetype whole = raw.size();
    raw.truncate(datafile::completeLength(raw));
    if (raw.isEmpty())
        return; // not even a whole line to recover

    const QString key = rawInfo.completeBaseName().toLower();
    const bool haveData = dataFiles.contains(key);
    const QString dataPath = haveData ? dataFiles.value(key) : datafile::withCsvSuffix(rawPath.chopped(4));
    QByteArray data;
    if (haveData) {
        if (!datafile::readWhole(dataPath, data)) {
            result.failed << dataPath;
            return;
        }
        if (data.size() >= raw.size()) {
            // Up to date, or ahead of the working file: nothing in the
            // working file is missing from it.
            if (!data.startsWith(raw))
                result.conflicts << dataPath;
            return;
        }
        if (!raw.startsWith(data)) {
            result.conflicts << dataPath;
            return;
        }
    }
    if ((raw.size() < whole && !datafile::cutFile(rawPath, raw.size())) || !replaceFile(dataPath, raw)) {
        result.failed << dataPath;
        return;
    }
    result.recovered << dataPath;
}

} // namespace

DataRecovery recoverDataFiles(const QString &folder)
{
    DataRecovery result;
    if (folder.isEmpty())
        return result;
    const QDir dir(folder);
    // The data file of "run.raw" may be "run.CSV" as well as "run.csv".
    QHash<QString, QString> dataFiles;
    for (const QFileInfo &csv : dir.entryInfoList({QStringLiteral("*.csv")}, QDir::Files | QDir::Hidden))
        dataFiles.insert(csv.completeBaseName().toLower(), csv.absoluteFilePath());
    for (const QFileInfo &rawInfo :
         dir.entryInfoList({QStringLiteral("*.raw")}, QDir::Files | QDir::Hidden, QDir::Name))
        recoverOne(rawInfo, dataFiles, result);
    return result;
}

MessageRequest recoveryMessage(const DataRecovery &recovery)
{
    QStringList lines;
    if (!recovery.recovered.isEmpty()) {
        lines << QStringLiteral("These data files were brought up to date from their working copies "
                                "after an interrupted session:");
        for (const QString &path : recovery.recovered)
            lines << QFileInfo(path).fileName();
    }
    for (const QString &path : recovery.conflicts)
        lines << QFileInfo(path).fileName()
                        + QStringLiteral(" was left as it is: it does not match its working copy");
    for (const QString &path : recovery.failed)
        lines << QFileInfo(path).fileName()
                        + QStringLiteral(
                                " could not be brought up to date from its working copy; the working copy "
                                "keeps its rows");
    const bool allRecovered = recovery.conflicts.isEmpty() && recovery.failed.isEmpty();
    return MessageRequest{
            lines.join(QLatin1Char('\n')), QStringLiteral("Data Recovery"), MessageRequest::Buttons::Ok,
            allRecovered ? MessageRequest::Icon::Information : MessageRequest::Icon::Exclamation};
}

} // namespace velorix
