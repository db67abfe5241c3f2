// The addresser and diagnostics windows as wiring over the maintenance
// core, on the simulated bus: what the buttons send, what they show, the
// question before a reset that would reach a running experiment, and a
// close in the middle of a search or a transfer.

#include "maintenance/windows/frmaddress.h"
#include "maintenance/windows/frmvelorixtest.h"

#include "maintenancerig.h"
#include "widgetkit.h"

#include "model/globals.h"
#include "model/runningexperiments.h"

#include <QComboBox>
#include <QDir>
#include <QListWidget>

using namespace velorix;
using namespace velorix::testing;

namespace {

class MaintenanceWindowTest : public MaintenanceTest, protected HexFiles
{
protected:
    MaintenanceWindowTest()
    {
        strCommPort = QStringLiteral("SIM");
        intDiagWindows = 0;
    }
    ~MaintenanceWindowTest() override { runningExperiments().remove(this); }
};

TEST_F(MaintenanceWindowTest, AddresserSearchesSelectsAndMovesADevice)
{
    auto *window = new frmaddress;
    window->load();
    EXPECT_EQ(traffic(128), std::vector<int>{-16}); // the bus reset at load
    click(window, "cmdSearch");
    auto *list = part<QListWidget>(window, "lstAddr");
    ASSERT_EQ(list->count(), 4);
    EXPECT_EQ(list->item(2)->text(), " 130, 82h");
    EXPECT_EQ(window->foundListTwips(), 255 + 4 * 200);

    list->setCurrentRow(2);
    emit list->itemClicked(list->item(2));
    EXPECT_EQ(window->currentAddress(), 130);
    garbleAbsent = false;
    part<QComboBox>(window, "cboSetAddr")->setCurrentIndex(140 - 128);
    click(window, "cmdChangeAddr");
    EXPECT_EQ(text(window, "txtDisplay"), "Address programming successful");
    EXPECT_EQ(window->currentAddress(), 140);
    click(window, "cmdReturnID");
    EXPECT_EQ(text(window, "txtDisplay"), "Velorix-5 Detected, Product #0254, Version 02.20");
    delete window;
}

TEST_F(MaintenanceWindowTest, ResetsThatWouldReachARunAskFirstAndNoSendsNothing)
{
    runningExperiments().add(this, QStringLiteral("Experiment for Device 3 at address 130"), 130);
    prompts->defaultAnswer = MessageAnswer::No;
    auto *window = new frmaddress;
    window->load();
    ASSERT_EQ(prompts->messages.size(), 1u);
    EXPECT_TRUE(prompts->messages[0].defaultNo);
    click(window, "cmdBusReset");
    EXPECT_TRUE(peer->written.empty());

    // Cancelling the file dialog of "Flash Device" asks nothing more.
    click(window, "cmdProgram");
    EXPECT_EQ(prompts->fileRequests.size(), 1u);
    EXPECT_EQ(prompts->messages.size(), 2u);
    // Nor does a file gone since it was chosen, which is named.
    const QString gone = dir.filePath(QStringLiteral("gone.hex"));
    prompts->fileNames.push_back(gone);
    click(window, "cmdProgram");
    EXPECT_EQ(prompts->texts().mid(2), QStringList{"File not found: " + QDir::toNativeSeparators(gone)});
    EXPECT_TRUE(peer->written.empty());
    delete window;

    frmvelorixtest diagnostics;
    diagnostics.load(DiagnosticsPacing{60'000, 60'000, 1, 1, 1});
    const std::size_t before = peer->written.size();
    diagnostics.findChild<QComboBox *>("cboAddr")->setCurrentIndex(2);
    emit diagnostics.findChild<QComboBox *>("cboAddr")->activated(2);
    click(&diagnostics, "cmdReset");
    click(&diagnostics, "cmdstart_diag");
    EXPECT_EQ(peer->written.size(), before);
    EXPECT_FALSE(diagnostics.session()->isPolling());
}

TEST_F(MaintenanceWindowTest, DiagnosticsWindowsTakeTheirAddressInTurnAndShowTheSession)
{
    rig.poke(129, 41, 0);
    frmvelorixtest first, second;
    first.load(DiagnosticsPacing{60'000, 60'000, 1, 1, 1});
    second.load(DiagnosticsPacing{60'000, 60'000, 1, 1, 1});
    EXPECT_EQ(second.windowTitle(), "Diagnostics for Device 2 at address 129");
    EXPECT_EQ(texts(&second, {"txtDisplay", "lblunits"}),
              (QStringList{"Velorix-5 Detected, Product #0254, Version 02.20", "cm/s"}));
    EXPECT_TRUE(part<QAbstractButton>(&second, "optwheel0")->isChecked());

    click(&second, "cmdstart_diag");
    click(&second, "cmdch2enable");
    rig.advance(1.0);
    second.session()->tick();
    EXPECT_EQ(texts(&second, {"cmdch1enable", "cmdch2enable"}), (QStringList{"Channel 1", "Ch2 Running"}));

    type(&second, "txts_speed", "40.0 rpm");
    click(&second, "cmddownload");
    EXPECT_EQ(QList<int>({rig.peek(129, 34), rig.peek(129, 35)}), QList<int>({144, 1}));
    EXPECT_EQ(text(&second, "txts_speed"), "40.0"); // as it went
    second.close();
    EXPECT_EQ(intDiagWindows, 1);
}

TEST_F(MaintenanceWindowTest, ClosingDuringASearchWaitsForItsEndAndDuringATransferAsksAndStopsBetweenTwoLines)
{
    QPointer<frmaddress> window = new frmaddress;
    window->load();
    QTimer::singleShot(0, window, [window] { window->close(); }); // at the first probe
    click(window, "cmdSearch");
    ASSERT_TRUE(window);                                         // the close was put off while the search ran
    EXPECT_EQ(part<QListWidget>(window, "lstAddr")->count(), 1); // cancelled after 128
    EXPECT_TRUE(waitFor([&] { return window.isNull(); }, 2000));

    // During a transfer the close asks first; its Yes stops the transfer
    // between two lines, and the window goes once it has stopped.
    prompts->fileNames.push_back(file(firmware(20)));
    prompts->answers.push_back(MessageAnswer::Yes);
    window = new frmaddress;
    window->load();
    window->setFlashPauseScale(0.01);
    int records = 0;
    const auto simulated = peer->answer;
    peer->answer = [&, simulated](const ByteBuffer &request) {
        if (request.size() > 5 && request[1] == 22 && ++records == 3)
            QTimer::singleShot(0, window, [window] { window->close(); });
        return simulated(request);
    };
    click(window, "cmdProgram");
    EXPECT_EQ(prompts->messages.size(), 1u); // the question, no error box for the stop
    EXPECT_LT(records, 6);
    EXPECT_TRUE(waitFor([&] { return window.isNull(); }, 2000));
}

// The addresser against the simulator on a pseudo-terminal, through the
// real serial port component: a device flashed with new firmware. (Moving
// a device and refusing a bad file: the tests above, on the memory port.)
TEST(AddresserOnPseudoTerminal, FlashesASimulatedDevice)
{
    sim::SimConfig config = quietConfig();
    config.newFirmwareVersion = 230;
    PtySimulator simulator(config);
    ASSERT_TRUE(simulator.started);
    strCommPort = simulator.port();
    RecordingPrompter *prompts = RecordingPrompter::install();
    HexFiles files;
    {
        frmaddress window;
        window.setFlashPauseScale(0.01);
        window.load();
        part<QComboBox>(&window, "cboAddr")->setCurrentIndex(130 - 128);
        prompts->fileNames = {files.file(firmware(2))};
        click(&window, "cmdProgram");
        EXPECT_EQ(simulator.requestsTo(130, 22), 1 + 3); // the switch and three records
        ASSERT_EQ(prompts->messages.size(), 1u);
        EXPECT_EQ(prompts->messages[0].text, "Device programing successful");
        click(&window, "cmdReturnID");
        EXPECT_EQ(text(&window, "txtDisplay"), "Velorix-5 Detected, Product #0254, Version 02.30");
    }
    setPrompter(nullptr);
}

} // namespace
