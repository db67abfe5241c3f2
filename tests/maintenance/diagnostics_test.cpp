// A diagnostics session on a simulated device: identification with the
// option bits, the set-up download, the tick's reads and captions, the
// stop that resets the device at the next tick, and a tick that waits for
// its turn at a link another window holds.

#include "maintenance/core/diagnostics.h"

#include "maintenancerig.h"

#include "base/delay.h"
#include "protocol/resultcodes.h"

#include <QElapsedTimer>

using namespace velorix;
using namespace velorix::testing;

namespace {

class DiagnosticsTest : public MaintenanceTest
{
protected:
    DiagnosticsTest()
    {
        garbleAbsent = false;
        EXPECT_TRUE(session.openPort(QStringLiteral("SIM"), nullptr));
        session.setAddress(130);
    }
    // Pauses short enough for a test, the first tick long enough to call it by hand.
    DiagnosticsSession session{DiagnosticsPacing{60'000, 60'000, 1, 1, 1}};
};

TEST_F(DiagnosticsTest, IdentificationReadsTheOptionBitsAndDirection)
{
    rig.poke(130, 41, 17);
    rig.poke(130, 46, 1);
    session.identify();
    EXPECT_EQ(session.view().txtDisplay, "Velorix-5 Detected, Product #0254, Version 02.20");
    EXPECT_EQ(QList<int>({session.record().bytExpOptions, session.record().bytDirection}),
              QList<int>({17, 1}));
    EXPECT_EQ(rig.codesSent(130), (std::vector<int>{17, 23, 23}));

    session.setAddress(200);
    session.identify();
    EXPECT_EQ(session.view().txtDisplay, "ERROR: NO DEVICE PRESENT AT ADDRESS 200");
}

TEST_F(DiagnosticsTest, DownloadWritesTheSetupAndSaveSetupResets)
{
    EXPECT_EQ(session.packSetup({"40.0", "60", "1.5", "2", true}), QString());
    session.download();
    EXPECT_EQ(std::vector<int>({rig.peek(130, 34), rig.peek(130, 35), rig.peek(130, 38), rig.peek(130, 40),
                                rig.peek(130, 46)}),
              std::vector<int>({144, 1, 15, 20, 1}));
    EXPECT_FALSE(session.packSetup({"abc", "60", "1.5", "2", false}).isEmpty());
    EXPECT_EQ(session.packSetup({"1", "0,5", "1.5", "2", false}),
              "Stop Speed must be from 0.0 to 3276.7 cm/s.\nStop Speed: use a decimal point, as in 0.5");
    EXPECT_EQ(session.record().intStartSpeed, 400); // a refused set-up changes nothing

    session.packOptions(true, true, false);
    session.saveSetup();
    EXPECT_EQ(rig.peek(130, 41) & 0x11, 0x11);
    EXPECT_EQ(rig.codesSent(130).back(), 16);

    rig.poke(130, 36, 0x58);
    rig.poke(130, 37, 0x02);
    session.upload();
    EXPECT_EQ(session.shownSetup().endSpeed, "60.0");
    EXPECT_EQ(session.record().intEndSpeed, 600);
}

TEST_F(DiagnosticsTest, TheTickReadsInOrderStopDiagResetsAtTheNextTickAndClosingInsideATickWaitEndsItQuietly)
{
    session.startDiag();
    EXPECT_EQ(session.view().txtDisplay, "successful");
    EXPECT_TRUE(session.isPolling());
    session.speedUp();
    EXPECT_EQ(session.view().txtDisplay, "READ successful");
    EXPECT_EQ(rig.codesSent(130).back(), 85); // the step, then the speed read
    session.startChannel(2);
    rig.advance(1.0);
    const std::size_t before = rig.codesSent(130).size();
    session.tick();
    std::vector<int> codes = rig.codesSent(130);
    EXPECT_EQ(std::vector<int>(codes.begin() + long(before), codes.end()), (std::vector<int>{82, 85, 96}));
    EXPECT_EQ(session.view().txtDisplay, "READ successful");
    EXPECT_EQ(QStringList({session.view().channelCaption[0], session.view().channelCaption[2]}),
              QStringList({"Channel 1", "Ch3 Running"}));

    // A failed command is what "Stop Diag" shows; the reset waits for the tick.
    session.setAddress(200);
    session.startChannel(0);
    session.stopDiag();
    EXPECT_EQ(session.view().txtDisplay, "Error #1005");
    session.setAddress(130);
    EXPECT_NE(rig.codesSent(130).back(), 16);
    session.tick();
    EXPECT_EQ(rig.codesSent(130).back(), 16);
    EXPECT_FALSE(session.isPolling());
    // Reset, the device runs nothing: no channel is shown running, no speed.
    EXPECT_EQ(session.view().channelCaption[2], QStringLiteral("Start"));
    EXPECT_EQ(session.view().chSpeed[2], QString());
    EXPECT_EQ(session.view().txtspeed, QStringLiteral("00.0"));

    // A window closed while its tick waits between two reads.
    DiagnosticsSession *slow = new DiagnosticsSession(DiagnosticsPacing{60'000, 60'000, 50, 1, 1});
    ASSERT_TRUE(slow->openPort(QStringLiteral("SIM"), nullptr));
    slow->setAddress(130);
    QTimer::singleShot(10, [slow] {
        slow->tick(); // a second tick inside the first does nothing
        slow->unload();
        slow->deleteLater();
    });
    const std::size_t sent = peer->written.size();
    slow->tick();
    EXPECT_EQ(peer->written.size(), sent + 1); // the sensors only
    Delay(20);
}

// Another window asks a device that is not there and holds the link for the
// time-out; the tick that falls due meanwhile is put off, not failed as
// busy, and reads in full once the link is free.
TEST_F(DiagnosticsTest, ATickDueWhileAnotherWindowHoldsTheLinkWaitsForItsTurn)
{
    session.startDiag();
    const std::size_t before = rig.codesSent(130).size();
    QTimer::singleShot(10, [this] { session.tick(); });
    ByteBuffer speed(2);
    EXPECT_EQ(device.Read_Speed(200, speed), rc::NoReply);
    EXPECT_EQ(session.phase(), DiagnosticsSession::Phase::AwaitingTurn);
    EXPECT_EQ(rig.codesSent(130).size(), before);
    QElapsedTimer clock;
    clock.start();
    while (session.phase() != DiagnosticsSession::Phase::Polling && clock.elapsed() < 2000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    const std::vector<int> codes = rig.codesSent(130);
    EXPECT_EQ(std::vector<int>(codes.begin() + long(before), codes.end()), (std::vector<int>{82, 85, 96}));
    EXPECT_EQ(session.lastResult(), rc::Ok);
    EXPECT_EQ(session.view().txtDisplay, "READ successful");
}

} // namespace
