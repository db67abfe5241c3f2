#pragma once

// Compares the run lines of a data file with the runs the simulator saw.
// The set-ups of these tests turn the wheel at 5.0, rising 1.0 every 10 s,
// with falls away from the steps, so the speed at each run's end is known.

#include "testsupport.h"

#include "simulator/groundtruth.h"

#include <QStringList>

#include <gtest/gtest.h>

#include <map>
#include <vector>

namespace velorix::testing {

// Each channel's runs in order against the file's lines of that channel. A
// run cut short by Master Start was never seen to end and is no result.
inline void expectRunsMatch(const QStringList &runLines, const std::vector<sim::RunRecord> &truth,
                            quint8 address)
{
    std::map<int, std::vector<sim::RunRecord>> runs;
    qsizetype results = 0;
    for (const sim::RunRecord &run : truth) {
        if (run.address == address && run.end != sim::RunEnd::Restarted) {
            runs[run.channel].push_back(run);
            ++results;
        }
    }
    EXPECT_EQ(runLines.size(), results);
    std::map<int, std::size_t> seen;
    const auto f = [](double v) { return QString::number(v, 'f', 1); };
    for (const QString &line : runLines) {
        const QStringList cells = line.split(QLatin1Char(','));
        ASSERT_EQ(cells.size(), 9) << line.toStdString();
        const int channel = cells[1].toInt();
        ASSERT_LT(seen[channel], runs[channel].size()) << line.toStdString();
        const sim::RunRecord &run = runs[channel][seen[channel]++];
        const double speed = 5.0 + run.endTenths / 100;
        const double rot = run.rotationAfterDelaySeconds();
        const QStringList expected = {f(run.runSeconds()), f(speed), f(rot),
                                      f(rot > 0 ? run.rotationSpeedUnits() : speed), f(rot + run.runSeconds())};
        EXPECT_EQ(cells.mid(3, 5), expected) << line.toStdString();
    }
}

} // namespace velorix::testing
