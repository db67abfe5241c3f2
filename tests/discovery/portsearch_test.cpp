// The port search: every port for each configured device, what it reports
// on the way, the search outside the start-up, and a search stopped midway.

#include "discoverytestkit.h"

namespace velorix::testing {
namespace {

class PortSearchTest : public DiscoveryTest
{
protected:
    void SetUp() override
    {
        DiscoveryTest::SetUp();
        search->setPortPauseMs(5);
        record(search.get());
        bolPortSetup = true;
    }
    void TearDown() override
    {
        if (search)
            search->stop(); // lets go of the last port
        DiscoveryTest::TearDown();
    }
    std::shared_ptr<PortSearch> search = PortSearch::create();
};

TEST_F(PortSearchTest, TableSearchTriesEveryPortForEachConfiguredDevice)
{
    device(1, 200);
    device(2, 150, "03110100"); // any product will do
    EXPECT_EQ(search->searchTable(), PortSearch::Outcome::Found);
    EXPECT_EQ(log,
              (QStringList{"status Manually Configure Port!", // record 0 is free
                           "status Searching COM1 For DEVID 200", "status No Device Found!",
                           "status Searching COM2 For DEVID 200", "status No Device Found!",
                           "status No Device Found!", "missed", "status Searching COM1 For DEVID 150",
                           "status No Device Found!", "status Searching COM2 For DEVID 150",
                           "status Device 150 found on COM2", "found COM2"}));
    EXPECT_EQ(bus->identityRequests(), (std::vector<int>{200, 200, 150, 150}));
    EXPECT_TRUE(bolCommFound && !bolPortSetup);
    EXPECT_EQ(strCommPort, QStringLiteral("COM2"));

    Devices[2].intDevType = 0; // a failed search of the table keeps the last port
    bolPortSetup = true;
    log.clear();
    EXPECT_EQ(search->searchTable(), PortSearch::Outcome::NotFound);
    EXPECT_EQ(log.size(), 1 + 4 + 2 + 62);
    EXPECT_EQ(log.back(), QStringLiteral("status Manually Configure Port!"));
    EXPECT_TRUE(bolPortSetup && !bolCommFound);
    EXPECT_EQ(intDevObjCount, 1);
}

TEST_F(PortSearchTest, SearchOutsideTheStartUpReportsThatNothingWasFound)
{
    bolPortSetup = false;
    bus->onRequest = [&](const ByteBuffer &) { EXPECT_EQ(search->search(), PortSearch::Outcome::NotFound); };
    EXPECT_EQ(search->search(), PortSearch::Outcome::NotFound);
    EXPECT_EQ(bus->identityRequests(), (std::vector<int>{128, 128})); // one search at a time
    EXPECT_EQ(log.mid(3), (QStringList{"status No Device Found!", "nothing found", "status "}));

    bus->ports.clear(); // a computer without serial ports: over at once
    log.clear();
    EXPECT_EQ(search->search(), PortSearch::Outcome::NotFound);
    EXPECT_EQ(log, (QStringList{"nothing found", "status "}));
}

TEST_F(PortSearchTest, APortRefusedForLackOfPermissionNamesTheDialoutGroup)
{
    device(1, 150, "02540220");
    bus->refusedPorts = {"COM1"};
    QStringList refused;
    QObject::connect(search.get(), &PortSearch::portRefused, [&](const QString &text) { refused << text; });
    EXPECT_EQ(search->searchTable(), PortSearch::Outcome::Found); // the search goes on to COM2
    EXPECT_EQ(refused,
              QStringList{"Permission denied on /dev/COM1. Add your user to the dialout group "
                          "(sudo usermod -aG dialout $USER), then log out and in again."});
    bus->refusal.number = 1; // not found: nothing the operator could mend
    refused.clear();
    bolPortSetup = true;
    EXPECT_EQ(search->searchTable(), PortSearch::Outcome::Found);
    EXPECT_TRUE(refused.isEmpty());
}

TEST_F(PortSearchTest, StoppedSearchEndsAtOnceAndOutlivesItsOwner)
{
    device(1, 200);
    device(2, 150);
    PortSearch *running = search.get();
    bus->onRequest = [&](const ByteBuffer &) {
        search->stop();
        search.reset(); // the owner lets go while the search is on the stack
        log.clear();
    };
    EXPECT_EQ(running->searchTable(), PortSearch::Outcome::Stopped);
    EXPECT_EQ(bus->identityRequests().size(), 1u);
    EXPECT_TRUE(log.empty());
}

} // namespace
} // namespace velorix::testing
