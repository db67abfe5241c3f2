#pragma once

// velorix-cli results FOLDER [--groups FILE] [--runs OUT.csv] [--summary OUT.csv]
//                            [--plot OUT.png|OUT.svg] [--each-subject] [--count-stopped]
//
// Reads the study in FOLDER (its data files and session logs, and the
// groups from FOLDER/groups.csv or FILE) and writes the runs and the
// summary as tidy CSV; "-" for a file, or naming neither, writes to
// standard output (the summary when neither is named). What in the files
// could not be read goes to standard error, a line each. Exit status 0,
// 1 when an output could not be written, 2 for a usage error or a
// missing folder. The plot (the groups' learning curves over study days,
// each subject's line too with --each-subject) is drawn by `plotter`.

#include "study/core/studycurves.h"

#include <QStringList>
#include <QTextStream>

#include <functional>

namespace velorix {

// Draws the curves into an image file; false with the reason in `why`.
using CurvePlotter = std::function<bool(const std::vector<Curve> &curves, const QString &axisTitle,
                                        const QString &path, QString *why)>;

int runResults(const QStringList &arguments, QTextStream &out, QTextStream &err,
               const CurvePlotter &plotter = {});

} // namespace velorix
