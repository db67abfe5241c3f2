// How long one spoilt reply keeps the shared line from useful work, per
// fault kind, against the least the line allows. Polls as the experiment
// windows do (Read_ROT_Times, Read_ROT_Speed, Read_Sensor, Read_Speed,
// Read_Times to each of four devices in turn) against the simulator with
// wire timing on and 2 ms of device latency; first without faults, which
// gives each command's clean exchange time, then once per kind with that
// fault put on every tenth Read_Times reply.
//
//   fault_cost_bench [--rounds N]      (default 40 rounds of 20 exchanges)
//
// "held" is the spoilt exchange's own time and what the exchange after it
// took beyond its command's clean time (a late reply comes then): what
// the fault cost the line.
// "least" is what it must cost: a reply that never comes or comes late, the
// command's time-out and a few byte times of a quiet line; a whole reply
// that is wrong (checksum, address), its bytes; the 3-byte refusal, its
// bytes; a split reply, its bytes and the gaps between its pieces; stray
// bytes, theirs and the reply's.

#include "link/portlist.h"
#include "protocol/commandtable.h"
#include "protocol/multivelorix.h"
#include "protocol/resultcodes.h"
#include "simulator/simulatorhost.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <array>
#include <cstdio>
#include <cstring>
#include <map>

using namespace velorix;
namespace cmd = velorix::commands;

namespace {

constexpr double kByteMs = 10.0 * 1000.0 / 19200.0; // 10 bits a byte at 19200 baud
constexpr double kLatencyMs = 2.0;
constexpr int kFaultEvery = 10; // every tenth Read_Times

using Reader = std::int16_t (multiVelorix::*)(std::uint8_t, ByteBuffer &);
struct PollCommand
{
    const cmd::Command *command;
    Reader read;
};
const std::array<PollCommand, 5> kPoll{{
        {&cmd::Read_ROT_Times, &multiVelorix::Read_ROT_Times},
        {&cmd::Read_ROT_Speed, &multiVelorix::Read_ROT_Speed},
        {&cmd::Read_Sensor, &multiVelorix::Read_Sensor},
        {&cmd::Read_Speed, &multiVelorix::Read_Speed},
        {&cmd::Read_Times, &multiVelorix::Read_Times},
}};
constexpr std::array<std::uint8_t, 4> kAddresses{128, 129, 130, 131};

struct Run
{
    std::map<const cmd::Command *, double> ms; // time of the clean exchanges, per command
    std::map<const cmd::Command *, int> count; // and how many
    int faults = 0;
    int failed = 0;
    double faultedMs = 0; // the spoilt exchanges' own time
    double afterMs = 0;   // the exchange after each, less its command's clean time
};

// `clean`, when given, holds each command's clean mean time.
Run poll(multiVelorix &device, sim::SimulatorHost &sim, int rounds, std::optional<sim::FaultKind> fault,
         const std::map<const cmd::Command *, double> &cleanMean = {})
{
    Run run;
    ByteBuffer body;
    int timesReads = 0;
    bool afterFault = false;
    QElapsedTimer clock;
    clock.start();
    for (int round = 0; round < rounds; ++round) {
        for (const std::uint8_t address : kAddresses) {
            for (const PollCommand &p : kPoll) {
                const bool faulted
                        = fault && p.command == &cmd::Read_Times && ++timesReads % kFaultEvery == 0;
                if (faulted) {
                    sim.injectFault(address, p.command->code, *fault, 1);
                    ++run.faults;
                }
                const qint64 before = clock.nsecsElapsed();
                const bool good = (device.*p.read)(address, body) == rc::Ok;
                const double ms = double(clock.nsecsElapsed() - before) / 1e6;
                if (!good)
                    ++run.failed;
                if (faulted) {
                    run.faultedMs += ms;
                } else if (afterFault) {
                    const auto mean = cleanMean.find(p.command);
                    run.afterMs += ms - (mean == cleanMean.end() ? 0.0 : mean->second);
                } else if (good) {
                    run.ms[p.command] += ms;
                    ++run.count[p.command];
                }
                afterFault = faulted;
            }
        }
    }
    return run;
}

double leastMs(sim::FaultKind kind)
{
    const cmd::Command &c = cmd::Read_Times;
    const double request = c.requestLength * kByteMs;
    const double clean = request + kLatencyMs + c.replyLength * kByteMs;
    const double quiet = 3 * kByteMs;
    switch (kind) {
    case sim::FaultKind::NoReply:
    case sim::FaultKind::Late: return c.timeoutMs + quiet;
    case sim::FaultKind::BadChecksum:
    case sim::FaultKind::WrongAddress: return clean;
    case sim::FaultKind::Nak: return request + kLatencyMs + 3 * kByteMs;
    case sim::FaultKind::Split: {
        // Two or three pieces, as often; gaps of a quarter of the time-out
        // shared among the pieces, 1 to 15 ms each (the simulator's rule).
        const auto gap = [](int pieces) {
            return std::clamp(cmd::Read_Times.timeoutMs / (4.0 * pieces), 1.0, 15.0);
        };
        return clean + (gap(2) + 2 * gap(3)) / 2;
    }
    case sim::FaultKind::Stray: return clean + 2 * kByteMs; // two stray bytes on average
    case sim::FaultKind::FlashWriteFailure: break;
    }
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    int rounds = 40;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--rounds") == 0)
            rounds = std::max(5, std::atoi(argv[i + 1]));
    }

    sim::SimConfig config;
    config.wireTiming = true;
    config.latencyMs = kLatencyMs;
    sim::SimulatorHost sim(config);
    QString error;
    if (!sim.start(&error)) {
        std::fprintf(stderr, "simulator: %s\n", qPrintable(error));
        return 1;
    }
    registerExtraPort(sim.portPath());
    multiVelorix device;
    if (!device.CommPort(sim.portPath())) {
        std::fprintf(stderr, "cannot open %s\n", qPrintable(sim.portPath()));
        return 1;
    }

    // Each command's clean time, from a run in which the five take turns.
    const Run clean = poll(device, sim, rounds, std::nullopt);
    if (clean.failed > 0) {
        std::fprintf(stderr, "%d exchanges failed without faults\n", clean.failed);
        return 1;
    }
    std::map<const cmd::Command *, double> cleanMean;
    for (const auto &[command, ms] : clean.ms)
        cleanMean[command] = ms / clean.count.at(command);
    std::printf("clean Read_Times: %.1f ms (its bytes and the latency: %.1f ms)\n",
                cleanMean[&cmd::Read_Times],
                (cmd::Read_Times.requestLength + cmd::Read_Times.replyLength) * kByteMs + kLatencyMs);
    std::printf("%-14s %9s %12s %9s %9s %7s %13s\n", "fault", "own ms", "+ next's ms", "held ms", "least ms",
                "ratio", "failed/fault");

    for (const sim::FaultKind kind :
         {sim::FaultKind::NoReply, sim::FaultKind::BadChecksum, sim::FaultKind::WrongAddress,
          sim::FaultKind::Nak, sim::FaultKind::Late, sim::FaultKind::Split, sim::FaultKind::Stray}) {
        const Run run = poll(device, sim, rounds, kind, cleanMean);
        const double own = run.faultedMs / run.faults;
        const double next = run.afterMs / run.faults;
        std::printf("%-14s %9.1f %12.1f %9.1f %9.1f %7.2f %13.2f\n", qPrintable(sim::faultName(kind)), own,
                    next, own + next, leastMs(kind), (own + next) / leastMs(kind),
                    double(run.failed) / run.faults);
    }
    sim.stop();
    return 0;
}
