// The port set-up and device scan windows: their controls start the search
// and the scans, the progress and results reach the labels and the grid,
// the questions are asked, and a window gone mid-search stops its search.

#include "discoverytestkit.h"
#include "widgetkit.h"

#include "discovery/windows/frmcomsetup.h"
#include "discovery/windows/frmdevicescan.h"
#include "model/runningexperiments.h"

#include <QComboBox>
#include <QMdiArea>
#include <QProgressBar>
#include <QRadioButton>
#include <QTableWidget>

namespace velorix::testing {
namespace {

class DiscoveryWindows : public DiscoveryTest
{
protected:
    void SetUp() override
    {
        DiscoveryTest::SetUp();
        setup->setPortPauseMs(5);
        bolCommFound = true; // for the scan window: the port set-up found COM2
        strCommPort = QStringLiteral("COM2");
    }
    void TearDown() override
    {
        delete setup.data();
        delete scan.data();
        DiscoveryTest::TearDown();
    }
    void openScan(int afterResetMs = 5)
    {
        scan = new frmdevicescan;
        scan->setPacing({afterResetMs, 1, BusyRetry{5, 10}});
        grid = part<QTableWidget>(scan, "devgrid");
    }
    QStringList row(int index) const
    {
        QStringList texts;
        for (int column = 0; column < 5; ++column)
            texts << grid->item(index, column)->text();
        return texts;
    }
    QColor colour(int index) const { return grid->item(index, 4)->foreground().color(); }
    QList<int> bar() const
    {
        const auto *bar = part<QProgressBar>(scan, "prgbardevice_scan");
        return {bar->minimum(), bar->value(), bar->maximum()};
    }
    QList<bool> buttons() const
    {
        return {part(scan, "cmddevice_setup")->isEnabled(), part(scan, "cmdscannew")->isEnabled(),
                part(scan, "cmdquit")->isEnabled()};
    }

    QPointer<frmcomsetup> setup = new frmcomsetup;
    QPointer<frmdevicescan> scan;
    QTableWidget *grid = nullptr;
};

TEST_F(DiscoveryWindows, PortSetupShowsTheSearchAndSearchesTheChosenAddress)
{
    device(1, 200);
    device(2, 150, "02540205");
    bool inputRefused = true;
    bus->onRequest = [&](const ByteBuffer &) { inputRefused = inputRefused && !setup->isEnabled(); };
    QMdiArea workspace; // the window opens centred in the main window's work area
    workspace.resize(900, 700);
    workspace.show();
    QWidget *frame = workspace.addSubWindow(setup);
    frame->resize(300, 200);
    bolPortSetup = true;
    setup->load(); // the start-up's search of the table, no input meanwhile
    EXPECT_EQ(frame->pos(),
              QPoint(frame->parentWidget()->width() / 2 - 150, frame->parentWidget()->height() / 2 - 100));
    EXPECT_TRUE(inputRefused && setup->isEnabled());
    EXPECT_TRUE(part(setup, "optcom")->isVisible()
                && part(setup, "cbdevscan")->isVisible()); // 200 was missed
    EXPECT_EQ(setup->windowTitle(), QStringLiteral("Communication Setup on COM2"));
    EXPECT_EQ(text(setup, "lblport"), QStringLiteral("Device 150 found on COM2"));

    auto *list = part<QComboBox>(setup, "cbdevscan"); // then the user's own search
    list->setCurrentIndex(list->findText(QStringLiteral("201")));
    part<QRadioButton>(setup, "optcom")->click();
    bus->written.clear();
    bus->onRequest = [&](const ByteBuffer &) { click(setup, "cmdSearch"); }; // starts nothing
    click(setup, "cmdSearch");
    EXPECT_EQ(bus->identityRequests(), (std::vector<int>{201, 201}));
    ASSERT_EQ(prompts->messages.size(), 1u);
    EXPECT_EQ(boxLine(prompts->messages[0]),
              QStringLiteral("Communication Port Setup | Devices not Found.\r\n"
                             "Manually Setup Communication Ports. | Ok, Exclamation"));
}

TEST_F(DiscoveryWindows, WindowsDestroyedMidSearchOrScanStopIt)
{
    configure(1, 200);
    setup->setPortPauseMs(200);
    bolPortSetup = true;
    QTimer::singleShot(50, [this] { delete setup.data(); });
    setup->load();
    EXPECT_TRUE(setup.isNull());
    EXPECT_FALSE(bolPortSetup); // the start-up's wait ends

    openScan(200);
    QTimer::singleShot(50, [this] { delete scan.data(); });
    scan->devicescan1();
    EXPECT_TRUE(scan.isNull());
    EXPECT_TRUE(bus->identityRequests().empty());
    EXPECT_EQ(Devices[1].intDevType, kDevTypeVelorix5); // the table as it was
}

TEST_F(DiscoveryWindows, ScanWindowListsTheConfiguredDevices)
{
    configure(0, 140); // never listed
    configure(1, 200, kDevTypeVelorix5, 2.05f);
    Devices[1].sngProdID = 254; // no name: the configuration file keeps none
    configure(3, 141, 5);       // another device type: an empty row
    configure(64, 142);         // listed, though no scan reaches it
    openScan();
    EXPECT_EQ(text(scan, "lblcomport"), QStringLiteral("Connected through COM2"));
    EXPECT_GT(grid->columnWidth(1), grid->fontMetrics().horizontalAdvance(QStringLiteral("239 (0xEF)")));
    ASSERT_EQ(grid->rowCount(), 3);
    EXPECT_EQ(row(0), (QStringList{"Velorix-5", "200 (0xC8)", "254", "2.05", ""}));
    EXPECT_EQ(row(1), (QStringList{"", "", "", "", ""}));
    EXPECT_EQ(row(2)[1], QStringLiteral("142 (0x8E)"));

    delete scan.data(); // no device found during the port set-up: only "Exit"
    bolCommFound = false;
    strCommPort.clear();
    openScan();
    EXPECT_EQ(text(scan, "lblcomport"), QStringLiteral("Not Connected"));
    EXPECT_EQ(buttons(), QList<bool>({false, false, true}));
}

TEST_F(DiscoveryWindows, ScanResultsGoIntoTheirRows)
{
    device(2, 200, "02540205"); // gaps in the numbers: rows follow the devices
    device(5, 201);
    device(6, 202, "03110100");
    openScan();
    configure(7, 204); // put in after the list was made: gets a row
    bool buttonsOff = true;
    bus->onRequest = [&](const ByteBuffer &) {
        buttonsOff = buttonsOff && buttons() == QList<bool>({false, false, false});
    };
    click(scan, "cmddevice_setup");
    EXPECT_TRUE(buttonsOff);
    EXPECT_EQ(bus->written.front(), (ByteBuffer{255, 16, 15})); // nothing runs: reset unasked
    ASSERT_EQ(grid->rowCount(), 4);
    EXPECT_EQ(row(0), (QStringList{"Velorix-5", "200 (0xC8)", "254", "2.05", "OK"}));
    EXPECT_EQ(QStringList({row(1)[4], row(2)[4], row(3)[4]}), (QStringList{"No-Resp", "Error", "No-Resp"}));
    EXPECT_EQ(QList<QColor>({colour(0), colour(1), colour(2)}), QList<QColor>({Qt::blue, Qt::red, Qt::red}));
    EXPECT_EQ(text(scan, "lblsetup_status"), QStringLiteral("Scanning Complete."));
    EXPECT_EQ(bar(), QList<int>({0, 0, 7}));
    EXPECT_EQ(buttons(), QList<bool>({true, true, true}));

    bus->identities.clear(); // the next scan starts with the statuses cleared
    QString statusAtProbe;
    bus->onRequest = [&](const ByteBuffer &request) {
        statusAtProbe += request[0] == 200 ? row(0)[4] + colour(0).name() : "";
    };
    scan->devicescan();
    EXPECT_EQ(statusAtProbe, QStringLiteral("#000000"));
    EXPECT_EQ(row(0)[4], QStringLiteral("No-Resp"));

    Devices = DeviceTable{}; // an empty table: the bar keeps its maximum
    scan->devicescan();
    EXPECT_EQ(bar(), QList<int>({0, 0, 7}));

    bus->garbleAbsent = true; // the new-device scan lists only what it finds
    answer(150, "02540220");
    click(scan, "cmdscannew");
    ASSERT_EQ(grid->rowCount(), 1);
    EXPECT_EQ(row(0), (QStringList{"Velorix-5", "150 (0x96)", "254", "2.20", "OK"}));
    EXPECT_EQ(bar(), QList<int>({128, 128, 239}));
}

TEST_F(DiscoveryWindows, ABusResetDuringARunTakesTheOperatorsYes)
{
    configure(1, 200);
    const int owner = 0;
    runningExperiments().add(&owner, QStringLiteral("Experiment for Device 1 at address 200"), 200);
    openScan();
    prompts->answers = {MessageAnswer::No};
    click(scan, "cmddevice_setup");
    runningExperiments().remove(&owner);
    EXPECT_EQ(bus->written, (std::vector<ByteBuffer>{{200, 17, 217}})); // the probe without the reset
    ASSERT_EQ(prompts->messages.size(), 1u);
    EXPECT_EQ(
            boxLine(prompts->messages[0]),
            QStringLiteral(
                    "Experiment Running | The bus reset of the device scan would stop this running experiment:\n\n"
                    "Experiment for Device 1 at address 200\n\nRuns in progress would be cut short. "
                    "Go ahead anyway? | YesNo, Exclamation, default No"));
}

TEST_F(DiscoveryWindows, ExitOffersToSaveTheTable)
{
    configure(1, 200);
    ASSERT_TRUE(writeFile(strDevIniPath, "old\r\n"));
    openScan();
    prompts->defaultAnswer = MessageAnswer::No;
    click(scan, "cmdquit");
    EXPECT_EQ(boxLine(prompts->messages.at(0)),
              QStringLiteral("Configuration | Update Device Configuration | YesNo, Question"));
    EXPECT_EQ(contents(strDevIniPath), QByteArray("old\r\n"));
    EXPECT_TRUE(scan->isUnloaded());

    openScan();
    prompts->defaultAnswer = MessageAnswer::Yes;
    click(scan, "cmdquit");
    EXPECT_TRUE(contents(strDevIniPath).contains("Device ID:              200\r\n"));
    EXPECT_TRUE(scan->isUnloaded());

    const QString configFolder = QFileInfo(strDevIniPath).absolutePath();
    QDir(configFolder).removeRecursively(); // a file where the folder belongs: the write fails
    ASSERT_TRUE(writeFile(configFolder, ""));
    openScan();
    click(scan, "cmdquit");
    ASSERT_EQ(prompts->messages.size(), 4u);
    const QString failure = boxLine(prompts->messages[3]);
    EXPECT_TRUE(failure.startsWith(QStringLiteral("Configuration | Device configuration could not be saved"))
                && failure.endsWith(" | Ok, Critical"));
    EXPECT_FALSE(scan->isUnloaded()); // open, to try again

    // The frame's close button is "Exit": the same question, the same outcome.
    QMdiArea workspace;
    QPointer<QWidget> frame = workspace.addSubWindow(scan);
    workspace.show();
    closeFrame(scan); // Yes, and the write fails again: the window stays
    EXPECT_EQ(prompts->messages.size(), 6u);
    EXPECT_EQ(boxLine(prompts->messages[4]), boxLine(prompts->messages[0]));
    EXPECT_TRUE(scan && !scan->isUnloaded() && frame->isVisible());
    prompts->defaultAnswer = MessageAnswer::No;
    closeFrame(scan);
    EXPECT_EQ(boxLine(prompts->messages.at(6)), boxLine(prompts->messages[0]));
    EXPECT_TRUE(scan->isUnloaded());
    // (The start-up's own close after its scan asks nothing: the start-up's
    // tests count its messages and find no window left.)
}

} // namespace
} // namespace velorix::testing
