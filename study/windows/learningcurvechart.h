#pragma once

// The learning-curve chart: each group's mean latency over study days (or
// over one day's trials) with its standard error as bars, each subject's
// own line faint behind them when asked for. The window shows it; the same
// chart is drawn into PNG and SVG files, by the window and by velorix-cli.

#include "study/core/studycurves.h"

#include <QByteArray>
#include <QSize>
#include <QString>

#include <vector>

class QChart;

namespace velorix {

// A new chart of the curves; the caller owns it.
[[nodiscard]] QChart *makeLearningCurveChart(const std::vector<Curve> &curves, const QString &axisTitle);

// The curves drawn at `size`, as an image file of the kind its name ends in
// (".svg", otherwise PNG), written through the one safe writer; false with
// the reason in `why`. Needs a QApplication (an offscreen one will do).
bool saveLearningCurve(const std::vector<Curve> &curves, const QString &axisTitle, const QString &path,
                       QString *why = nullptr, QSize size = QSize(900, 560));

} // namespace velorix
