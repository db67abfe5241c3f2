#pragma once

// At start-up: data files whose last rows reached only their working copy
// (the program or the machine stopped between the two writes) are brought
// up to date from it, and the operator is told which.

#include "model/prompter.h"

#include <QString>
#include <QStringList>

namespace velorix {

struct DataRecovery
{
    QStringList recovered; // data files (full paths) brought up to date
    QStringList conflicts; // data files left alone: the working copy does not start with them
    QStringList failed;    // data files that could not be written

    [[nodiscard]] bool isEmpty() const
    {
        return recovered.isEmpty() && conflicts.isEmpty() && failed.isEmpty();
    }
};

// Looks at every working file "<name>.raw" in `folder` (not below it). When
// its data file "<name>.csv" is missing or holds less than the working file
// (the working file starts with all of it), an unfinished last line is cut
// off the working file and the data file is replaced by a copy of it.
// Nothing that holds whole lines is ever deleted; a data file the working
// file does not start with is left as it is.
[[nodiscard]] DataRecovery recoverDataFiles(const QString &folder);

// What the operator is told about it.
[[nodiscard]] MessageRequest recoveryMessage(const DataRecovery &recovery);

} // namespace velorix
