#pragma once

// The study as tidy CSV for pandas, R and spreadsheets: UTF-8, one header
// row of column names, ISO 8601 dates and times, a decimal point, no
// trailing comma, an empty cell where a figure has no value.
//
// The runs: one row a run. The summary: one row a figure, its `level`
// saying which ("subject_day", "group_day", "group_trial", "subject"),
// the columns that do not belong to a level left empty.

#include "study/core/studyrun.h"
#include "study/core/studysummary.h"

#include <QByteArray>
#include <QStringList>

#include <vector>

namespace velorix {

[[nodiscard]] QStringList runsExportHeader();
[[nodiscard]] QStringList summaryExportHeader();
// A header as the export's first line, its line end included.
[[nodiscard]] QByteArray csvHeaderLine(const QStringList &header);

[[nodiscard]] QStringList runExportCells(const StudyRun &run);
[[nodiscard]] QByteArray runsCsv(const std::vector<StudyRun> &runs);
[[nodiscard]] QByteArray summaryCsv(const StudySummary &summary);

// A figure as the export writes it: up to three decimals, no trailing
// zeros ("12.5", "7", "0.333").
[[nodiscard]] QString exportNumber(double value);

} // namespace velorix
