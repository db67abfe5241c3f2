#pragma once

// The two kinds of template a window reads: an earlier data file whose
// header gives a set-up (an experiment template), and the small text files
// of channel labels (7 rows of 4 labels) the label grid loads and saves.

#include "model/deviceinfo.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <array>

namespace velorix {

struct ExperimentTemplateLoad
{
    bool opened = false;
    int valuesTaken = 0; // set-up lines that changed the record
    QStringList skipped; // set-up lines whose value could not be used, as read
};

// loadexp: reads the header of a data file into the record's set-up. A
// line whose value is missing, not a number or too large for its field is
// skipped; the others still count.
[[nodiscard]] ExperimentTemplateLoad loadExperimentTemplate(const QString &path, DeviceInfo &record);

constexpr int kLabelRows = 7;
constexpr int kLabelColumns = 4;
using LabelGrid = std::array<std::array<QString, kLabelColumns>, kLabelRows>;

// loadtemplate: fills the grid from a label file; rows the file does not
// reach keep their labels. False when the file could not be read (the rows
// read so far stay). `doubtfulLines` gets the numbers (from 1) of the lines
// unlike those a save writes: not four labels, a CR inside, or an eighth
// line; a label there may have held a comma or a line break.
bool loadLabelTemplate(const QString &path, LabelGrid &grid, QList<int> *doubtfulLines = nullptr);
// The first label a template cannot hold (a comma, a line break, a
// character outside Latin-1), named by its row and column from 1 and with
// the rule; empty when the grid can be saved.
[[nodiscard]] QString labelGridProblem(const LabelGrid &grid);
// storechantemplate: 7 lines of 4 labels joined by commas. A grid with a
// label it cannot hold is refused; the file is replaced only once the new
// one is completely on disk (base/safefile.h). On failure the reason goes
// to `why` and the old file stays as it was.
bool storeLabelTemplate(const QString &path, const LabelGrid &grid, QString *why = nullptr);

} // namespace velorix
