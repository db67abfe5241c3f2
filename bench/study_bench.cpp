// The time to read and summarise a study: 200 data files of 100 runs each
// (20,000 runs) with their session logs, as the experiment window writes
// them, read from a folder tree, numbered, grouped, summarised and
// exported, several times over.
//
//   study_bench [--files N] [--runs-per-file N] [--repeats N] [--keep DIR]

#include "studykit.h"

#include "study/core/studyexport.h"
#include "study/core/studyresults.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <random>

using namespace velorix;
using namespace velorix::testing;

namespace {

struct Options
{
    int files = 200;
    int runsPerFile = 100;
    int repeats = 5;
    QString keep;
};

Options parse(const QStringList &args)
{
    Options options;
    for (qsizetype i = 1; i + 1 < args.size(); i += 2) {
        const QString &name = args[i];
        const int value = args[i + 1].toInt();
        if (name == QLatin1String("--files") && value > 0)
            options.files = value;
        else if (name == QLatin1String("--runs-per-file") && value > 0)
            options.runsPerFile = value;
        else if (name == QLatin1String("--repeats") && value > 0)
            options.repeats = value;
        else if (name == QLatin1String("--keep"))
            options.keep = args[i + 1];
    }
    return options;
}

// Ten devices a day, four subjects each, one file a device and day; the
// subjects' latencies grow with the days, by group.
void makeStudy(const QString &folder, const Options &options)
{
    std::mt19937 random(7);
    std::normal_distribution<double> spread(0, 15);
    constexpr int kDevices = 10;
    for (int f = 0; f < options.files; ++f) {
        const int day = f / kDevices;
        const int device = f % kDevices;
        StudyFileMaker file(QStringLiteral("%1/day%2/device%3.csv").arg(folder).arg(day + 1).arg(device + 1),
                            true);
        MadeSession session;
        session.deviceNumber = device + 1;
        session.address = 128 + device;
        const QDateTime morning(QDate(2026, 11, 2).addDays(day), QTime(9, 0));
        for (int r = 0; r < options.runsPerFile; ++r) {
            const int channel = r % 4 + 1;
            const int subject = device * 4 + channel;
            const double mean = 60 + day * (subject % 2 ? 10 : 4);
            const double latency = std::clamp(mean + spread(random), 1.0, 300.0);
            session.runs.push_back(MadeRun{QStringLiteral("M%1").arg(subject), channel,
                                           morning.addSecs(qint64(r / 4) * 400), latency,
                                           latency >= 300 ? RunEnd::CutOff : RunEnd::Fall});
        }
        file.add(session);
    }
    StudyGroups groups;
    for (int s = 1; s <= kDevices * 4; ++s)
        groups.set(QStringLiteral("M%1").arg(s),
                   s % 2 ? QStringLiteral("treated") : QStringLiteral("control"));
    groups.write(StudyGroups::fileIn(folder));
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const Options options = parse(app.arguments());
    QTemporaryDir temporary;
    const QString folder = options.keep.isEmpty() ? temporary.path() : options.keep;
    makeStudy(folder, options);

    std::vector<double> readMs, totalMs;
    std::size_t runs = 0;
    std::size_t faults = 0;
    std::size_t groupDays = 0;
    for (int i = 0; i < options.repeats; ++i) {
        QElapsedTimer clock;
        clock.start();
        StudyResults study;
        study.read(folder);
        readMs.push_back(double(clock.nsecsElapsed()) / 1e6);
        const QByteArray runsText = runsCsv(study.runs());
        const QByteArray summaryText = summaryCsv(study.summary());
        totalMs.push_back(double(clock.nsecsElapsed()) / 1e6);
        runs = study.runs().size();
        faults = study.faults().size();
        groupDays = study.summary().groupDays.size();
        if (runsText.isEmpty() || summaryText.isEmpty())
            return 1;
    }
    const auto mean = [](const std::vector<double> &v) {
        double sum = 0;
        for (const double x : v)
            sum += x;
        return sum / double(v.size());
    };
    std::printf("== study results ==\n");
    std::printf("study:   %d data files with session logs, %zu runs, %zu group days, %zu faults\n",
                options.files, runs, groupDays, faults);
    std::printf("read:    %.0f ms mean, %.0f ms least (files, logs, groups, numbering, summary)\n",
                mean(readMs), *std::min_element(readMs.begin(), readMs.end()));
    std::printf("in all:  %.0f ms mean, %.0f ms least (and both exports) over %d repeats\n", mean(totalMs),
                *std::min_element(totalMs.begin(), totalMs.end()), options.repeats);
    return faults == 0 ? 0 : 2;
}
