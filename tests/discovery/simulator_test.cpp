// End to end on the in-process device simulator (Velorix-5 devices at
// 128..131, firmware 2.20) through the real serial port component, at the
// program's own pace.

#include "discovery/windows/frmcomsetup.h"
#include "discovery/windows/frmdevicescan.h"
#include "discoverytestkit.h"
#include "link/portlist.h"
#include "simulator/simulatorhost.h"

#include <QPointer>
#include <QTableWidget>

namespace velorix::testing {
namespace {

TEST_F(DiscoveryTest, OnTheSimulatorStartUpFindsThePortAndTheScansFindTheDevices)
{
    sim::SimulatorHost simulator;
    QString error;
    ASSERT_TRUE(simulator.start(&error)) << error.toStdString();
    registerExtraPort(simulator.portPath(), PortPlacement::First);
    setSerialBackendFactory({});

    configure(1, 130);
    bolPortSetup = true;
    QPointer<frmcomsetup> setup = new frmcomsetup;
    setup->load();
    EXPECT_TRUE(bolCommFound);
    EXPECT_EQ(strCommPort, simulator.portPath());
    setup->close();

    QPointer<frmdevicescan> scan = new frmdevicescan;
    QElapsedTimer clock;
    clock.start();
    scan->devicescan1();
    EXPECT_GE(clock.elapsed(), 1000 + 112 * 100); // the reset pause, one pause per address
    auto *grid = scan->findChild<QTableWidget *>(QStringLiteral("devgrid"));
    ASSERT_EQ(grid->rowCount(), 4);
    EXPECT_EQ(grid->item(3, 1)->text(), QStringLiteral("131 (0x83)"));
    for (int row = 0; row < 4; ++row) {
        EXPECT_EQ(grid->item(row, 3)->text(), QStringLiteral("2.20"));
        EXPECT_EQ(Devices[row + 1].bytBusAddr, 128 + row);
    }

    simulator.setDevicePresent(130, false);
    scan->devicescan();
    EXPECT_EQ(grid->item(1, 4)->text(), QStringLiteral("OK"));
    EXPECT_EQ(grid->item(2, 4)->text(), QStringLiteral("No-Resp"));
    delete scan.data();
    clearExtraPorts();
}

} // namespace
} // namespace velorix::testing
