#include "experiment/core/exptemplates.h"

#include "base/safefile.h"
#include "base/textlines.h"
#include "experiment/core/expnumbers.h"
#include "experiment/core/setupvalues.h"
#include "model/fieldtext.h"

#include <functional>
#include <map>

namespace velorix {

namespace {

// A number from a header value: present, and within a signed 16-bit field
// after scaling and rounding.
bool scaledValue(const QString &text, double scale, std::int16_t &out)
{
    const std::optional<double> number = leadingNumberIfAny(text);
    if (!number)
        return false;
    const double rounded = roundHalfEven(*number * scale);
    if (!fitsInt16(rounded))
        return false;
    out = static_cast<std::int16_t>(rounded);
    return true;
}

using Apply = std::function<bool(DeviceInfo &, const QString &)>;

Apply number(std::int16_t DeviceInfo::*field, double scale)
{
    return [field, scale](DeviceInfo &record, const QString &value) {
        return scaledValue(value, scale, record.*field);
    };
}

const std::map<QString, Apply> &setupLines()
{
    static const std::map<QString, Apply> lines = {
            {QStringLiteral("Duration:"), number(&DeviceInfo::intDuration, 1)},
            {QStringLiteral("Start Speed:"), number(&DeviceInfo::intStartSpeed, 10)},
            {QStringLiteral("End Speed:"), number(&DeviceInfo::intEndSpeed, 10)},
            {QStringLiteral("Acceleration Interval:"), number(&DeviceInfo::intAccInterval, 10)},
            {QStringLiteral("Acceleration Step Speed:"), number(&DeviceInfo::intAccStep, 10)},
            {QStringLiteral("Session Duration:"), number(&DeviceInfo::intDuration, 1)},
            {QStringLiteral("Passive Rotation Delay:"), number(&DeviceInfo::intRotDelay, 10)},
            {QStringLiteral("Speed Units:"),
             [](DeviceInfo &record, const QString &value) {
                 // The whole options byte, as files written by the window have
                 // the wheel type after the units.
                 record.bytExpOptions = value == QStringLiteral("RPM") ? kOptionRpm : 0;
                 return true;
             }},
            {QStringLiteral("Wheel Type:"),
             [](DeviceInfo &record, const QString &value) {
                 if (value == QStringLiteral("Mouse Wheel"))
                     record.bytExpOptions |= kOptionMouseWheel;
                 else
                     record.bytExpOptions &= 0x0F;
                 return true;
             }},
            {QStringLiteral("Wheel Rotation:"),
             [](DeviceInfo &record, const QString &value) {
                 record.bytDirection = value == QStringLiteral("CCW") ? 1 : 0;
                 return true;
             }},
    };
    return lines;
}

} // namespace

ExperimentTemplateLoad loadExperimentTemplate(const QString &path, DeviceInfo &record)
{
    ExperimentTemplateLoad load;
    QStringList lines;
    if (!readTextLines(path, lines))
        return load;
    load.opened = true;
    // The title, device, start and file-name lines come first; they
    // describe the old run, not the set-up.
    constexpr int kDescriptionLines = 4;
    for (qsizetype i = kDescriptionLines; i < lines.size(); ++i) {
        const QString &line = lines[i];
        if (line == QStringLiteral("[Experiment Data]"))
            break;
        if (line.isEmpty())
            continue;
        const QStringList fields = line.split(QLatin1Char(','));
        const auto rule = setupLines().find(fields[0].trimmed());
        if (rule == setupLines().end())
            continue;
        if (fields.size() < 2 || fields[1].trimmed().isEmpty()
            || !rule->second(record, fields[1].trimmed())) {
            load.skipped << line;
            continue;
        }
        ++load.valuesTaken;
    }
    return load;
}

bool loadLabelTemplate(const QString &path, LabelGrid &grid, QList<int> *doubtfulLines)
{
    QStringList lines;
    if (!readTextLines(path, lines))
        return false;
    // A saved template has 7 lines of 4 labels, none holding a CR. Any
    // other line is read by the same rules, but a label there may have
    // held a comma or a line break and been split.
    const auto doubtful = [doubtfulLines](qsizetype index) {
        if (doubtfulLines)
            doubtfulLines->append(int(index) + 1);
    };
    int row = 0;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString &line = lines[i];
        if (!line.isEmpty()) {
            if (row >= kLabelRows) {
                doubtful(i);
                break;
            }
            const QStringList fields = line.split(QLatin1Char(','));
            if (fields.size() != kLabelColumns || line.contains(QLatin1Char('\r')))
                doubtful(i);
            for (int column = 0; column < kLabelColumns && column < fields.size(); ++column)
                grid.at(std::size_t(row))[std::size_t(column)] = fields[column]; // never past the grid
            if (fields.size() < kLabelColumns)
                break;
        }
        ++row;
    }
    return true;
}

QString labelGridProblem(const LabelGrid &grid)
{
    for (int row = 0; row < kLabelRows; ++row) {
        for (int column = 0; column < kLabelColumns; ++column) {
            const QString problem = fieldTextProblem(grid[row][column]);
            if (!problem.isEmpty()) {
                return QStringLiteral("the label in row %1, column %2 holds %3. %4")
                        .arg(row + 1)
                        .arg(column + 1)
                        .arg(problem, fieldTextRule(FieldKind::ChannelLabel));
            }
        }
    }
    return {};
}

bool storeLabelTemplate(const QString &path, const LabelGrid &grid, QString *why)
{
    // Written as it stands, such a label would read back split over two
    // cells or lines: the file is not written.
    const QString problem = labelGridProblem(grid);
    if (!problem.isEmpty()) {
        if (why)
            *why = problem;
        return false;
    }
    QByteArray text;
    for (const auto &row : grid) {
        QStringList cells(row.begin(), row.end());
        text += cells.join(QLatin1Char(',')).toLatin1() + QByteArrayLiteral("\r\n");
    }
    return replaceFile(path, text, why);
}

} // namespace velorix
