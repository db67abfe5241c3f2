// How long the device addresser's search and a firmware transfer take
// against the simulator on a pseudo-terminal with wire timing on (19200
// baud, 2 ms device latency), beside what the bus and the pauses allow.
// Run by hand: maintenance_bench [lines], default 1456 lines of firmware.

#include "link/portlist.h"
#include "maintenance/core/addresser.h"
#include "maintenance/core/firmwareflash.h"
#include "protocol/commandtable.h"
#include "protocol/multivelorix.h"
#include "simulator/simulatorhost.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

namespace {

using namespace velorix;

// Ten bits a byte at 19200 baud.
constexpr double kByteMs = 10.0 * 1000.0 / 19200.0;
constexpr double kLatencyMs = 2.0;

QByteArray record(int address)
{
    QByteArray bytes;
    bytes.append(char(16)).append(char(address >> 8)).append(char(address & 0xFF)).append(char(0));
    bytes.append(QByteArray(16, char(address & 0x7F)));
    int sum = 0;
    for (const char byte : bytes)
        sum += quint8(byte);
    bytes.append(char((256 - sum % 256) % 256));
    return ':' + bytes.toHex().toUpper();
}

double searchSeconds(multiVelorix &device, int *found)
{
    QElapsedTimer clock;
    clock.start();
    *found = int(searchBus(device, SearchView{}).size());
    return clock.elapsed() / 1000.0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int lines = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1456;

    sim::SimConfig config; // wire timing on, 2 ms latency, devices 128..131
    config.newFirmwareVersion = 230;
    sim::SimulatorHost host(config);
    QString error;
    if (!host.start(&error)) {
        std::fprintf(stderr, "simulator: %s\n", qPrintable(error));
        return 1;
    }
    registerExtraPort(host.portPath());
    multiVelorix device;
    if (!device.CommPort(host.portPath())) {
        std::fprintf(stderr, "cannot open %s\n", qPrintable(host.portPath()));
        return 1;
    }

    const int addresses = kLastBusAddress - kFirstBusAddress + 1;
    const double answerMs = 3 * kByteMs + kLatencyMs + 10 * kByteMs;
    const double silentMs = 3 * kByteMs + commands::ReturnID.timeoutMs;
    int found = 0;
    double seconds = searchSeconds(device, &found);
    std::printf("search 128..239, %d devices answer: %.1f s (bus: %.1f s with %d answering)\n", found,
                seconds, (found * answerMs + (addresses - found) * silentMs) / 1000.0, found);
    for (quint8 address = 128; address <= 131; ++address)
        host.setDevicePresent(address, false);
    seconds = searchSeconds(device, &found);
    std::printf("search 128..239, none answers:   %.1f s (bus: %.1f s)\n", seconds,
                addresses * silentMs / 1000.0);
    host.setDevicePresent(130, true);

    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("firmware.hex"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return 1;
    for (int i = 0; i < lines - 1; ++i)
        file.write(record(16 * i) + "\r\n");
    file.write(":00000001FF\r\n");
    file.close();

    FlashView view;
    view.showText = [](const QString &) {};
    view.showPercent = [](const QString &) {};
    view.beep = [] {};
    const FlashPacing pacing;
    QElapsedTimer clock;
    clock.start();
    FirmwareFlash(device, view, pacing).flash(path, 130);
    const double lineMs = (record(0).size() + 2) * kByteMs + kLatencyMs + 3 * kByteMs;
    const double pausesMs = pacing.afterModeSwitchMs + 2 * pacing.afterResetMs + pacing.beforeFinalResetMs
            + pacing.afterFinalResetMs;
    QString identity;
    const bool answered = device.ReturnID(130, identity) == 0;
    std::printf("flash %d lines: %.1f s (line pauses and wire %.1f s, other pauses %.1f s); "
                "device answers %s\n",
                lines, clock.elapsed() / 1000.0, lines * (pacing.afterLineMs + lineMs) / 1000.0,
                pausesMs / 1000.0, answered ? qPrintable(identity) : "nothing");
    return 0;
}
