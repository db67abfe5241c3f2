#include "model/programfolder.h"

#include "model/globals.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace velorix {

QString programFolder()
{
    // applicationDirPath() resolves /proc/self/exe, not argv[0], so it does
    // not depend on how or from where the program was started.
    return QDir::cleanPath(QCoreApplication::applicationDirPath());
}

QString workingFolderFor(const QString &programFolder, const QString &perUserFolder)
{
    const QFileInfo folder(programFolder);
    const bool perUser
            = QFileInfo::exists(programFolder + QLatin1Char('/') + QLatin1String(kPerUserDataMarker));
    if (!perUser && folder.isDir() && folder.isWritable())
        return QDir::cleanPath(programFolder);
    return QDir::cleanPath(perUserFolder);
}

QString workingFolder()
{
    // AppDataLocation is named after the organisation and application names
    // set in main(), e.g. ~/.local/share/<organisation>/<application>.
    return workingFolderFor(programFolder(),
                            QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
}

void setupWorkingPaths()
{
    setWorkingPaths(workingFolder());
}

} // namespace velorix
