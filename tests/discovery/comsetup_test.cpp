// The port set-up window: the automatic search over the device table, the
// manual search by address, its message, and a window closed mid-search.

#include "discovery/windows/frmcomsetup.h"
#include "discoverytestkit.h"

#include <QComboBox>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QRadioButton>

namespace velorix::testing {
namespace {

class PortSetup : public DiscoveryTest
{
protected:
    void SetUp() override
    {
        DiscoveryTest::SetUp();
        window->setPortPauseMs(5);
        bus->onRequest = [this](const ByteBuffer &) {
            labelsAtProbe << label();
            inputRefused = inputRefused && !window->isEnabled();
        };
    }
    void TearDown() override
    {
        delete window.data();
        DiscoveryTest::TearDown();
    }
    QString label() const { return text(window, "lblport"); }
    bool manualControlsShown() const { return !find(window, "optcom")->isHidden() && !find(window, "cbdevscan")->isHidden(); }
    void searchManually(const QString &address)
    {
        auto *list = find<QComboBox>(window, "cbdevscan");
        list->setCurrentIndex(list->findText(address));
        find<QRadioButton>(window, "optcom")->click();
        labelsAtProbe.clear();
        click(window, "cmdSearch");
    }

    QPointer<frmcomsetup> window = new frmcomsetup;
    QStringList labelsAtProbe;
    bool inputRefused = true;
};

TEST_F(PortSetup, AutomaticSearchTriesEveryPortForEachConfiguredDevice)
{
    configure(1, 200);
    configure(2, 150);
    bus->identities["COM2"][150] = QStringLiteral("03110100"); // any product will do
    bolPortSetup = true;
    window->load();
    EXPECT_EQ(labelsAtProbe, (QStringList{"Searching COM1 For DEVID 200", "Searching COM2 For DEVID 200",
                                          "Searching COM1 For DEVID 150", "Searching COM2 For DEVID 150"}));
    EXPECT_TRUE(inputRefused);
    EXPECT_TRUE(manualControlsShown()); // since 200 was not found
    EXPECT_TRUE(bolCommFound && !bolPortSetup && window->isEnabled());
    EXPECT_EQ(strCommPort, QStringLiteral("COM2"));
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Communication Setup on COM2"));
    EXPECT_EQ(label(), QStringLiteral("Device 150 found on COM2"));
}

TEST_F(PortSetup, FailedAutomaticSearchLeavesTheManualSearch)
{
    configure(1, 200);
    bus->identities["COM2"][202] = QStringLiteral("02540205");
    bolPortSetup = true;
    window->load();
    EXPECT_EQ(label(), QStringLiteral("Manually Configure Port!")); // the free records after it
    EXPECT_TRUE(manualControlsShown());
    EXPECT_EQ(intDevObjCount, 1); // keeps the last port while open

    window->setPortPauseMs(frmcomsetup::kPortPauseMs);
    QElapsedTimer clock;
    clock.start();
    searchManually(QStringLiteral("201"));
    EXPECT_GE(clock.elapsed(), 2 * frmcomsetup::kPortPauseMs);
    EXPECT_EQ(labelsAtProbe, (QStringList{"Searching COM1 For DEVID 201", "Searching COM2 For DEVID 201"}));
    EXPECT_EQ(label(), QStringLiteral("No Device Found!")); // during start-up: no message
    EXPECT_TRUE(prompts->messages.empty());

    window->setPortPauseMs(5);
    searchManually(QStringLiteral("202"));
    EXPECT_FALSE(bolPortSetup);
    EXPECT_EQ(label(), QStringLiteral("Device 202 found on COM2"));
}

TEST_F(PortSetup, EmptyTableThenFailedSearchesOutsideStartUp)
{
    bolPortSetup = true;
    window->load();
    EXPECT_TRUE(bus->identityRequests().empty());
    EXPECT_EQ(label(), QStringLiteral("Manually Configure Port!"));
    EXPECT_FALSE(manualControlsShown());

    bolPortSetup = false;
    QString labelWhileShown;
    prompts->whileShown = [&](const MessageRequest &) { labelWhileShown = label(); };
    bus->onRequest = [&](const ByteBuffer &) { click(window, "cmdSearch"); };
    click(window, "cmdSearch");
    EXPECT_EQ(bus->identityRequests(), (std::vector<int>{128, 128})); // presses meanwhile start nothing
    ASSERT_EQ(prompts->messages.size(), 1u);
    const MessageRequest box = prompts->messages.front();
    EXPECT_EQ(box.text, QStringLiteral("Devices not Found.\r\nManually Setup Communication Ports."));
    EXPECT_EQ(box.title, QStringLiteral("Communication Port Setup"));
    EXPECT_EQ(box.icon, MessageRequest::Icon::Exclamation);
    EXPECT_EQ(labelWhileShown, QStringLiteral("No Device Found!"));
    EXPECT_TRUE(label().isEmpty());

    // A computer without serial ports: the search ends at once.
    bus->ports.clear();
    window->setPortPauseMs(frmcomsetup::kPortPauseMs);
    QElapsedTimer clock;
    clock.start();
    click(window, "cmdSearch");
    EXPECT_LT(clock.elapsed(), frmcomsetup::kPortPauseMs);
    EXPECT_EQ(prompts->messages.size(), 2u);
}

TEST_F(PortSetup, ClosedOrDestroyedMidSearchStopsCleanly)
{
    configure(1, 200);
    configure(2, 150);
    bolPortSetup = true;
    bus->onRequest = [&](const ByteBuffer &) { window->close(); };
    window->load();
    EXPECT_EQ(bus->identityRequests().size(), 1u);
    EXPECT_FALSE(bolPortSetup); // start-up's wait ends

    window = new frmcomsetup;
    window->setPortPauseMs(200);
    bolPortSetup = true;
    QTimer::singleShot(50, [this] { delete window.data(); });
    window->load();
    EXPECT_TRUE(window.isNull());
    EXPECT_FALSE(bolPortSetup);
    EXPECT_EQ(bus->identityRequests().size(), 1u);
}

TEST_F(PortSetup, CentredInTheMainWindowsWorkArea)
{
    QMdiArea workspace;
    workspace.resize(900, 700);
    workspace.show();
    QMdiSubWindow *frame = workspace.addSubWindow(window);
    frame->resize(300, 200);
    window->load();
    const QWidget *area = frame->parentWidget();
    EXPECT_EQ(frame->pos(), QPoint(area->width() / 2 - 150, area->height() / 2 - 100));
}

} // namespace
} // namespace velorix::testing
