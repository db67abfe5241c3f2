// The bus scans: what each asks on the bus, what it writes into the device
// table and reports, the bus reset, the busy link (and the identity probe's
// patience with it), and a scan stopped midway.

#include "discoverytestkit.h"

#include "protocol/multivelorix.h"
#include "protocol/resultcodes.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <deque>
#include <utility>

namespace velorix::testing {
namespace {

const ByteBuffer kBusReset{255, 16, 15};

class BusScanTest : public DiscoveryTest
{
protected:
    void SetUp() override
    {
        DiscoveryTest::SetUp();
        strCommPort = QStringLiteral("COM2");
        scan->setPacing({5, 1, BusyRetry{5, 10}});
        record(scan.get());
    }
    std::shared_ptr<BusScan> scan = BusScan::create();
};

TEST_F(BusScanTest, ConfiguredScanRefreshesTheVelorix5RecordsThatAnswer)
{
    device(2, 200, "02540205");
    device(5, 201);
    device(6, 202, "03110100");
    device(9, 203, "02540300", 5); // another type: answers, nothing reported
    scan->start(BusScan::Kind::Configured);
    EXPECT_EQ(bus->identityRequests(), (std::vector<int>{200, 201, 202, 203}));
    EXPECT_EQ(logged("device"),
              (QStringList{"device 2 identified", "device 5 silent", "device 6 wrong product"}));
    EXPECT_EQ(logged("progress"),
              (QStringList{"progress 0", "progress 2", "progress 5", "progress 6", "progress 9"}));
    EXPECT_EQ(log.mid(log.size() - 4),
              (QStringList{"status Scanning Device Address#203", "progress 9", "status Scanning Complete.",
                           "finished"}));
    EXPECT_TRUE(Devices[2].bolPresent && Devices[2].strDevName == QStringLiteral("Velorix-5"));
    EXPECT_EQ(QList<float>({Devices[2].sngProdID, Devices[2].sngVersion, Devices[6].sngVersion,
                            Devices[9].sngVersion}),
              QList<float>({254, 2.05f, 1.5f, 1.5f}));

    // An empty table: nothing probed, no maximum for the bar. (That this
    // second scan runs at all shows the first one ended; that no port is
    // held between scans, the fixture's check at the end.)
    Devices = DeviceTable{};
    bus->written.clear();
    log.clear();
    scan->start(BusScan::Kind::Configured);
    EXPECT_EQ(bus->written, (std::vector<ByteBuffer>{kBusReset}));
    EXPECT_EQ(log,
              (QStringList{"started", "range 0 0", "progress 0", "cleared", "status Scanning Complete.",
                           "finished"}));
    // (The reset's check by the operator: the scan window's tests.)
}

TEST_F(BusScanTest, NewDeviceScanNumbersTheVelorix5DevicesByAddress)
{
    bus->garbleAbsent = true;
    for (int number = 0; number < kUsableDevices; ++number)
        configure(number, 128 + number);
    Devices[1].strLabel = QStringLiteral("Rack A");
    device(70, 150, "03110100");
    answer(130, "02540205");
    answer(200, "02540220");
    scan->setPacing({5, 2, BusyRetry{}});
    QElapsedTimer clock;
    clock.start();
    scan->start(BusScan::Kind::NewDevices);
    EXPECT_GE(clock.elapsed(), 112 * 2); // a pause after each address
    EXPECT_EQ(bus->written.front(), kBusReset);
    EXPECT_EQ(bus->identityRequests().size(), 112u);
    EXPECT_EQ(bus->identityRequests().back(), 239);
    EXPECT_EQ(logged("found"), (QStringList{"found 1", "found 2"}));
    EXPECT_EQ(log.mid(log.size() - 3),
              (QStringList{"progress 239", "status Scanning Complete.", "finished"}));
    EXPECT_EQ(QList<int>({Devices[1].bytBusAddr, Devices[2].bytBusAddr}), QList<int>({130, 200}));
    EXPECT_EQ(Devices[1].strLabel, QStringLiteral("Rack A")); // kept from the record's last owner
    EXPECT_FLOAT_EQ(Devices[2].sngVersion, 2.2f);
    for (int number = 3; number <= kUsableDevices; ++number)
        ASSERT_EQ(Devices[number % kUsableDevices].intDevType, -1) << number; // 3..63 and 0
    EXPECT_EQ(Devices[70].intDevType, kDevTypeVelorix5);                      // beyond the scan's records

    scan->setPacing({5, 1, BusyRetry{}}); // more Velorix-5 devices than records: the rest are reported
    for (const auto &[devices, notTaken] : {std::pair{64, "1 device"}, std::pair{70, "7 devices"}}) {
        bus->identities.clear();
        for (int address = 128; address < 128 + devices; ++address)
            answer(static_cast<std::uint8_t>(address), "02540220");
        log.clear();
        scan->start(BusScan::Kind::NewDevices);
        EXPECT_EQ(logged("found").size(), 63);
        EXPECT_EQ(Devices[63].bytBusAddr, 190);
        EXPECT_EQ(
                logged("status").back(),
                QStringLiteral("status Scanning Complete. %1 not taken: the table holds 63.").arg(notTaken));
    }
}

TEST_F(BusScanTest, ScanAskedForInsideAnotherExchangeWaitsForTheLink)
{
    device(1, 200, "02540205");
    answer(131, "02540220");
    bus->onRequest = [this](const ByteBuffer &request) { bus->replyDelayMs = request[0] == 131 ? 60 : 0; };
    bool returnedAtOnce = false;
    QTimer::singleShot(20, [&] {
        scan->start(BusScan::Kind::Configured);
        returnedAtOnce = scan->isScanning() && bus->identityRequests().size() == 1;
    });
    multiVelorix other; // another window's exchange, answered late
    other.CommPort(QStringLiteral("COM2"));
    QString identity;
    EXPECT_EQ(other.ReturnID(131, identity), rc::Ok); // not held up by the scan
    EXPECT_TRUE(returnedAtOnce);
    EXPECT_EQ(log, (QStringList{"started", "status Waiting for the serial link..."}));
    QEventLoop untilFinished;
    QObject::connect(scan.get(), &BusScan::finished, &untilFinished, &QEventLoop::quit);
    QTimer::singleShot(5000, &untilFinished, &QEventLoop::quit);
    if (scan->isScanning())
        untilFinished.exec();
    EXPECT_EQ(logged("device"), QStringList{"device 1 identified"});
}

TEST(IdentityProbe, RepeatsOnlyWhatTheBusyLinkRefused)
{
    std::deque<std::int16_t> results;
    int calls = 0;
    const IdentityRequest request = [&](std::uint8_t, QString &) {
        ++calls;
        const std::int16_t result = results.front();
        if (results.size() > 1)
            results.pop_front();
        return result;
    };
    const auto probe = [&](std::deque<std::int16_t> script, BusyRetry retry,
                           const std::function<bool()> &carryOn = {}) {
        results = std::move(script);
        calls = 0;
        QString identity;
        const int result = probeIdentity(request, 200, identity, retry, carryOn);
        return std::pair{result, calls}; // the result, and the requests it took
    };

    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(probe({rc::Busy, rc::Busy, rc::Ok}, BusyRetry{}), std::pair(int(rc::Ok), 3));
    EXPECT_GE(clock.elapsed(), 200);
    EXPECT_EQ(probe({rc::Busy}, BusyRetry{1, 10}), std::pair(int(rc::Busy), 11));
    EXPECT_EQ(probe({rc::NoReply, rc::Ok}, BusyRetry{1, 10}), std::pair(int(rc::NoReply), 1));
    int asked = 0; // a caller whose window has gone stops the repeats
    EXPECT_EQ(probe({rc::Busy}, BusyRetry{1, 10}, [&] { return ++asked < 3; }), std::pair(int(rc::Busy), 3));
}

TEST_F(BusScanTest, StoppedScanEndsAtOnceAndAnAbandonedNewDeviceScanRestoresTheTable)
{
    device(1, 200, "02540205");
    device(2, 201, "02540205");
    BusScan *running = scan.get();
    bus->onRequest = [&](const ByteBuffer &request) {
        running->start(BusScan::Kind::NewDevices); // refused: a scan runs
        if (request[0] == 201) {
            scan->stop();
            scan.reset(); // the owner lets go while the scan is on the stack
            log.clear();
        }
    };
    running->start(BusScan::Kind::Configured);
    EXPECT_EQ(bus->identityRequests(), (std::vector<int>{200, 201}));
    EXPECT_TRUE(Devices[1].bolPresent);  // refreshed before the stop
    EXPECT_FALSE(Devices[2].bolPresent); // answered after it
    EXPECT_TRUE(log.empty());

    answer(128, "02540220");
    scan = BusScan::create();
    scan->setPacing({5, 1, BusyRetry{}});
    bus->onRequest = [&](const ByteBuffer &request) {
        if (request[0] == 133)
            scan->stop();
    };
    scan->start(BusScan::Kind::NewDevices);
    EXPECT_EQ(bus->identityRequests().back(), 133);
    EXPECT_EQ(QList<int>({Devices[1].bytBusAddr, Devices[2].intDevType, Devices[3].intDevType}),
              QList<int>({200, kDevTypeVelorix5, 0}));
    scan->start(BusScan::Kind::Configured); // refused once stopped
    EXPECT_EQ(bus->identityRequests().back(), 133);
}

} // namespace
} // namespace velorix::testing
