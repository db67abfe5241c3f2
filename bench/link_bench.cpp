// How fast the link and the protocol carry exchanges, against the simulator
// on a pseudo-terminal with wire timing off, next to a bare QSerialPort
// write-and-read loop on the same terminal in the same run: exchanges per
// second, CPU and heap allocations per exchange, without device latency and
// with the simulator's usual 2 ms; and what a Delay(1000) costs in CPU.
//
//   link_bench [exchanges]      (default 3000)
//
// Allocations are counted by this binary's own malloc family, which forwards
// to glibc's. A definition in the executable takes precedence over libc's for
// every shared library as well, so Qt's QByteArray and QObject allocations
// and libstdc++'s operator new (which calls malloc) are all counted. Only the
// calling thread counts, and only inside a timed loop: the simulator's thread
// is not counted. glibc only.

#include "base/delay.h"
#include "link/portlist.h"
#include "protocol/resultcodes.h"
#include "protocol/multivelorix.h"
#include "simulator/simulatorhost.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSerialPort>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>

extern "C" {
void *__libc_malloc(std::size_t size);
void *__libc_calloc(std::size_t count, std::size_t size);
void *__libc_realloc(void *pointer, std::size_t size);
void *__libc_memalign(std::size_t alignment, std::size_t size);
void __libc_free(void *pointer);
}

namespace {
// Local to the executable: initial TLS, no allocation on first use.
thread_local bool tCounting = false;
thread_local unsigned long tAllocations = 0;

inline void countAllocation()
{
    if (tCounting)
        ++tAllocations;
}
} // namespace

// The C library declares these with its own reserved parameter names (__ptr
// and the like), which a definition cannot repeat.
// NOLINTBEGIN(readability-inconsistent-declaration-parameter-name)
extern "C" {
void *malloc(std::size_t size)
{
    countAllocation();
    return __libc_malloc(size);
}
void *calloc(std::size_t count, std::size_t size)
{
    countAllocation();
    return __libc_calloc(count, size);
}
void *realloc(void *pointer, std::size_t size)
{
    countAllocation();
    return __libc_realloc(pointer, size);
}
void free(void *pointer)
{
    __libc_free(pointer);
}
void *aligned_alloc(std::size_t alignment, std::size_t size)
{
    countAllocation();
    return __libc_memalign(alignment, size);
}
void *memalign(std::size_t alignment, std::size_t size)
{
    countAllocation();
    return __libc_memalign(alignment, size);
}
int posix_memalign(void **out, std::size_t alignment, std::size_t size)
{
    countAllocation();
    void *pointer = __libc_memalign(alignment, size);
    if (!pointer)
        return ENOMEM;
    *out = pointer;
    return 0;
}
}
// NOLINTEND(readability-inconsistent-declaration-parameter-name)

namespace {

// Counts this thread's allocations from construction to stop().
class AllocationCount
{
public:
    AllocationCount() : m_start(tAllocations) { tCounting = true; }
    unsigned long stop()
    {
        tCounting = false;
        return tAllocations - m_start;
    }

private:
    unsigned long m_start;
};

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
    unsigned long allocations = 0;
    int failures = 0;
};

void report(const char *what, const Figures &f, int exchanges)
{
    std::printf("%-30s %7.0f exchanges/s  %6.1f us/exchange  %5.1f us CPU/exchange  "
                "%5.2f allocations/exchange  %d failed\n",
                what, exchanges / f.seconds, f.seconds * 1e6 / exchanges, f.cpuMs * 1e3 / exchanges,
                double(f.allocations) / exchanges, f.failures);
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
    AllocationCount allocations;
    for (int i = 0; i < exchanges; ++i) {
        if (device.Read_Times(128, body) != velorix::rc::Ok)
            ++f.failures;
    }
    f.allocations = allocations.stop();
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
    AllocationCount allocations;
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
    f.allocations = allocations.stop();
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

    // Without device latency the link's own cost stands out; with the
    // simulator's usual 2 ms the exchanges are paced as on a real bus.
    for (const double latencyMs : {0.0, 2.0}) {
        sim.setLatencyMs(latencyMs);
        std::printf("%d Read_Times exchanges (3-byte request, 13-byte reply), wire timing off, "
                    "%g ms device latency\n",
                    exchanges, latencyMs);
        // Interleaved rounds, so that a busy moment of the machine hits both.
        Figures program, bare;
        for (int round = 0; round < 3; ++round) {
            const Figures p = throughProtocol(port, exchanges / 3);
            const Figures b = bareSerialPort(port, exchanges / 3);
            for (auto [sum, part] : {std::pair{&program, &p}, std::pair{&bare, &b}}) {
                sum->seconds += part->seconds;
                sum->cpuMs += part->cpuMs;
                sum->allocations += part->allocations;
                sum->failures += part->failures;
            }
        }
        const int done = exchanges / 3 * 3;
        report("multiVelorix::Read_Times", program, done);
        report("bare QSerialPort write/read", bare, done);
        std::printf("program time per exchange / bare: %.2f, CPU per exchange / bare: %.2f\n",
                    program.seconds / bare.seconds, program.cpuMs / bare.cpuMs);
        std::printf("program overhead per exchange: %.1f us\n",
                    (program.seconds - bare.seconds) * 1e6 / done);
    }

    const double cpu = threadCpuMs();
    QElapsedTimer clock;
    clock.start();
    velorix::Delay(1000);
    std::printf("Delay(1000): %lld ms elapsed, %.2f ms CPU\n", clock.elapsed(), threadCpuMs() - cpu);
    sim.stop();
    return 0;
}
