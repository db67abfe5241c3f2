#include "app/programfolder.h"

#include <QCoreApplication>
#include <QDir>

namespace velorix {

QString programFolder()
{
    // applicationDirPath() resolves /proc/self/exe, not argv[0], so it does
    // not depend on how or from where the program was started.
    return QDir::cleanPath(QCoreApplication::applicationDirPath());
}

} // namespace velorix
