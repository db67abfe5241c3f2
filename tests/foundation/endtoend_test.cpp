// The protocol through QSerialPort and a real pseudo-terminal against the
// simulated devices: every command, line faults, and a pulled cable.

#include "base/delay.h"
#include "link/portlist.h"
#include "protocol/resultcodes.h"
#include "protocol/multidevmod.h"
#include "protocol/multivelorix.h"
#include "simulator/simulatorhost.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <gtest/gtest.h>

#include <memory>

using namespace velorix;
using velorix::sim::FaultKind;

namespace {

constexpr std::uint8_t A = 130;

class EndToEndTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        sim::SimConfig config;
        config.wireTiming = true;
        config.timeScale = 20;
        config.devices = {{128, 220}, {A, 220}, {131, 205}};
        host = std::make_unique<sim::SimulatorHost>(config);
        QString error;
        ASSERT_TRUE(host->start(&error)) << error.toStdString();
        registerExtraPort(host->portPath());
        device = std::make_unique<multiVelorix>();
        ASSERT_TRUE(device->CommPort(host->portPath()));
    }
    void TearDown() override
    {
        device.reset();
        host.reset();
    }

    std::unique_ptr<sim::SimulatorHost> host;
    std::unique_ptr<multiVelorix> device;
};

TEST_F(EndToEndTest, EveryCommandIsUnderstoodByTheDevice)
{
    using D = multiVelorix;
    for (auto command : {&D::clear, &D::Start_Diag, &D::Inc_Speed, &D::Dec_Speed, &D::Stop_Diag,
                         &D::Start_Exp, &D::Start_ALL, &D::Start_CH1, &D::Start_CH2, &D::Start_CH3,
                         &D::Start_CH4, &D::PurgeON, &D::PurgeOFF, &D::Stop_Exp, &D::CalModeON,
                         &D::CalModeOFF})
        EXPECT_EQ((device.get()->*command)(A), rc::Ok);

    ByteBuffer body;
    for (auto [command, length] : std::initializer_list<std::pair<std::int16_t (D::*)(std::uint8_t, ByteBuffer &), std::size_t>>{
             {&D::Read_Sensor, 4}, {&D::Read_Times, 11}, {&D::Read_ROT_Times, 9},
             {&D::Read_ROT_Speed, 8}, {&D::Read_Speed, 2}, {&D::ReadClear, 16},
             {&D::Read, 16}, {&D::ReSend, 16}}) {
        body.clear();
        EXPECT_EQ((device.get()->*command)(A, body), rc::Ok);
        EXPECT_EQ(body.size(), length);
    }

    EXPECT_EQ(device->PumpSelect(A, 3, 200), rc::Ok);
    EXPECT_EQ(device->WriteMem(A, 34, 50), rc::Ok);
    EXPECT_EQ(device->ProgramMemLoc(A, 35, 1), rc::Ok);
    std::uint8_t value = 0;
    EXPECT_EQ(device->ReadMem(A, 34, value), rc::Ok);
    EXPECT_EQ(value, 50);
    EXPECT_EQ(device->ReadMem(A, 35, value), rc::Ok);
    EXPECT_EQ(value, 1);
    ByteBuffer constants;
    EXPECT_EQ(device->GetCalConstants(A, constants), rc::Ok);
    EXPECT_EQ(constants.size(), 8u);
    EXPECT_EQ(device->SetGroupID(A, 240), rc::Ok);

    QString id;
    EXPECT_EQ(device->ReturnID(131, id), rc::Ok);
    EXPECT_EQ(id, QStringLiteral("02540205"));
    EXPECT_EQ(device->Reset(A), rc::Ok);
    EXPECT_EQ(device->BusRESET(), rc::Ok);
    id.clear();
    EXPECT_EQ(device->ReturnID(A, id), rc::Ok);
    EXPECT_EQ(device->ReturnID(200, id), rc::NoReply); // nobody there
    EXPECT_EQ(device->Program(A), rc::Ok);
}

TEST_F(EndToEndTest, NewBusAddressTakesEffectAfterTheReply)
{
    EXPECT_EQ(device->ProgramAddr(A, 140), rc::Ok); // the reply still came from 130
    QString id;
    EXPECT_EQ(device->ReturnID(A, id), rc::NoReply);
    EXPECT_EQ(device->ReturnID(140, id), rc::Ok);
}

TEST_F(EndToEndTest, LineFaultsGiveTheirCodes)
{
    const auto faulty = [this](FaultKind kind) {
        host->injectFault(A, 0x70, kind, 1);
        const std::int16_t result = device->Start_Exp(A);
        // Let whatever else the line carries land: the next request discards it.
        Delay(250);
        return result;
    };
    EXPECT_EQ(faulty(FaultKind::NoReply), rc::NoReply);
    EXPECT_EQ(faulty(FaultKind::BadChecksum), rc::BadChecksum);
    EXPECT_EQ(faulty(FaultKind::WrongAddress), rc::BadReply);
    EXPECT_EQ(faulty(FaultKind::Nak), rc::BadReply);
    EXPECT_EQ(faulty(FaultKind::Late), rc::NoReply);
    EXPECT_EQ(faulty(FaultKind::Split), rc::Ok);
    EXPECT_EQ(faulty(FaultKind::Stray), rc::BadReply);
    // A late reply arrived after its exchange gave up; the next exchange
    // discards it and is judged on its own reply.
    EXPECT_EQ(device->Start_Exp(A), rc::Ok);
}

TEST_F(EndToEndTest, FirmwareRecordsInProgramMode)
{
    ASSERT_EQ(device->WriteMem(A, 18, 19), rc::Ok);
    ASSERT_EQ(device->Reset(A), rc::Ok);
    Delay(100); // as the flash routine does: the device restarts into its loader
    EXPECT_EQ(device->ProgramData(QStringLiteral(":020000040000FA"), A), rc::Ok);            // S
    EXPECT_EQ(device->ProgramData(QStringLiteral(":0400000001020304F2"), A), rc::Ok);        // L
    EXPECT_EQ(device->ProgramData(QStringLiteral(":0400000001020304F3"), A), rc::RecordRefused); // C four times
    host->injectFault(A, sim::kAnyCode, FaultKind::FlashWriteFailure, 2);
    EXPECT_EQ(device->ProgramData(QStringLiteral(":0400040005060708DE"), A), rc::Ok);        // F, F, then L
    EXPECT_EQ(device->ProgramData(QStringLiteral(":00000001FF"), A), rc::Ok);                // H
}

TEST_F(EndToEndTest, TwoProtocolObjectsShareOnePort)
{
    auto second = std::make_unique<multiVelorix>();
    EXPECT_EQ(intDevObjCount, 2);
    QString id;
    EXPECT_EQ(second->ReturnID(128, id), rc::Ok);
    second.reset();
    EXPECT_TRUE(objComm->PortStatus()); // still open for the first
    EXPECT_EQ(device->ReturnID(128, id), rc::Ok);
    device.reset();
    EXPECT_EQ(objComm, nullptr); // the last one closed it
}

TEST_F(EndToEndTest, PulledCableMidExchangeNeverCrashes)
{
    host->injectFault(A, 0x60, FaultKind::Late, 1); // keeps the exchange waiting
    QTimer::singleShot(20, [this] { host->unplug(); });
    ByteBuffer body;
    const std::int16_t result = device->Read_Times(A, body);
    EXPECT_TRUE(result == rc::SerialError || result == rc::NoReply) << result;
    EXPECT_FALSE(objComm->CommBusy());
    EXPECT_EQ(device->Read_Times(A, body), rc::SerialError);

    // Plugged in again at the same link: the link reopens the port by itself.
    ASSERT_TRUE(host->replug());
    QElapsedTimer clock;
    clock.start();
    std::int16_t again = rc::SerialError;
    while (again != rc::Ok && clock.elapsed() < 2000)
        again = device->Read_Times(A, body);
    EXPECT_EQ(again, rc::Ok);
}

TEST_F(EndToEndTest, BusyFromATimerCostsOneExchangeNotTheRunningOne)
{
    std::int16_t inner = -99;
    QTimer::singleShot(1, [&] {
        ByteBuffer b;
        inner = device->Read_Sensor(128, b);
    });
    host->injectFault(A, 0x60, FaultKind::Split, 1); // a slow, whole reply
    ByteBuffer body;
    EXPECT_EQ(device->Read_Times(A, body), rc::Ok);
    EXPECT_EQ(inner, rc::Busy);
    EXPECT_EQ(device->Read_Sensor(128, body), rc::Ok);
}

} // namespace
