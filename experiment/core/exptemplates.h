#pragma once

// The two kinds of template a window reads: an earlier data file whose
// header gives a set-up (an experiment template), and the small text files
// of channel labels (7 rows of 4 labels) the label grid loads and saves.

#include "model/deviceinfo.h"

#include <QString>
#include <QStringList>

#include <array>

namespace velorix {

struct ExperimentTemplateLoad
{
    bool opened = false;
    int valuesTaken = 0;  // set-up lines that changed the record
    QStringList skipped;  // set-up lines whose value could not be used, as read
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
// read so far stay).
bool loadLabelTemplate(const QString &path, LabelGrid &grid);
// storechantemplate: 7 lines of 4 labels joined by commas. The file is
// replaced only once the new one is complete.
bool storeLabelTemplate(const QString &path, const LabelGrid &grid);

} // namespace velorix
