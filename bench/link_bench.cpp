// How fast the link and the protocol carry exchanges, against the simulator
// on a pseudo-terminal with wire timing off, next to a bare QSerialPort
// write-and-read loop on the same terminal in the same run; and what a
// Delay(1000) costs in CPU.
//
//   link_bench [exchanges]      (default 3000)

#include "app/delay.h"
#include "link/portlist.h"
#include "link/resultcodes.h"
#include "protocol/multivelorix.h"
#include "simulator/simulatorhost.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSerialPort>

#include <cstdio>
#include <ctime>

namespace {

// CPU time of the calling thread: the simulator's thread is not counted.
double threadCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

struct Figures
{
    double seconds = 0;
    double cpuMs = 0;
    int failures = 0;
};

void report(const char *what, const Figures &f, int exchanges)
{
    std::printf("%-34s %8.0f exchanges/s  %7.1f us/exchange  %6.1f us CPU/exchange  %d failed\n",
                what, exchanges / f.seconds, f.seconds * 1e6 / exchanges,
                f.cpuMs * 1e3 / exchanges, f.failures);
}

Figures throughProtocol(const QString &port, int exchanges)
{
    velorix::multiVelorix device;
    if (!device.CommPort(port)) {
        std::fprintf(stderr, "cannot open %s\n", qPrintable(port));
        std::exit(1);
    }
    velorix::ByteBuffer body;
    Figures f;
    QElapsedTimer clock;
    const double cpu = threadCpuMs();
    clock.start();
    for (int i = 0; i < exchanges; ++i) {
        if (device.Read_Times(128, body) != velorix::rc::Ok)
            ++f.failures;
    }
    f.seconds = clock.nsecsElapsed() / 1e9;
    f.cpuMs = threadCpuMs() - cpu;
    return f;
}

Figures bareSerialPort(const QString &port, int exchanges)
{
    QSerialPort serial(port);
    if (!serial.open(QIODevice::ReadWrite)) {
        std::fprintf(stderr, "cannot open %s: %s\n", qPrintable(port), qPrintable(serial.errorString()));
        std::exit(1);
    }
    serial.setBaudRate(19200);
    const char request[] = {char(128), char(0x60), char(0xE0)};
    Figures f;
    QElapsedTimer clock;
    const double cpu = threadCpuMs();
    clock.start();
    for (int i = 0; i < exchanges; ++i) {
        serial.clear();
        serial.write(request, 3);
        serial.flush();
        QByteArray reply;
        while (reply.size() < 13 && serial.waitForReadyRead(100))
            reply += serial.readAll();
        if (reply.size() < 13)
            ++f.failures;
    }
    f.seconds = clock.nsecsElapsed() / 1e9;
    f.cpuMs = threadCpuMs() - cpu;
    return f;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int exchanges = argc > 1 ? std::max(100, std::atoi(argv[1])) : 3000;

    velorix::sim::SimConfig config;
    config.wireTiming = false;
    config.latencyMs = 0;
    velorix::sim::SimulatorHost sim(config);
    QString error;
    if (!sim.start(&error)) {
        std::fprintf(stderr, "simulator: %s\n", qPrintable(error));
        return 1;
    }
    const QString port = sim.portPath();
    velorix::registerExtraPort(port);

    std::printf("%d Read_Times exchanges (3-byte request, 13-byte reply), wire timing off\n", exchanges);
    // Interleaved rounds, so that a busy moment of the machine hits both.
    Figures program, bare;
    for (int round = 0; round < 3; ++round) {
        const Figures p = throughProtocol(port, exchanges / 3);
        const Figures b = bareSerialPort(port, exchanges / 3);
        program.seconds += p.seconds; program.cpuMs += p.cpuMs; program.failures += p.failures;
        bare.seconds += b.seconds; bare.cpuMs += b.cpuMs; bare.failures += b.failures;
    }
    const int done = exchanges / 3 * 3;
    report("multiVelorix::Read_Times", program, done);
    report("bare QSerialPort write/read", bare, done);
    std::printf("program time per exchange / bare: %.2f\n", program.seconds / bare.seconds);
    std::printf("program overhead per exchange: %.1f us\n", (program.seconds - bare.seconds) * 1e6 / done);

    const double cpu = threadCpuMs();
    QElapsedTimer clock;
    clock.start();
    velorix::Delay(1000);
    std::printf("Delay(1000): %lld ms elapsed, %.2f ms CPU\n", clock.elapsed(), threadCpuMs() - cpu);
    sim.stop();
    return 0;
}
