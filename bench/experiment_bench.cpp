// Experiment windows polling simulated devices on one bus, with wire timing
// on and 2 ms of device latency, as an operator would run them: one window,
// then two, then four (one phase each, side by side in the report); each
// window starts its
// experiment and presses "Master Start" whenever all four of its channels
// have given their results. At the end every window is stopped with "Stop
// Experiment", and once the stops have finished the data files are held
// against what the devices really did. Reply faults can be put on the line,
// so the same run is a soak of the program's fault handling.
//
//   experiment_bench [--seconds N | --device-seconds N] [--scale X] [--seed S]
//                    [--windows 1,2,4] [--faults R] [--fault-noreply R] [--fault-checksum R]
//                    [--fault-address R] [--fault-nak R] [--fault-late R]
//                    [--fault-split R] [--fault-stray R] [--keep DIR] [--no-wait]
//                    [--plot shown|hidden|both]
//
// Defaults: 20 s a phase, device clocks 10 times real time, seed 7, no
// faults, phases of 1, 2 and 4 windows. --device-seconds runs each phase
// until that much device time has passed (real time times the scale). --faults R sets all seven fault rates to R; a single
// --fault-* option given after it overrides its kind. --no-wait lets ticks run
// into a busy link (each refused command an "Error #1001") instead of waiting
// for it, for comparison. --plot runs each phase with the windows' speed plots
// shown, hidden, or (the default) once each, so the tick's CPU with and
// without the plot stands side by side; the trace behind the plot is fed
// either way. Runs headless (offscreen, which still paints every window
// into memory) unless a display platform is set. Exit code 0 when every run is recorded right, 2 when not, 1 when the
// bench could not run.
//
// The bench never spins: it waits in event loops that sleep until the next
// timer or I/O, so its CPU figures are those of the program (and of the
// simulator's thread, which is shown on its own). Each phase reports the
// polls per second, the main thread's wake-ups per tick (the event
// dispatcher's awake signal, and its aboutToBlock: the times it went to
// sleep; the operator's 50 ms look is among them), and
// what the bus could carry: polls per second of line time (bytes on the
// wire plus the devices' latency), were the line never idle.

#include "shell/frmmain.h"
#include "model/globals.h"
#include "model/prompter.h"
#include "experiment/core/expdatafile.h"
#include "experiment/core/sessionlogreader.h"
#include "experiment/windows/frmexp.h"
#include "experiment/windows/resultsgrid.h"
#include "base/textlines.h"
#include "link/portlist.h"
#include "protocol/resultcodes.h"
#include "protocol/multidevmod.h"
#include "simulator/commandset.h"
#include "simulator/simulatorhost.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QCheckBox>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QMutex>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include <pthread.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <functional>
#include <map>
#include <optional>
#include <vector>

#include <malloc.h>

namespace {

using namespace velorix;

// The set-up every window runs: the wheel at 5.0, one step of 1.0 every 10 s
// up to 20.0, sessions without an end, 1 s of passive-rotation delay.
constexpr const char *kStartSpeed = "5.0";
constexpr const char *kEndSpeed = "20.0";
constexpr const char *kAccInterval = "10";
constexpr const char *kAccStepText = "1.0";
constexpr double kAccStep = 1.0;
constexpr const char *kRotationDelay = "1.0";

constexpr int kMaxWindows = 4;
constexpr quint8 kFirstAddress = 128;
constexpr int kHeaderLines = 19; // of a data file, the column headings included

// ---------------------------------------------------------------- options

struct Options
{
    double realSeconds = 20;
    std::optional<double> deviceSeconds;
    std::vector<int> windowCounts{1, 2, 4}; // one phase each
    double scale = 10;
    quint32 seed = 7;
    QString keep;
    bool noWait = false;
    std::vector<bool> plotModes{true, false}; // shown, hidden
    sim::FaultRates faults;

    [[nodiscard]] double durationSeconds() const
    {
        return deviceSeconds ? *deviceSeconds / scale : realSeconds;
    }
};

// A fault rate option ("fault-nak") of the simulator, or null.
const sim::FaultRateOption *faultOption(const QString &name)
{
    for (const sim::FaultRateOption &option : sim::kFaultRateOptions)
        if (name == QLatin1String(option.name))
            return &option;
    return nullptr;
}

// Options in pairs "--name value", plus the lone --no-wait. Empty with
// `error` set on anything unknown or out of range.
std::optional<Options> parseOptions(QStringList args, QString *error)
{
    Options options;
    options.noWait = args.removeAll(QStringLiteral("--no-wait")) > 0;
    for (qsizetype i = 1; i < args.size(); i += 2) {
        const QString &flag = args[i];
        const QString text = args.value(i + 1);
        const QString name = flag.mid(2);
        bool isNumber = false;
        const double value = text.toDouble(&isNumber);
        const bool isRate = isNumber && value >= 0 && value <= 1;
        bool taken = flag.startsWith(QLatin1String("--")) && i + 1 < args.size();
        if (!taken) {
        } else if (name == QLatin1String("keep")) {
            options.keep = text;
        } else if (name == QLatin1String("seconds") && isNumber && value > 0) {
            options.realSeconds = value;
            options.deviceSeconds.reset();
        } else if (name == QLatin1String("windows")) {
            options.windowCounts.clear();
            for (const QString &part : text.split(QLatin1Char(','))) {
                const int n = part.toInt();
                taken = taken && n >= 1 && n <= kMaxWindows;
                options.windowCounts.push_back(n);
            }
        } else if (name == QLatin1String("plot")
                   && (text == QLatin1String("shown") || text == QLatin1String("hidden")
                       || text == QLatin1String("both"))) {
            options.plotModes.clear();
            if (text != QLatin1String("hidden"))
                options.plotModes.push_back(true);
            if (text != QLatin1String("shown"))
                options.plotModes.push_back(false);
        } else if (name == QLatin1String("device-seconds") && isNumber && value > 0) {
            options.deviceSeconds = value;
        } else if (name == QLatin1String("scale") && isNumber && value >= 0.1) {
            options.scale = value;
        } else if (name == QLatin1String("seed") && isNumber && value >= 0) {
            options.seed = quint32(value);
        } else if (name == QLatin1String("faults") && isRate) {
            for (const sim::FaultRateOption &option : sim::kFaultRateOptions)
                options.faults.*option.rate = value;
        } else if (const sim::FaultRateOption *option = faultOption(name); option && isRate) {
            options.faults.*option->rate = value;
        } else {
            taken = false;
        }
        if (!taken) {
            *error = QStringLiteral("bad option: %1 %2").arg(flag, text);
            return std::nullopt;
        }
    }
    return options;
}

double totalFaultRate(const sim::FaultRates &rates)
{
    double total = 0;
    for (const sim::FaultRateOption &option : sim::kFaultRateOptions)
        total += rates.*option.rate;
    return total;
}

// ---------------------------------------------------------------- CPU

double cpuSeconds(clockid_t clock)
{
    timespec t{};
    clock_gettime(clock, &t);
    return double(t.tv_sec) + t.tv_nsec / 1e9;
}

// The bytes the process has allocated and not freed (glibc's count, so
// the memory a thread keeps cached for reuse is not in it).
long long heapInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return static_cast<long long>(info.uordblks + info.hblkhd);
}

double processCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval &t) { return double(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// ---------------------------------------------------------------- waiting

// Lets the program run until `done` holds or `milliseconds` pass. The loop
// sleeps between its looks (every 20 ms), which are cheap. A look may come
// inside a window's nested event loop; the quit then takes effect once that
// loop has unwound.
bool waitUntil(const std::function<bool()> &done, int milliseconds)
{
    if (done())
        return true;
    QEventLoop loop;
    QTimer look;
    look.setInterval(20);
    QObject::connect(&look, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    look.start();
    loop.exec();
    return done();
}

// ---------------------------------------------------------------- prompts

// Answers the data-file dialogs with one file per window, every question
// with Yes, and keeps count of the messages so a soak shows what the
// operator would have been asked.
class BenchPrompter final : public Prompter
{
public:
    explicit BenchPrompter(QString folder) : m_folder(std::move(folder)) {}
    MessageAnswer message(QWidget *, const MessageRequest &request) override
    {
        if (++m_messages[request.text] == 1)
            std::fprintf(stderr, "message (first of its kind): %s\n", qPrintable(request.text));
        return MessageAnswer::Yes;
    }
    QString fileName(QWidget *, const FileRequest &) override
    {
        return QDir(m_folder).filePath(QStringLiteral("device%1.csv").arg(++m_files));
    }
    [[nodiscard]] const std::map<QString, int> &messages() const { return m_messages; }

private:
    QString m_folder;
    int m_files = 0;
    std::map<QString, int> m_messages;
};

// ---------------------------------------------------------------- the line

// Watches every frame on the simulator's own thread (a direct call, so the
// program's thread pays nothing for it): when each device's sessions began
// in wall-clock time, how many replies went out and which faults they got,
// and the simulator thread's CPU clock.
class LineWatch
{
public:
    void attach(sim::SimulatorHost &simulator)
    {
        QObject::connect(
                &simulator, &sim::SimulatorHost::frameLogged, &simulator,
                [this](const sim::FrameLogEntry &entry) { observe(entry); }, Qt::DirectConnection);
    }

    // Wall-clock ms of the start of the device's session (1 for its first).
    [[nodiscard]] std::optional<qint64> sessionStartMs(quint8 address, int session) const
    {
        QMutexLocker lock(&m_mutex);
        const auto found = m_sessionStarts.find(address);
        if (found == m_sessionStarts.end() || session < 1 || session > int(found->second.size()))
            return std::nullopt;
        return found->second[session - 1];
    }
    [[nodiscard]] int requests() const
    {
        QMutexLocker lock(&m_mutex);
        return m_requests;
    }
    // Seconds the line was in use so far: every byte's wire time (10 bits at
    // 19200 baud) and the devices' latency before each reply.
    [[nodiscard]] double lineSeconds() const
    {
        QMutexLocker lock(&m_mutex);
        return m_lineUs / 1e6;
    }
    void setLatencyMs(double latency) { m_latencyUs = latency * 1000; }
    [[nodiscard]] std::map<QString, int> faults() const
    {
        QMutexLocker lock(&m_mutex);
        return m_faults;
    }
    // The simulator thread's CPU seconds, or nothing before its first frame.
    [[nodiscard]] std::optional<double> simulatorCpuSeconds() const
    {
        if (!m_haveClock.load())
            return std::nullopt;
        return cpuSeconds(m_simulatorClock);
    }

private:
    void observe(const sim::FrameLogEntry &entry)
    {
        if (!m_haveClock.load()) {
            pthread_getcpuclockid(pthread_self(), &m_simulatorClock);
            m_haveClock = true;
        }
        QMutexLocker lock(&m_mutex);
        m_lineUs += entry.bytes.size() * 10 * 1e6 / 19200;
        if (entry.direction == sim::FrameLogEntry::Direction::ToDevice) {
            if (!entry.note.isEmpty() || entry.bytes.size() < 2)
                return; // dropped: the devices never acted on it
            ++m_requests;
            m_lineUs += m_latencyUs;
            m_replyFaultSeen = false;
            const quint8 code = sim::byteAt(entry.bytes, 1);
            if (code == sim::Code::StartExp || code == sim::Code::StartDiag)
                m_sessionStarts[sim::byteAt(entry.bytes, 0)].push_back(QDateTime::currentMSecsSinceEpoch());
            return;
        }
        // A split reply logs each piece with the same note: one count a reply.
        if (entry.note.startsWith(QLatin1String("fault: ")) && !m_replyFaultSeen) {
            m_replyFaultSeen = true;
            ++m_faults[entry.note.mid(7).section(QLatin1Char(','), 0, 0)];
        }
    }

    mutable QMutex m_mutex;
    std::map<quint8, std::vector<qint64>> m_sessionStarts;
    std::map<QString, int> m_faults;
    int m_requests = 0;
    double m_lineUs = 0;
    double m_latencyUs = 0;
    bool m_replyFaultSeen = false;
    std::atomic<bool> m_haveClock{false};
    clockid_t m_simulatorClock{};
};

// ---------------------------------------------------------------- comparing

// One run line of a data file: subject ID, channel, start time (wall clock,
// to the second), run time, speed, P_R time, P_R speed, total.
struct Row
{
    int channel = 0;
    qint64 stampMs = 0;
    double runSeconds = 0;
    double speed = 0;
    QString text;
};

std::optional<Row> parseRow(const QString &line)
{
    const QStringList cells = line.split(QLatin1Char(','));
    if (cells.size() < 8)
        return std::nullopt;
    Row row;
    bool okChannel = false, okTime = false, okSpeed = false;
    row.channel = cells[1].toInt(&okChannel);
    row.runSeconds = cells[3].toDouble(&okTime);
    row.speed = cells[4].toDouble(&okSpeed);
    QDateTime stamp = QDateTime::fromString(cells[2], QStringLiteral("MM/dd/yy HH:mm:ss"));
    if (!okChannel || !okTime || !okSpeed || !stamp.isValid() || row.channel < 1 || row.channel > 4)
        return std::nullopt;
    if (stamp.date().year() < 2000) // two-digit years read as 19xx
        stamp = stamp.addYears(100);
    row.stampMs = stamp.toMSecsSinceEpoch();
    row.text = line;
    return row;
}

// A run of the ground truth with where the program should have stamped it.
struct TruthRun
{
    sim::RunRecord record;
    std::optional<qint64> expectedStartMs; // wall clock of the channel's start
    // Falls and runs cut by the stop are results the program must record; a
    // run cut by a restart (Master Start, a repeated Start_Exp) or a reset
    // was never seen to end, so it may be missing, but a row for it is no
    // invention.
    [[nodiscard]] bool required() const
    {
        return record.end == sim::RunEnd::Fall || record.end == sim::RunEnd::Stopped;
    }
};

// The run time comes from the device in tenths and is written with one
// decimal, so a right record equals the device's value exactly; half a tenth
// only absorbs the float's rounding. A row one tenth off is still wrong (the
// program took the time from the wrong poll) and is counted as such.
constexpr double kRunTimeTolerance = 0.05;
// The speed is the wheel speed the program read in the poll that saw the
// fall, so the wheel may have taken one Acc Step since the fall itself.
constexpr double kSpeedTolerance = kAccStep + 0.05;

// Whether a row's start stamp fits a run. It tells a run recorded with a
// wrong time from a lost run plus an invented row, and it checks the start
// time of the runs recorded with the right run time. A start is stamped
// at the first poll that sees the channel running (seconds late when polls
// fail); the first run of a session is stamped when Start was pressed, before
// the set-up download, well before the device's Start_Exp. Stamps are cut
// to the second.
bool stampFits(const Row &row, const TruthRun &run)
{
    if (!run.expectedStartMs)
        return true;
    const qint64 earliest = *run.expectedStartMs - (run.record.startTenths == 0 ? 60'000 : 2'000);
    const qint64 latest = *run.expectedStartMs + 5'000;
    return row.stampMs + 1000 > earliest && row.stampMs <= latest;
}

struct Tally
{
    int required = 0; // runs the devices saw end by a fall or the stop
    int fell = 0;
    int stopped = 0;
    int recorded = 0;      // required runs found with the right run time
    int lost = 0;          // required runs in no row
    int wrongTime = 0;     // required runs found with a wrong run time
    int wrongByATenth = 0; // ... of them one tenth off
    int wrongSpeed = 0;    // right run time, speed beyond one Acc Step of the fall's
    int wrongStart = 0;    // right run time, start stamp outside what polling explains
    int invented = 0;      // rows that match no run
    int unreadable = 0;    // ... of them lines that are no run line at all
    int cutRecorded = 0;   // rows of runs cut by a restart or reset (allowed)
    int fromRamp = 0;      // recorded runs whose speed the set-up's ramp gave (the session log says)

    Tally &operator+=(const Tally &o)
    {
        required += o.required, fell += o.fell, stopped += o.stopped, recorded += o.recorded;
        lost += o.lost, wrongTime += o.wrongTime, wrongByATenth += o.wrongByATenth;
        wrongSpeed += o.wrongSpeed, wrongStart += o.wrongStart, invented += o.invented;
        unreadable += o.unreadable;
        cutRecorded += o.cutRecorded;
        fromRamp += o.fromRamp;
        return *this;
    }
    [[nodiscard]] bool allRight() const
    {
        return lost == 0 && wrongTime == 0 && wrongSpeed == 0 && wrongStart == 0 && invented == 0;
    }
};

bool runTimeRight(const Row &row, const TruthRun &run)
{
    return std::abs(row.runSeconds - run.record.runSeconds()) < kRunTimeTolerance;
}

// A row stands for a run when its run time is right, or when its stamp fits
// and the time is wrong (one fault instead of a lost run and an invented row).
// A run cut by a restart or reset is taken only with its exact time.
std::optional<int> pairCost(const Row &row, const TruthRun &run)
{
    if (runTimeRight(row, run))
        return 0;
    if (run.required() && stampFits(row, run))
        return 1;
    return std::nullopt;
}

// One step of an alignment: a run with a row, a run without, a row without.
struct Step
{
    const TruthRun *run = nullptr;
    const Row *row = nullptr;
};

// One channel's runs against its rows, both in time order, aligned so that
// the fewest faults are counted: skipping a required run costs 1, skipping a
// row 1, a pair its pairCost. Going by order, a lost run does not shift
// every later pairing, and two runs of a channel may share a run time.
std::vector<Step> align(const std::vector<TruthRun> &runs, const std::vector<Row> &rows)
{
    const std::size_t n = runs.size(), m = rows.size();
    constexpr int kNever = 1 << 20;
    const auto skipRun = [&](std::size_t i) { return runs[i].required() ? 1 : 0; };
    const auto pair
            = [&](std::size_t i, std::size_t j) { return pairCost(rows[j], runs[i]).value_or(kNever); };
    // cost[i][j]: the best alignment of runs i.. with rows j..
    std::vector<std::vector<int>> cost(n + 1, std::vector<int>(m + 1, 0));
    for (std::size_t i = n + 1; i-- > 0;) {
        for (std::size_t j = m + 1; j-- > 0;) {
            int best = i == n && j == m ? 0 : kNever;
            if (i < n)
                best = std::min(best, cost[i + 1][j] + skipRun(i));
            if (j < m)
                best = std::min(best, cost[i][j + 1] + 1);
            if (i < n && j < m)
                best = std::min(best, cost[i + 1][j + 1] + pair(i, j));
            cost[i][j] = best;
        }
    }
    std::vector<Step> steps;
    std::size_t i = 0, j = 0;
    while (i < n || j < m) {
        if (i < n && j < m && cost[i][j] == cost[i + 1][j + 1] + pair(i, j))
            steps.push_back({&runs[i++], &rows[j++]});
        else if (i < n && cost[i][j] == cost[i + 1][j] + skipRun(i))
            steps.push_back({&runs[i++], nullptr});
        else
            steps.push_back({nullptr, &rows[j++]});
    }
    return steps;
}

// BENCH_DEBUG=1 shows each verdict, with the row's stamp against the run's
// expected start.
void showStep(const char *verdict, const Step &step)
{
    static const bool debug = qEnvironmentVariableIsSet("BENCH_DEBUG");
    if (!debug)
        return;
    std::fprintf(stderr, "%-10s", verdict);
    if (const TruthRun *run = step.run)
        std::fprintf(stderr, " | truth %u ch%d s%d start %.1f run %.1f end %d speed %.1f",
                     run->record.address, run->record.channel, run->record.session,
                     run->record.startSeconds(), run->record.runSeconds(), int(run->record.end),
                     run->record.speedAtEndUnits());
    if (step.row)
        std::fprintf(stderr, " | %s", qPrintable(step.row->text));
    if (step.run && step.row && step.run->expectedStartMs)
        std::fprintf(stderr, " | stamp %+.1f s", (step.row->stampMs - *step.run->expectedStartMs) / 1000.0);
    std::fprintf(stderr, "\n");
}

// Counts one step of the alignment and says what it was.
const char *judge(const Step &step, Tally &tally)
{
    if (!step.row) {
        tally.lost += step.run->required() ? 1 : 0;
        return step.run->required() ? "lost" : "unseen";
    }
    if (!step.run) {
        ++tally.invented;
        return "invented";
    }
    const Row &row = *step.row;
    const TruthRun &run = *step.run;
    if (!run.required()) {
        ++tally.cutRecorded;
        return "cut";
    }
    if (!runTimeRight(row, run)) {
        ++tally.wrongTime;
        if (std::abs(std::abs(row.runSeconds - run.record.runSeconds()) - 0.1) < kRunTimeTolerance)
            ++tally.wrongByATenth;
        return "wrongtime";
    }
    ++tally.recorded;
    const char *verdict = "right";
    if (std::abs(row.speed - run.record.speedAtEndUnits()) > kSpeedTolerance) {
        ++tally.wrongSpeed;
        verdict = "wrongspeed";
    }
    if (!stampFits(row, run)) {
        ++tally.wrongStart;
        verdict = "wrongstart";
    }
    return verdict;
}

QStringList runLines(const QString &path)
{
    QStringList lines;
    if (!velorix::readTextLines(path, lines))
        return {};
    return lines.mid(kHeaderLines);
}

// Every run of the device against every line of its data file.
Tally compareDevice(const QStringList &lines, const std::vector<sim::RunRecord> &truth, quint8 address,
                    const LineWatch &watch, double scale)
{
    Tally tally;
    std::map<int, std::vector<TruthRun>> runs;
    for (const sim::RunRecord &record : truth) {
        if (record.address != address)
            continue;
        TruthRun run{record, std::nullopt};
        if (const auto session = watch.sessionStartMs(address, record.session))
            run.expectedStartMs = *session + qint64(std::llround(record.startTenths * 100.0 / scale));
        tally.required += run.required() ? 1 : 0;
        tally.fell += record.end == sim::RunEnd::Fall ? 1 : 0;
        tally.stopped += record.end == sim::RunEnd::Stopped ? 1 : 0;
        runs[record.channel].push_back(run);
    }
    // The ground truth lists runs as they end; the file as they are recorded.
    for (auto &[channel, list] : runs)
        std::stable_sort(list.begin(), list.end(), [](const TruthRun &a, const TruthRun &b) {
            return std::pair(a.record.session, a.record.startTenths)
                    < std::pair(b.record.session, b.record.startTenths);
        });
    std::map<int, std::vector<Row>> rows;
    for (const QString &line : lines) {
        if (const auto row = parseRow(line)) {
            rows[row->channel].push_back(*row);
        } else if (!line.trimmed().isEmpty()) {
            ++tally.invented;
            ++tally.unreadable;
        }
    }
    for (int channel = 1; channel <= 4; ++channel)
        for (const Step &step : align(runs[channel], rows[channel]))
            showStep(judge(step, tally), step);
    return tally;
}

// ---------------------------------------------------------------- the operator

QPushButton *button(frmexp *w, const char *name)
{
    return w->findChild<QPushButton *>(QLatin1String(name));
}

void typeInto(frmexp *w, const char *name, const char *text)
{
    w->findChild<QLineEdit *>(QLatin1String(name))->setText(QLatin1String(text));
}

// Presses "Master Start" in a window once all four channels have given a
// result since the last press. Should the program lose a result, the four
// rows never come; the operator then goes by what the window shows: once no
// channel has run or rotated for a few seconds, he presses it anyway, so the
// soak goes on (those presses are counted apart).
class MasterStarter
{
public:
    explicit MasterStarter(const std::vector<frmexp *> &windows) : m_windows(windows), m_state(windows.size())
    {
        m_timer.setInterval(50);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { look(); });
        m_clock.start();
    }
    // The first round counts from the experiment's start: results that came
    // before this start belong to it.
    void start() { m_timer.start(); }
    void stop() { m_timer.stop(); }
    [[nodiscard]] int presses(std::size_t i) const { return m_state[i].presses; }
    [[nodiscard]] int pressesWithoutRows(std::size_t i) const { return m_state[i].withoutRows; }

private:
    static constexpr qint64 kIdlePatienceMs = 3000;
    struct State
    {
        int rowsAtPress = 0;
        qint64 pressedAtMs = 0;
        std::optional<qint64> idleSinceMs;
        int presses = 0;
        int withoutRows = 0;
    };

    void look()
    {
        const qint64 now = m_clock.elapsed();
        for (std::size_t i = 0; i < m_windows.size(); ++i) {
            frmexp *w = m_windows[i];
            State &s = m_state[i];
            const DeviceInfo &record = w->controller()->record();
            const bool idle = record.bytChanBits == 0 && record.bytRotBits == 0;
            if (!idle)
                s.idleSinceMs.reset();
            else if (!s.idleSinceMs)
                s.idleSinceMs = now;
            if (w->controller()->requests().masterStart != RunRequests::MasterStart::None)
                continue; // the last press is still on its way
            const int rows = w->resultsGrid()->rowCount();
            const bool fourResults = rows - s.rowsAtPress >= 4;
            const bool longIdle = s.idleSinceMs && now - *s.idleSinceMs >= kIdlePatienceMs
                    && now - s.pressedAtMs >= kIdlePatienceMs;
            if (!fourResults && !longIdle)
                continue;
            s.withoutRows += fourResults ? 0 : 1;
            if (qEnvironmentVariableIsSet("BENCH_DEBUG"))
                std::fprintf(stderr, "Master Start in window %zu at %.1f s: %d new rows\n", i + 1,
                             now / 1000.0, rows - s.rowsAtPress);
            ++s.presses;
            s.rowsAtPress = rows;
            s.pressedAtMs = now;
            s.idleSinceMs.reset();
            button(w, "cmdStartall")->click();
        }
    }

    std::vector<frmexp *> m_windows;
    std::vector<State> m_state;
    QTimer m_timer;
    QElapsedTimer m_clock;
};

// ---------------------------------------------------------------- report

QString codeName(int code)
{
    switch (code) {
    case rc::Busy: return QStringLiteral("link busy");
    case rc::SerialError: return QStringLiteral("port failed");
    case rc::NoReply: return QStringLiteral("no or short reply");
    case rc::BadReply: return QStringLiteral("bad reply");
    case rc::BadChecksum: return QStringLiteral("bad checksum");
    case rc::BadGroupId: return QStringLiteral("bad group id");
    case rc::RecordRefused: return QStringLiteral("record refused");
    case rc::EmptyRecord: return QStringLiteral("empty record");
    case rc::BusResetFailed: return QStringLiteral("bus reset failed");
    default: return QStringLiteral("?");
    }
}

int countOf(const ExpCounters &c, int code)
{
    const auto found = c.errors.find(code);
    return found == c.errors.end() ? 0 : found->second;
}

struct WindowFigures
{
    double pollsPerSecond = 0;
    double ticksPerSecond = 0;
    int putOff = 0;
    std::map<int, int> errors; // result code -> failed commands during the soak
    int presses = 0;
    int pressesWithoutRows = 0;
};

WindowFigures windowFigures(const ExpCounters &before, const ExpCounters &now, double elapsed)
{
    WindowFigures f;
    f.pollsPerSecond = (now.polls - before.polls) / elapsed;
    f.ticksPerSecond = (now.ticks - before.ticks) / elapsed;
    f.putOff = now.putOff - before.putOff;
    for (const auto &[code, n] : now.errors)
        if (const int during = n - countOf(before, code))
            f.errors[code] = during;
    return f;
}

QString ratesText(const sim::FaultRates &rates)
{
    if (totalFaultRate(rates) == 0)
        return QStringLiteral("none");
    QStringList parts;
    for (const sim::FaultRateOption &option : sim::kFaultRateOptions)
        if (rates.*option.rate > 0)
            parts << QStringLiteral("%1 %2%")
                             .arg(QLatin1String(option.name).mid(6))
                             .arg(100 * rates.*option.rate);
    return parts.join(QStringLiteral(", "));
}

struct SoakFigures
{
    double elapsed = 0;     // real seconds of the soak, the stop not included
    double stopSeconds = 0; // how long the stops took to finish
    bool stopFinished = true;
    double threadCpu = 0; // the program's main thread
    double processCpu = 0;
    std::optional<double> simulatorCpu;
    double lineSeconds = 0; // the line in use during the soak
    long wakeUps = 0;       // of the main thread during the soak
    long sleeps = 0;        // times it was about to block
    // What the process holds on the heap at the end less after the first
    // fifth, and the polls and the results grids' new rows meanwhile.
    long long heapGrowth = 0;
    int rowsAdded = 0;
    long pollsMeasured = 0;
};

// One phase: so many windows, one device each, polling side by side.
struct Phase
{
    int windows = 0;
    bool plotShown = true;
    SoakFigures soak;
    std::vector<WindowFigures> figures;

    [[nodiscard]] double polls() const
    {
        double sum = 0;
        for (const WindowFigures &w : figures)
            sum += w.pollsPerSecond;
        return sum;
    }
    [[nodiscard]] double ticks() const
    {
        double sum = 0;
        for (const WindowFigures &w : figures)
            sum += w.ticksPerSecond * soak.elapsed;
        return sum;
    }
    // Polls per second of line time: what the bus carries were it never idle.
    [[nodiscard]] double capacity() const
    {
        return soak.lineSeconds > 0 ? polls() * soak.elapsed / soak.lineSeconds : 0;
    }
    // The main thread's CPU milliseconds per tick: the tick itself, the
    // windows' repainting and whatever else the program did meanwhile.
    [[nodiscard]] double cpuMsPerTick() const { return 1000 * soak.threadCpu / std::max(1.0, ticks()); }
};

void printPhases(const std::vector<Phase> &phases)
{
    std::printf("== polling, side by side ==\n");
    std::printf(
            "windows  plot    polls/s  of wanted  ticks/s  line busy  bus capacity  wake-ups/tick  sleeps/tick  "
            "CPU main  CPU ms/tick  ticks put off\n");
    for (const Phase &p : phases) {
        int putOff = 0;
        for (const WindowFigures &w : p.figures)
            putOff += w.putOff;
        const double wanted = 10.0 * p.windows; // one poll a window every 100 ms
        const double ticks = std::max(1.0, p.ticks());
        std::printf(
                "%7d  %-6s  %7.2f  %8.0f%%  %7.2f  %8.0f%%  %8.1f/s    %13.2f  %11.2f  %7.1f%%  %11.3f  %13d\n",
                p.windows, p.plotShown ? "shown" : "hidden", p.polls(), 100 * p.polls() / wanted,
                p.ticks() / p.soak.elapsed, 100 * p.soak.lineSeconds / p.soak.elapsed, p.capacity(),
                p.soak.wakeUps / ticks, p.soak.sleeps / ticks, 100 * p.soak.threadCpu / p.soak.elapsed,
                p.cpuMsPerTick(), putOff);
    }
    // The plot's cost, where a window count ran both ways.
    for (const Phase &shown : phases) {
        if (!shown.plotShown)
            continue;
        for (const Phase &hidden : phases) {
            if (hidden.plotShown || hidden.windows != shown.windows)
                continue;
            std::printf("speed plot, %d window%s: %.3f ms of main-thread CPU a tick shown, %.3f hidden "
                        "(%+.3f ms, %.1f%% against %.1f%% of a core)\n",
                        shown.windows, shown.windows == 1 ? "" : "s", shown.cpuMsPerTick(),
                        hidden.cpuMsPerTick(), shown.cpuMsPerTick() - hidden.cpuMsPerTick(),
                        100 * shown.soak.threadCpu / shown.soak.elapsed,
                        100 * hidden.soak.threadCpu / hidden.soak.elapsed);
            break;
        }
    }
}

void printSummary(const Options &options, const std::vector<Phase> &phases, const std::vector<Tally> &tallies,
                  const LineWatch &watch, const BenchPrompter &prompts)
{
    Tally all;
    for (const Tally &t : tallies)
        all += t;
    std::printf("== experiment soak ==\n");
    std::printf(
            "set-up:      phases of %s windows, one device each, wire timing on, device clock x%g, seed %u%s\n",
            qPrintable([&] {
                QStringList counts;
                for (const Phase &p : phases)
                    counts << QString::number(p.windows);
                return counts.join(QLatin1Char(','));
            }()),
            options.scale, options.seed, options.noWait ? ", ticks run into a busy link" : "");
    std::printf("faults:      %s\n", qPrintable(ratesText(options.faults)));
    QStringList injected;
    int faulted = 0;
    for (const auto &[name, n] : watch.faults())
        injected << QStringLiteral("%1 %2").arg(name).arg(n), faulted += n;
    std::printf("on the line: %d requests, %d replies with a fault%s%s%s\n", watch.requests(), faulted,
                injected.isEmpty() ? "" : " (", qPrintable(injected.join(QStringLiteral(", "))),
                injected.isEmpty() ? "" : ")");
    for (const Phase &p : phases) {
        const SoakFigures &soak = p.soak;
        const auto pct = [&](double cpu) { return 100 * cpu / soak.elapsed; };
        QStringList polls;
        std::map<int, int> errors;
        for (const WindowFigures &w : p.figures) {
            polls << QString::number(w.pollsPerSecond, 'f', 2);
            for (const auto &[code, n] : w.errors)
                errors[code] += n;
        }
        std::printf("-- %d window%s, plot %s: %.1f s real, %.0f device s; the stop took %.1f s%s\n",
                    p.windows, p.windows == 1 ? "" : "s", p.plotShown ? "shown" : "hidden", soak.elapsed,
                    soak.elapsed * options.scale, soak.stopSeconds,
                    soak.stopFinished ? "" : " and DID NOT FINISH");
        std::printf("polls/s:     %s, %.1f in all\n", qPrintable(polls.join(QLatin1Char(' '))), p.polls());
        std::printf("memory:      after the first fifth the heap grew %.1f kB over %ld polls and "
                    "%d new grid rows: %.1f bytes a poll, or %.0f bytes a row\n",
                    double(soak.heapGrowth) / 1024, soak.pollsMeasured, soak.rowsAdded,
                    soak.pollsMeasured > 0 ? double(soak.heapGrowth) / double(soak.pollsMeasured) : 0.0,
                    soak.rowsAdded > 0 ? double(soak.heapGrowth) / soak.rowsAdded : 0.0);
        std::printf("cpu:         main thread %.1f%% of one core, process %.1f%%", pct(soak.threadCpu),
                    pct(soak.processCpu));
        if (soak.simulatorCpu)
            std::printf(", of it the simulator's thread %.1f%%, so the program %.1f%%",
                        pct(*soak.simulatorCpu), pct(soak.processCpu - *soak.simulatorCpu));
        std::printf("\n");
        QStringList codes;
        for (const auto &[code, n] : errors)
            codes << QStringLiteral("%1 %2: %3").arg(code).arg(codeName(code)).arg(n);
        std::printf("errors:      %s; %.1f Error #1001 per minute\n",
                    codes.isEmpty() ? "none" : qPrintable(codes.join(QStringLiteral(", "))),
                    errors[rc::Busy] * 60.0 / soak.elapsed);
        for (std::size_t i = 0; i < p.figures.size(); ++i) {
            const WindowFigures &w = p.figures[i];
            std::printf(
                    "window %zu:    %.2f ticks/s, %d ticks put off for the link; Master Start %d presses, "
                    "%d without four new rows\n",
                    i + 1, w.ticksPerSecond, w.putOff, w.presses, w.pressesWithoutRows);
        }
    }
    std::printf("-- runs of every phase\n");
    std::printf("runs:        %d the devices saw end (%d fell, %d cut by the stop)\n", all.required, all.fell,
                all.stopped);
    std::printf("  right run time:   %d\n", all.recorded);
    std::printf("  lost:             %d\n", all.lost);
    std::printf("  wrong run time:   %d (%d of them one tenth off)\n", all.wrongTime, all.wrongByATenth);
    std::printf("  wrong speed:      %d (more than one Acc Step, %.1f, off the speed at the fall)\n",
                all.wrongSpeed, kAccStep);
    std::printf("  speed from the set-up's ramp: %d (no reading of the wheel near the fall)\n", all.fromRamp);
    std::printf("  wrong start time: %d (stamped more than 2 s before or 5 s after the start)\n",
                all.wrongStart);
    std::printf("  invented rows:    %d (%d unreadable lines)\n", all.invented, all.unreadable);
    std::printf("  rows of runs cut by a restart or reset: %d\n", all.cutRecorded);
    for (std::size_t i = 0; i < tallies.size(); ++i) {
        const Tally &t = tallies[i];
        std::printf(
                "device %u:  %d runs, %d right time, %d lost, %d wrong time, %d wrong speed, %d wrong start, "
                "%d invented\n",
                unsigned(kFirstAddress + i), t.required, t.recorded, t.lost, t.wrongTime, t.wrongSpeed,
                t.wrongStart, t.invented);
    }
    int messages = 0;
    for (const auto &[text, n] : prompts.messages())
        messages += n;
    std::printf("messages:    %d\n", messages);
    for (const auto &[text, n] : prompts.messages())
        std::printf("  %dx %s\n", n,
                    qPrintable(QString(text).replace(QLatin1Char('\n'), QLatin1String(" / "))));
    printPhases(phases);
    std::printf("every run recorded right: %s\n", all.allRight() ? "yes" : "NO");
}

// ---------------------------------------------------------------- the run

std::vector<frmexp *> openWindows(frmMain &main, int count)
{
    main.setWindowFactory(frmMain::MenuItem::ExperimentRun, [] { return frmexp::create(); });
    main.resize(1400, 1000);
    main.show();
    std::vector<frmexp *> windows;
    windows.reserve(static_cast<std::size_t>(std::max(count, 0)));
    for (int n = 0; n < count; ++n)
        windows.push_back(qobject_cast<frmexp *>(main.openWindow(frmMain::MenuItem::ExperimentRun)));
    return windows;
}

void startExperiments(const std::vector<frmexp *> &windows, bool noWait)
{
    for (frmexp *w : windows) {
        ExpPacing pacing;
        pacing.waitForLink = !noWait;
        w->controller()->setPacing(pacing);
        typeInto(w, "txts_speed", kStartSpeed);
        typeInto(w, "txte_speed", kEndSpeed);
        typeInto(w, "txtacc_time", kAccInterval);
        typeInto(w, "txtacc_step", kAccStepText);
        typeInto(w, "txtduration", "0");
        typeInto(w, "txtrot_delay", kRotationDelay);
        button(w, "cmdstartexp")->click();
    }
}

bool allWindows(const std::vector<frmexp *> &windows, const std::function<bool(frmexp *)> &test)
{
    return std::all_of(windows.begin(), windows.end(), test);
}

// "Stop Experiment" in every window, then the wait until every run is over,
// no tick is under way and every line is on disk: the runs still on at the
// stop are real runs and belong in the files.
bool stopAll(const std::vector<frmexp *> &windows, int patienceMs)
{
    for (frmexp *w : windows)
        button(w, "cmdstop_exp")->click();
    return waitUntil(
            [&] {
                return allWindows(windows, [](frmexp *w) {
                    ExpController *c = w->controller();
                    return !c->isRunning() && !c->inTick() && c->dataFile().allWritten();
                });
            },
            patienceMs);
}

// Lets the program run for `milliseconds`, with no look of the bench's own.
void runFor(qint64 milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

// Recorded runs whose speed came from the set-up's ramp, as the data file's
// session log tells them.
int speedsFromRamp(const QString &dataFile)
{
    std::vector<LoggedSession> sessions;
    if (!readSessionLogFile(datafile::logNameFor(dataFile), sessions))
        return 0;
    int n = 0;
    for (const LoggedSession &session : sessions)
        n += int(std::count_if(session.runs.begin(), session.runs.end(),
                               [](const LoggedRun &run) { return run.speedFromRamp; }));
    return n;
}

// One phase: `count` windows load, start, poll for the duration and stop;
// each window's run lines go to `lines` under its device's address. Empty
// when the phase could not run.
std::optional<Phase> runPhase(int count, bool plotShown, const Options &options, const LineWatch &watch,
                              std::map<quint8, QStringList> &lines, std::map<quint8, int> &rampSpeeds)
{
    Phase phase;
    phase.windows = count;
    phase.plotShown = plotShown;
    auto main = std::make_unique<frmMain>();
    const std::vector<frmexp *> windows = openWindows(*main, count);
    for (frmexp *w : windows)
        w->findChild<QCheckBox *>(QStringLiteral("chkspeedplot"))->setChecked(plotShown);
    // Faults slow the uploads and starts down; the patience is generous.
    if (!waitUntil(
                [&] {
                    return allWindows(windows,
                                      [](frmexp *w) { return button(w, "cmdstartexp")->isEnabled(); });
                },
                60'000)) {
        std::fprintf(stderr, "the uploads did not end\n");
        return std::nullopt;
    }
    startExperiments(windows, options.noWait);
    if (!waitUntil(
                [&] { return allWindows(windows, [](frmexp *w) { return w->controller()->isRunning(); }); },
                60'000)) {
        std::fprintf(stderr, "the experiments did not start\n");
        return std::nullopt;
    }

    std::vector<ExpCounters> before;
    before.reserve(windows.size());
    for (frmexp *w : windows)
        before.push_back(w->controller()->counters());
    MasterStarter starter(windows);
    SoakFigures &soak = phase.soak;
    long wakeUps = 0, sleeps = 0;
    QAbstractEventDispatcher *dispatcher = QAbstractEventDispatcher::instance();
    const QMetaObject::Connection counting
            = QObject::connect(dispatcher, &QAbstractEventDispatcher::awake, [&wakeUps] { ++wakeUps; });
    const QMetaObject::Connection countingSleeps
            = QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, [&sleeps] { ++sleeps; });
    const double thread0 = cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
    const double process0 = processCpuSeconds();
    const std::optional<double> simulator0 = watch.simulatorCpuSeconds();
    const double line0 = watch.lineSeconds();
    const auto gridRows = [&windows] {
        int rows = 0;
        for (frmexp *w : windows)
            rows += w->resultsGrid()->rowCount();
        return rows;
    };
    const auto pollsDone = [&windows] {
        long polls = 0;
        for (frmexp *w : windows)
            polls += w->controller()->counters().polls;
        return polls;
    };
    QElapsedTimer clock;
    clock.start();
    starter.start();
    // The memory from a fifth of the way on: by then the windows have been
    // painted and every buffer that is made once has been made.
    const qint64 soakMs = qint64(options.durationSeconds() * 1000);
    runFor(soakMs / 5);
    const int rows0 = gridRows();
    const long polls0 = pollsDone();
    const long long heap0 = heapInUse();
    runFor(soakMs - soakMs / 5);
    starter.stop();
    soak.elapsed = clock.nsecsElapsed() / 1e9;
    soak.threadCpu = cpuSeconds(CLOCK_THREAD_CPUTIME_ID) - thread0;
    soak.processCpu = processCpuSeconds() - process0;
    soak.lineSeconds = watch.lineSeconds() - line0;
    soak.heapGrowth = heapInUse() - heap0;
    soak.rowsAdded = gridRows() - rows0;
    soak.pollsMeasured = pollsDone() - polls0;
    QObject::disconnect(counting);
    QObject::disconnect(countingSleeps);
    soak.wakeUps = wakeUps;
    soak.sleeps = sleeps;
    if (const auto simulator1 = watch.simulatorCpuSeconds(); simulator0 && simulator1)
        soak.simulatorCpu = *simulator1 - *simulator0;

    QElapsedTimer stopClock;
    stopClock.start();
    soak.stopFinished = stopAll(windows, 60'000);
    soak.stopSeconds = stopClock.nsecsElapsed() / 1e9;

    for (std::size_t i = 0; i < windows.size(); ++i) {
        ExpController *c = windows[i]->controller();
        WindowFigures f = windowFigures(before[i], c->counters(), soak.elapsed);
        f.presses = starter.presses(i);
        f.pressesWithoutRows = starter.pressesWithoutRows(i);
        phase.figures.push_back(f);
        lines[quint8(kFirstAddress + i)] += runLines(c->dataFile().dataFile());
        rampSpeeds[quint8(kFirstAddress + i)] += speedsFromRamp(c->dataFile().dataFile());
    }
    main.reset();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return phase;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QString error;
    const std::optional<Options> parsed = parseOptions(app.arguments(), &error);
    if (!parsed) {
        std::fprintf(stderr, "experiment_bench: %s\n", qPrintable(error));
        return 1;
    }
    const Options &options = *parsed;

    QTemporaryDir temporary;
    const QString folder = options.keep.isEmpty() ? temporary.path() : options.keep;
    QDir().mkpath(folder);
    // The windows would append to data files of an earlier run, whose rows
    // the comparison would then take for this run's.
    if (!QDir(folder).entryList({QStringLiteral("device*.csv")}, QDir::Files).isEmpty()) {
        std::fprintf(stderr, "experiment_bench: %s already holds data files; give an empty folder\n",
                     qPrintable(folder));
        return 1;
    }
    strDataPath = folder;
    // The plot's check box is remembered in the settings store: the bench's
    // choices stay in its own, never the user's.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, folder);
    strDevIniPath = QDir(folder).filePath(QStringLiteral("device.ini"));
    auto ownedPrompter = std::make_unique<BenchPrompter>(folder);
    const BenchPrompter &prompts = *ownedPrompter;
    setPrompter(std::move(ownedPrompter));

    sim::SimConfig config; // devices 128..131, firmware 2.20, 2 ms latency
    config.timeScale = options.scale;
    config.wireTiming = true;
    config.scenario = sim::Scenario::random(options.seed);
    config.faultRates = options.faults;
    config.faultSeed = options.seed;
    sim::SimulatorHost simulator(config);
    LineWatch watch;
    watch.setLatencyMs(config.latencyMs);
    watch.attach(simulator);
    if (!simulator.start(&error)) {
        std::fprintf(stderr, "the simulator could not start: %s\n", qPrintable(error));
        return 1;
    }
    registerExtraPort(simulator.portPath(), PortPlacement::First);
    strCommPort = simulator.portPath();
    for (int n = 1; n <= kMaxWindows; ++n) {
        Devices[n].intDevType = kDevTypeVelorix5;
        Devices[n].bytBusAddr = quint8(kFirstAddress + n - 1);
        Devices[n].sngVersion = 2.2f;
    }

    std::vector<Phase> phases;
    std::map<quint8, QStringList> lines;
    std::map<quint8, int> rampSpeeds;
    int mostWindows = 0;
    for (const int count : options.windowCounts) {
        for (const bool plotShown : options.plotModes) {
            const std::optional<Phase> phase = runPhase(count, plotShown, options, watch, lines, rampSpeeds);
            if (!phase)
                return 1;
            phases.push_back(*phase);
        }
        mostWindows = std::max(mostWindows, count);
    }

    const auto truth = simulator.groundTruth();
    std::vector<Tally> tallies;
    for (int i = 0; i < mostWindows; ++i) {
        const quint8 address = quint8(kFirstAddress + i);
        tallies.push_back(compareDevice(lines[address], truth, address, watch, options.scale));
        tallies.back().fromRamp = rampSpeeds[address];
    }
    printSummary(options, phases, tallies, watch, prompts);
    std::fflush(stdout);
    const bool allRight
            = std::all_of(tallies.begin(), tallies.end(), [](const Tally &t) { return t.allRight(); });
    const bool stopsFinished
            = std::all_of(phases.begin(), phases.end(), [](const Phase &p) { return p.soak.stopFinished; });
    clearExtraPorts();
    setPrompter(nullptr);
    return allRight && stopsFinished ? 0 : 2;
}
