// Four experiment windows polling four simulated devices on one bus, with
// wire timing on, as an operator would run them: each window starts its
// experiment and presses "Master Start" whenever all four of its channels
// have given their results. At the end: polls per second per window, busy
// link results ("Error #1001") per minute, the program's CPU use, and
// whether every run the devices saw is in the data files.
//
//   experiment_bench [--seconds N] [--scale X] [--seed S] [--keep DIR] [--no-wait]
//
// Defaults: 60 s, device clocks 10 times real time, seed 7. --no-wait lets
// ticks run into a busy link (each refused command an "Error #1001")
// instead of waiting for it, for comparison. Runs headless (offscreen)
// unless a display platform is set.

#include "app/frmmain.h"
#include "app/globals.h"
#include "app/prompter.h"
#include "experiment/textlines.h"
#include "experiment/expdatafile.h"
#include "experiment/frmexp.h"
#include "experiment/resultsgrid.h"
#include "link/portlist.h"
#include "link/resultcodes.h"
#include "protocol/multidevmod.h"
#include "simulator/simulatorhost.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <cmath>
#include <cstdio>
#include <ctime>
#include <map>
#include <vector>

namespace {

using namespace velorix;

double threadCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + t.tv_nsec / 1e9;
}

double processCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval &t) { return double(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Answers the data-file dialogs with one file per device; every question
// with Yes.
class BenchPrompter final : public Prompter
{
public:
    explicit BenchPrompter(QString folder) : m_folder(std::move(folder)) {}
    MessageAnswer message(QWidget *, const MessageRequest &request) override
    {
        std::fprintf(stderr, "message: %s\n", qPrintable(request.text));
        return MessageAnswer::Yes;
    }
    QString fileName(QWidget *, const FileRequest &) override
    {
        return QDir(m_folder).filePath(QStringLiteral("device%1.csv").arg(++m_files));
    }

private:
    QString m_folder;
    int m_files = 0;
};

QStringList runLines(const QString &path)
{
    QStringList lines;
    if (!velorix::readTextLines(path, lines))
        return {};
    return lines.mid(19); // after the header
}

struct Comparison
{
    int results = 0;      // runs the device saw end (falls and the final stop)
    int recorded = 0;     // of them, found in the data file with the device's run time
    int exactSpeed = 0;   // ... and the speed the wheel had at the fall
    int extraLines = 0;   // lines with no run behind them
};

// Each channel's runs in order against the file's lines of that channel.
Comparison compare(const QStringList &lines, const std::vector<sim::RunRecord> &truth, quint8 address)
{
    std::map<int, std::vector<sim::RunRecord>> runs;
    Comparison result;
    for (const sim::RunRecord &run : truth) {
        if (run.address == address && run.end != sim::RunEnd::Restarted) {
            runs[run.channel].push_back(run);
            ++result.results;
        }
    }
    std::map<int, std::size_t> seen;
    for (const QString &line : lines) {
        const QStringList cells = line.split(QLatin1Char(','));
        const int channel = cells.value(1).toInt();
        if (cells.size() < 8 || seen[channel] >= runs[channel].size()) {
            ++result.extraLines;
            continue;
        }
        const sim::RunRecord &run = runs[channel][seen[channel]++];
        if (qEnvironmentVariableIsSet("BENCH_DEBUG"))
            std::fprintf(stderr, "%s | truth ch%d %.1f end %d speed %.1f rot %.1f\n", qPrintable(line), run.channel,
                         run.runSeconds(), int(run.end), run.speedAtEndUnits(), run.rotationAfterDelaySeconds());
        if (cells[3] == QString::number(run.runSeconds(), 'f', 1)) {
            ++result.recorded;
            if (run.end == sim::RunEnd::Stopped || cells[4] == QString::number(run.speedAtEndUnits(), 'f', 1))
                ++result.exactSpeed;
        }
    }
    return result;
}

bool waitFor(const std::function<bool()> &done, int milliseconds)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < milliseconds)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    return done();
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    double seconds = 60;
    double scale = 10;
    quint32 seed = 7;
    QString keep;
    QStringList args = app.arguments();
    const bool noWait = args.removeAll(QStringLiteral("--no-wait")) > 0;
    for (qsizetype i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--seconds"))
            seconds = std::max(1.0, args[i + 1].toDouble());
        else if (args[i] == QLatin1String("--scale"))
            scale = std::max(0.1, args[i + 1].toDouble());
        else if (args[i] == QLatin1String("--seed"))
            seed = args[i + 1].toUInt();
        else if (args[i] == QLatin1String("--keep"))
            keep = args[i + 1];
    }

    QTemporaryDir temporary;
    const QString folder = keep.isEmpty() ? temporary.path() : keep;
    QDir().mkpath(folder);
    strDataPath = folder;
    strDevIniPath = QDir(folder).filePath(QStringLiteral("device.ini"));
    setPrompter(std::make_unique<BenchPrompter>(folder));

    sim::SimConfig config; // devices 128..131, firmware 2.20
    config.timeScale = scale;
    config.wireTiming = true;
    config.scenario = sim::Scenario::random(seed);
    sim::SimulatorHost simulator(config);
    QString error;
    if (!simulator.start(&error)) {
        std::fprintf(stderr, "the simulator could not start: %s\n", qPrintable(error));
        return 1;
    }
    registerExtraPort(simulator.portPath(), PortPlacement::First);
    strCommPort = simulator.portPath();
    for (int n = 1; n <= 4; ++n) {
        Devices[n].intDevType = kDevTypeVelorix5;
        Devices[n].bytBusAddr = quint8(127 + n);
        Devices[n].sngVersion = 2.2f;
    }

    auto main = std::make_unique<frmMain>();
    main->setWindowFactory(frmMain::MenuItem::ExperimentRun, [] { return frmexp::create(); });
    main->resize(1400, 1000);
    main->show();
    std::vector<frmexp *> windows;
    for (int n = 0; n < 4; ++n)
        windows.push_back(qobject_cast<frmexp *>(main->openWindow(frmMain::MenuItem::ExperimentRun)));
    const auto box = [](frmexp *w, const char *name, const char *text) {
        w->findChild<QLineEdit *>(QLatin1String(name))->setText(QLatin1String(text));
    };
    const auto button = [](frmexp *w, const char *name) {
        return w->findChild<QPushButton *>(QLatin1String(name));
    };
    if (!waitFor([&] {
            for (frmexp *w : windows)
                if (!button(w, "cmdstartexp")->isEnabled())
                    return false;
            return true;
        }, 10000)) {
        std::fprintf(stderr, "the uploads did not end\n");
        return 1;
    }
    for (frmexp *w : windows) {
        ExpPacing pacing;
        pacing.waitForLink = !noWait;
        w->controller()->setPacing(pacing);
        box(w, "txts_speed", "5.0");
        box(w, "txte_speed", "20.0");
        box(w, "txtacc_time", "10");
        box(w, "txtacc_step", "1.0");
        box(w, "txtduration", "0");
        box(w, "txtrot_delay", "1.0");
        button(w, "cmdstartexp")->click();
    }
    if (!waitFor([&] {
            for (frmexp *w : windows)
                if (!w->controller()->bolrunning)
                    return false;
            return true;
        }, 15000)) {
        std::fprintf(stderr, "the experiments did not start\n");
        return 1;
    }

    std::vector<ExpCounters> before;
    for (frmexp *w : windows)
        before.push_back(w->controller()->counters());
    std::vector<int> rowsAtStart(windows.size(), 0);
    std::vector<int> masterStarts(windows.size(), 0);
    const double thread0 = threadCpuSeconds();
    const double process0 = processCpuSeconds();
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < seconds * 1000) {
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        for (std::size_t i = 0; i < windows.size(); ++i) {
            // All four channels have given a result since the last start.
            const int rows = windows[i]->resultsGrid()->rowCount();
            if (rows - rowsAtStart[i] >= 4 && !windows[i]->controller()->bolstartALL) {
                rowsAtStart[i] = rows;
                ++masterStarts[i];
                button(windows[i], "cmdStartall")->click();
            }
        }
    }
    const double elapsed = clock.nsecsElapsed() / 1e9;
    const double threadCpu = threadCpuSeconds() - thread0;
    const double processCpu = processCpuSeconds() - process0;

    for (frmexp *w : windows)
        button(w, "cmdstop_exp")->click();
    waitFor([&] {
        for (frmexp *w : windows)
            if (w->controller()->bolrunning)
                return false;
        return true;
    }, 10000);

    std::printf("experiment_bench: 4 windows, 4 devices, wire timing on, device clock x%.1f, %.1f s%s\n", scale,
                elapsed, noWait ? ", ticks run into a busy link" : "");
    const auto truth = simulator.groundTruth();
    int busyTotal = 0;
    int allResults = 0;
    int allRecorded = 0;
    for (std::size_t i = 0; i < windows.size(); ++i) {
        const ExpCounters &now = windows[i]->controller()->counters();
        const int polls = now.polls - before[i].polls;
        const int ticks = now.ticks - before[i].ticks;
        const int putOff = now.putOff - before[i].putOff;
        const auto count = [](const ExpCounters &c, int code) {
            const auto found = c.errors.find(code);
            return found == c.errors.end() ? 0 : found->second;
        };
        const int busy = count(now, rc::Busy) - count(before[i], rc::Busy);
        int failed = 0;
        for (const auto &[code, n] : now.errors)
            failed += n - count(before[i], code);
        busyTotal += busy;
        const quint8 address = quint8(127 + i + 1);
        const Comparison c = compare(runLines(QDir(folder).filePath(QStringLiteral("device%1.csv").arg(i + 1))),
                                     truth, address);
        allResults += c.results;
        allRecorded += c.recorded;
        std::printf("  window %zu (device %u): %5.2f polls/s, %5.2f ticks/s, %d ticks put off for the link, "
                    "%d Error #1001, %d failed commands, %d Master Starts; runs: %d ended, %d recorded, "
                    "%d with the speed at the fall, %d lines without a run\n",
                    i + 1, unsigned(address), polls / elapsed, ticks / elapsed, putOff, busy, failed,
                    masterStarts[i], c.results, c.recorded, c.exactSpeed, c.extraLines);
    }
    std::printf("  Error #1001: %.1f per minute (all windows)\n", busyTotal * 60.0 / elapsed);
    std::printf("  CPU: main thread %.1f%% of one core, process %.1f%% (the process includes the simulator's "
                "thread)\n",
                100 * threadCpu / elapsed, 100 * processCpu / elapsed);
    std::printf("  every run recorded: %s (%d of %d)\n", allRecorded == allResults ? "yes" : "no", allRecorded,
                allResults);
    main.reset();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    clearExtraPorts();
    setPrompter(nullptr);
    return allRecorded == allResults ? 0 : 2;
}
