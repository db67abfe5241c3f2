// The device scan window: the list, both scans and what they write into the
// device table, the busy link, the window closed mid-scan, and "Exit".

#include "model/runningexperiments.h"
#include "model/windowplacement.h"
#include "discovery/windows/frmdevicescan.h"
#include "discoverytestkit.h"
#include "protocol/resultcodes.h"
#include "protocol/multivelorix.h"

#include <QFile>
#include <QProgressBar>
#include <QTableWidget>

namespace velorix::testing {
namespace {

class DeviceScan : public DiscoveryTest
{
protected:
    void SetUp() override
    {
        DiscoveryTest::SetUp();
        bolCommFound = true;
        strCommPort = QStringLiteral("COM2");
    }
    void TearDown() override
    {
        delete window.data();
        DiscoveryTest::TearDown();
    }
    void open()
    {
        window = new frmdevicescan;
        window->setPacing({5, 1, BusyRetry{5, 10}});
        grid = find<QTableWidget>(window, "devgrid");
    }
    QString status() const { return text(window, "lblsetup_status"); }
    QProgressBar *progress() const { return find<QProgressBar>(window, "prgbardevice_scan"); }
    QStringList row(int index) const
    {
        QStringList texts;
        for (int column = 0; column < 5; ++column)
            texts << grid->item(index, column)->text();
        return texts;
    }
    QColor colour(int index) const { return grid->item(index, 4)->foreground().color(); }
    bool enabled(const char *button) const { return find(window, button)->isEnabled(); }
    void answer(std::uint8_t address, const QString &identity) { bus->identities["COM2"][address] = identity; }

    QPointer<frmdevicescan> window;
    QTableWidget *grid = nullptr;
};

TEST_F(DeviceScan, ListsTheConfiguredDevices)
{
    configure(0, 140); // never listed
    configure(1, 200);
    Devices[1].sngProdID = 254;
    Devices[1].sngVersion = 2.05f; // no name: the configuration file keeps none
    configure(3, 141, 5); // another device type: an empty row
    configure(64, 142);   // listed, though no scan reaches it
    open();
    EXPECT_EQ(text(window, "lblcomport"), QStringLiteral("Connected through COM2"));
    EXPECT_TRUE(enabled("cmddevice_setup") && enabled("cmdscannew"));
    const int twips[] = {900, 900, 800, 800, 750};
    for (int column = 0; column < 5; ++column) // the design width, or more where the font needs it
        EXPECT_GE(grid->columnWidth(column), twipsToPixels(twips[column], grid->logicalDpiX()));
    EXPECT_GT(grid->columnWidth(1), grid->fontMetrics().horizontalAdvance(QStringLiteral("239 (0xEF)")));
    ASSERT_EQ(grid->rowCount(), 3);
    EXPECT_EQ(row(0), (QStringList{"Velorix-5", "200 (0xC8)", "254", "2.05", ""}));
    EXPECT_EQ(row(1), (QStringList{"", "", "", "", ""}));
    EXPECT_EQ(row(2)[1], QStringLiteral("142 (0x8E)"));
    EXPECT_EQ(progress()->maximum(), 239);
    EXPECT_EQ(status(), QStringLiteral("Press Scan Devices to Start"));

    delete window.data(); // no device found during the port set-up: only "Exit"
    bolCommFound = false;
    strCommPort.clear();
    open();
    EXPECT_EQ(text(window, "lblcomport"), QStringLiteral("Not Connected"));
    EXPECT_TRUE(!enabled("cmddevice_setup") && !enabled("cmdscannew") && enabled("cmdquit"));
}

TEST_F(DeviceScan, ConfiguredScanShowsEachDeviceInItsOwnRow)
{
    configure(2, 200);    // gaps in the numbers: rows follow the devices
    configure(5, 201);    // silent
    configure(6, 202);    // another product
    configure(9, 203, 5); // another device type: nothing shown
    Devices[6].sngVersion = 1.5f;
    answer(200, QStringLiteral("02540205"));
    answer(202, QStringLiteral("03110100"));
    answer(203, QStringLiteral("02540300"));
    open();
    bool buttonsOff = true;
    bus->onRequest = [&](const ByteBuffer &) { buttonsOff = buttonsOff && !enabled("cmdquit") && !enabled("cmdscannew"); };
    click(window, "cmddevice_setup");

    EXPECT_EQ(bus->written.front(), (ByteBuffer{255, 16, 15})); // the bus reset first
    EXPECT_EQ(bus->identityRequests(), (std::vector<int>{200, 201, 202, 203}));
    EXPECT_TRUE(buttonsOff);
    EXPECT_EQ(row(0), (QStringList{"Velorix-5", "200 (0xC8)", "254", "2.05", "OK"}));
    EXPECT_EQ(QStringList({row(1)[4], row(2)[4], row(3)[4]}), (QStringList{"No-Resp", "Error", ""}));
    EXPECT_EQ(colour(0), QColor(0, 0, 255));
    EXPECT_EQ(colour(1), QColor(255, 0, 0));
    EXPECT_EQ(colour(2), QColor(255, 0, 0));
    EXPECT_TRUE(Devices[2].bolPresent);
    EXPECT_FLOAT_EQ(Devices[6].sngVersion, 1.5f); // not changed by a wrong product
    EXPECT_EQ(status(), QStringLiteral("Scanning Complete."));
    EXPECT_EQ(progress()->maximum(), 9);
    EXPECT_TRUE(enabled("cmddevice_setup") && enabled("cmdscannew") && enabled("cmdquit"));
    EXPECT_EQ(intDevObjCount, 0); // no port held between scans

    bus->identities.clear(); // the next scan starts with the statuses cleared
    QColor colourAtProbe;
    bus->onRequest = [&](const ByteBuffer &request) {
        if (request[0] == 200 && row(0)[4].isEmpty())
            colourAtProbe = colour(0);
    };
    window->devicescan();
    EXPECT_EQ(colourAtProbe, QColor(0, 0, 0));
    EXPECT_EQ(row(0)[4], QStringLiteral("No-Resp"));

    Devices = DeviceTable{}; // an empty table: nothing probed, the bar keeps its maximum
    bus->written.clear();
    window->devicescan();
    EXPECT_TRUE(bus->identityRequests().empty());
    EXPECT_EQ(progress()->maximum(), 9);
    EXPECT_EQ(status(), QStringLiteral("Scanning Complete."));
}

TEST_F(DeviceScan, ABusResetDuringARunTakesTheOperatorsYes)
{
    configure(1, 200);
    answer(200, QStringLiteral("02540220"));
    const int owner = 0;
    runningExperiments().add(&owner, QStringLiteral("Experiment for Device 1 at address 200"), 200);
    open();
    for (const MessageAnswer reply : {MessageAnswer::No, MessageAnswer::Yes}) {
        bus->written.clear();
        prompts->messages.clear();
        prompts->answers = {reply};
        click(window, "cmddevice_setup");
        ASSERT_EQ(prompts->messages.size(), 1u);
        const MessageRequest &asked = prompts->messages[0];
        EXPECT_EQ(asked.title, QStringLiteral("Experiment Running"));
        EXPECT_TRUE(asked.text.contains(QStringLiteral("Experiment for Device 1 at address 200")));
        EXPECT_EQ(asked.buttons, MessageRequest::Buttons::YesNo);
        EXPECT_TRUE(asked.defaultNo);
        // The probes run either way; the reset only with Yes.
        EXPECT_EQ(bus->identityRequests(), (std::vector<int>{200}));
        EXPECT_EQ(bus->written.front() == (ByteBuffer{255, 16, 15}), reply == MessageAnswer::Yes);
    }
    runningExperiments().remove(&owner);
    bus->written.clear();
    prompts->messages.clear();
    click(window, "cmddevice_setup"); // nothing runs: no question
    EXPECT_TRUE(prompts->messages.empty());
    EXPECT_EQ(bus->written.front(), (ByteBuffer{255, 16, 15}));
}

TEST_F(DeviceScan, NewDeviceScanNumbersTheVelorix5DevicesByAddress)
{
    bus->garbleAbsent = true;
    for (int number = 0; number < kUsableDevices; ++number)
        configure(number, 128 + number);
    Devices[1].strLabel = QStringLiteral("Rack A");
    configure(70, 150);
    answer(130, QStringLiteral("02540205"));
    answer(150, QStringLiteral("03110100"));
    answer(200, QStringLiteral("02540220"));
    open();
    click(window, "cmdscannew");
    EXPECT_EQ(bus->identityRequests().size(), 112u);
    EXPECT_EQ(bus->identityRequests().back(), 239);
    ASSERT_EQ(grid->rowCount(), 2);
    EXPECT_EQ(row(0)[1], QStringLiteral("130 (0x82)"));
    EXPECT_EQ(row(1), (QStringList{"Velorix-5", "200 (0xC8)", "254", "2.20", "OK"}));
    EXPECT_EQ(Devices[2].bytBusAddr, 200);
    EXPECT_EQ(Devices[1].strLabel, QStringLiteral("Rack A")); // kept from the record's last owner
    for (int number = 3; number < kUsableDevices; ++number)
        ASSERT_EQ(Devices[number].intDevType, -1) << number;
    EXPECT_EQ(Devices[0].intDevType, -1);
    EXPECT_EQ(Devices[70].intDevType, kDevTypeVelorix5); // beyond the scan's records
    EXPECT_EQ(status(), QStringLiteral("Scanning Complete."));

    bus->identities.clear(); // more Velorix-5 devices than records: the rest are reported
    for (int address = 128; address < 128 + 70; ++address)
        answer(static_cast<std::uint8_t>(address), QStringLiteral("02540220"));
    window->devicescan1();
    EXPECT_EQ(grid->rowCount(), 63);
    EXPECT_EQ(Devices[63].bytBusAddr, 190);
    EXPECT_EQ(status(), QStringLiteral("Scanning Complete. 7 devices not taken: the table holds 63."));
}

TEST_F(DeviceScan, ScanAskedForInsideAnotherWindowsExchangeWaitsForTheLink)
{
    configure(1, 200);
    answer(200, QStringLiteral("02540205"));
    answer(131, QStringLiteral("02540220"));
    bus->replyDelayMs = 60;
    bus->onRequest = [this](const ByteBuffer &request) { bus->replyDelayMs = request[0] == 131 ? 60 : 0; };
    open();
    bool returnedAtOnce = false;
    QTimer::singleShot(20, window, [&] {
        window->devicescan();
        returnedAtOnce = window->isScanning() && bus->identityRequests().size() == 1;
    });
    multiVelorix other; // another window's exchange, answered late
    other.CommPort(QStringLiteral("COM2"));
    QString identity;
    EXPECT_EQ(other.ReturnID(131, identity), rc::Ok); // not held up by the scan
    EXPECT_TRUE(returnedAtOnce);
    EXPECT_EQ(status(), QStringLiteral("Waiting for the serial link..."));
    QElapsedTimer clock;
    clock.start();
    while (window->isScanning() && clock.elapsed() < 5000)
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_EQ(row(0)[4], QStringLiteral("OK"));
}

TEST_F(DeviceScan, OneScanAtATimeAndClosedMidScan)
{
    configure(1, 200);
    configure(2, 201);
    answer(200, QStringLiteral("02540205"));
    answer(201, QStringLiteral("02540205"));
    open();
    bus->onRequest = [&](const ByteBuffer &request) {
        window->devicescan1(); // refused: a scan runs
        if (request[0] == 201)
            window->close();
    };
    window->devicescan();
    EXPECT_EQ(bus->identityRequests(), (std::vector<int>{200, 201}));
    EXPECT_TRUE(Devices[1].bolPresent);  // refreshed before the close
    EXPECT_FALSE(Devices[2].bolPresent); // answered after it

    answer(128, QStringLiteral("02540220")); // an abandoned new-device scan puts the table back
    open();
    bus->onRequest = [&](const ByteBuffer &request) {
        if (request[0] == 133)
            window->close();
    };
    window->devicescan1();
    EXPECT_EQ(bus->identityRequests().back(), 133);
    EXPECT_EQ(Devices[1].bytBusAddr, 200);
    EXPECT_EQ(Devices[2].intDevType, kDevTypeVelorix5);
    EXPECT_EQ(Devices[3].intDevType, 0);

    open(); // destroyed during the pause after the bus reset: nothing more happens
    window->setPacing({200, 1, BusyRetry{}});
    bus->written.clear();
    QTimer::singleShot(50, [this] { delete window.data(); });
    window->devicescan1();
    EXPECT_TRUE(window.isNull());
    EXPECT_TRUE(bus->identityRequests().empty());
    EXPECT_EQ(Devices[3].intDevType, 0);
}

TEST_F(DeviceScan, ExitOffersToSaveTheTable)
{
    configure(1, 200);
    const QString configFolder = QFileInfo(strDevIniPath).absolutePath();
    QDir().mkpath(configFolder);
    QFile file(strDevIniPath);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write("old\r\n") == 5);
    file.close();
    const auto content = [&file] {
        file.open(QIODevice::ReadOnly);
        const QByteArray bytes = file.readAll();
        file.close();
        return bytes;
    };
    open();
    prompts->defaultAnswer = MessageAnswer::No;
    click(window, "cmdquit");
    ASSERT_EQ(prompts->messages.size(), 1u);
    const MessageRequest question = prompts->messages.front();
    EXPECT_EQ(question.text, QStringLiteral("Update Device Configuration"));
    EXPECT_EQ(question.title, QStringLiteral("Configuration"));
    EXPECT_EQ(question.buttons, MessageRequest::Buttons::YesNo);
    EXPECT_EQ(question.icon, MessageRequest::Icon::Question);
    EXPECT_EQ(content(), QByteArray("old\r\n"));
    EXPECT_TRUE(window->isUnloaded());

    open();
    prompts->defaultAnswer = MessageAnswer::Yes;
    click(window, "cmdquit");
    EXPECT_TRUE(content().contains("Device ID:              200\r\n"));
    EXPECT_TRUE(window->isUnloaded());

    QDir(configFolder).removeRecursively(); // a file where the folder belongs: the write fails
    QFile blocker(configFolder);
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    open();
    click(window, "cmdquit");
    ASSERT_EQ(prompts->messages.size(), 4u);
    const MessageRequest failure = prompts->messages.back();
    EXPECT_TRUE(failure.text.startsWith(QStringLiteral("Device configuration could not be saved")));
    EXPECT_EQ(failure.title, QStringLiteral("Configuration"));
    EXPECT_EQ(failure.icon, MessageRequest::Icon::Critical);
    EXPECT_FALSE(window->isUnloaded()); // open, to try again
}

} // namespace
} // namespace velorix::testing
