#pragma once

// The simulated bus behind the program's link for the maintenance tests.
// An address where no device sits answers at once with a garbled frame, so
// that a sweep of 112 addresses need not wait out a time-out at each.
// Also firmware files to flash, for the core's tests and the windows'.

#include "filekit.h"
#include "memoryport.h"
#include "recordingprompter.h"
#include "simkit.h"

#include "protocol/multidevmod.h"
#include "protocol/multivelorix.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace velorix::testing {

// A firmware file: `dataRecords` records of 16 bytes, then the end record.
inline QByteArray firmware(int dataRecords, const QByteArray &lineEnd = "\r\n")
{
    QByteArray text;
    for (int i = 0; i < dataRecords; ++i)
        text += hexRecord(0, 16 * i, QByteArray(16, char(i))) + lineEnd;
    return text + ":00000001FF" + lineEnd;
}

// Firmware files in a folder of their own.
struct HexFiles
{
    QString file(const QByteArray &contents)
    {
        QString path = dir.filePath(QStringLiteral("f%1.hex").arg(++count));
        EXPECT_TRUE(writeFile(path, contents));
        return path;
    }

    QTemporaryDir dir;
    int count = 0;
};

// Set up before the test's protocol objects, which open the shared link
// with the port component in place at that moment.
struct SimulatedBusBehindLink
{
    explicit SimulatedBusBehindLink(std::optional<int> newFirmware)
    {
        rig.config.newFirmwareVersion = newFirmware;
        peer = rig.attach();
        const auto simulated = peer->answer;
        peer->answer = [this, simulated](const ByteBuffer &request) {
            ByteBuffer reply = simulated(request);
            if (reply.empty() && garbleAbsent && request[0] != 255)
                reply.assign(10, 0xEE);
            return reply;
        };
        setSerialBackendFactory(memoryPorts(peer));
    }
    ~SimulatedBusBehindLink() { setSerialBackendFactory(nullptr); }

    SimRig rig;
    std::shared_ptr<PortPeer> peer;
    bool garbleAbsent = true;
};

class MaintenanceTest : public ::testing::Test, protected SimulatedBusBehindLink
{
protected:
    explicit MaintenanceTest(std::optional<int> newFirmware = std::nullopt)
        : SimulatedBusBehindLink(newFirmware)
    {
        EXPECT_TRUE(device.CommPort(QStringLiteral("SIM")));
    }
    ~MaintenanceTest() override
    {
        // Sessions of closed windows go at the next turn of the event loop;
        // they hold the shared link, which must not outlive this bus.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        setPrompter(nullptr);
    }

    // The codes sent to `address`, a bus reset as -16, in order.
    [[nodiscard]] std::vector<int> traffic(quint8 address) const
    {
        std::vector<int> codes;
        for (const ByteBuffer &request : peer->written) {
            if (request[0] == address || request[0] == 255)
                codes.push_back(request[0] == 255 ? -request[1] : request[1]);
        }
        return codes;
    }

    multiVelorix device;
    RecordingPrompter *prompts = RecordingPrompter::install();
};

} // namespace velorix::testing
