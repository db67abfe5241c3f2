// The link's exchange rules on a real pseudo-terminal through QSerialPort
// (the port component's own handling of the line included), then what only
// the memory port can be made to do on demand.

#include "link/multicommv10.h"
#include "link/portlist.h"
#include "link/qserialportbackend.h"
#include "link/linkresults.h"
#include "ptypeer.h"
#include "memoryport.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSerialPortInfo>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <gtest/gtest.h>

#include <memory>

using namespace velorix;
using namespace velorix::testing;

namespace {

const ByteBuffer kRequest{0x82, 0x60, 0xE2};
const ByteBuffer kReply13{0x82, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 0xC4};

struct PseudoTerminal
{
    PtyPeer peer;
    multicommv10 link{std::make_unique<QSerialPortBackend>()};

    PseudoTerminal()
    {
        registerExtraPort(peer.slavePath());
        link.setCommPort(peer.slavePath());
    }
};

class LinkTest : public ::testing::Test
{
protected:
    PseudoTerminal port;
    multicommv10 &link() { return port.link; }
    std::vector<ByteBuffer> &written() { return port.peer.written; }
    void reply(const ByteBuffer &bytes, int delayMs = 0, int pieces = 1)
    {
        port.peer.responses.push_back({bytes, delayMs, pieces, 4});
    }
    void silence() { port.peer.responses.push_back({}); }
    std::int16_t exchange(ByteBuffer &received, std::int16_t expected, std::int32_t timeout = 100)
    {
        std::int16_t err = -99;
        link().transact(kRequest, received, expected, timeout, err, false);
        return err;
    }
    std::int16_t text(QString &received, std::int32_t timeout)
    {
        std::int16_t err = -99;
        link().transactTEXT(kRequest, received, timeout, err, false);
        return err;
    }
};

// One loop and one timer serve every wait: each exchange must still run to
// its own time-out, neither ended early by what the one before left behind
// nor kept waiting by it.
TEST_F(LinkTest, ReplyLengthAndItsOwnTimeOutDecideTheResult)
{
    EXPECT_TRUE(link().PortStatus()); // it opened the port it was given
    EXPECT_FALSE(link().CommBusy());
    ByteBuffer received;
    reply(kReply13, 2, 4); // in pieces
    EXPECT_EQ(exchange(received, 13, 1000), rc::Ok);
    EXPECT_EQ(received, kReply13);
    reply(kReply13);
    EXPECT_EQ(exchange(received, 13), rc::Ok);
    EXPECT_EQ(received, kReply13);
    ASSERT_EQ(written().size(), 2u);
    EXPECT_EQ(written().back(), kRequest);

    // One byte short: 1005, with the buffer holding what came.
    reply(ByteBuffer(kReply13.begin(), kReply13.end() - 1));
    EXPECT_EQ(exchange(received, 13), rc::NoReply);
    EXPECT_EQ(received.size(), 12u);

    // Nothing at all: 1005 after the time-out, not before it.
    silence();
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(exchange(received, 13, 150), rc::NoReply);
    EXPECT_GE(clock.elapsed(), 149);
    EXPECT_LT(clock.elapsed(), 500);
    EXPECT_TRUE(received.empty());

    // Slower than the time-out before, within its own.
    reply(kReply13, 200);
    EXPECT_EQ(exchange(received, 13, 600), rc::Ok);

    // Longer than asked for: accepted whole.
    ByteBuffer longer = kReply13;
    longer.push_back(0x55);
    reply(longer);
    EXPECT_EQ(exchange(received, 13), rc::Ok);
    EXPECT_EQ(received, longer);
}

// A reset expects no reply: the exchange returns at once, and the next
// request follows before the peer has read the reset. Clearing the port
// before that request must not take the reset off the line.
TEST_F(LinkTest, ARequestWithoutReplyReturnsAtOnceAndIsNeverDroppedByTheNextOne)
{
    const ByteBuffer reset{0x82, 0x10, 0x92};
    ByteBuffer received{1, 2, 3};
    ByteBuffer sent;
    QElapsedTimer clock;
    clock.start();
    for (int round = 0; round < 20; ++round) {
        std::int16_t err = -99;
        link().transact(reset, received, 0, 1000, err, false);
        ASSERT_EQ(err, rc::Ok);
        EXPECT_TRUE(received.empty());
        reply(kReply13);
        EXPECT_EQ(exchange(received, 13, 200), rc::Ok);
        sent.insert(sent.end(), reset.cbegin(), reset.cend());
        sent.insert(sent.end(), kRequest.cbegin(), kRequest.cend());
    }
    EXPECT_LT(clock.elapsed(), 1000);
    ByteBuffer seen;
    for (const ByteBuffer &chunk : written())
        seen.insert(seen.end(), chunk.cbegin(), chunk.cend());
    EXPECT_EQ(seen, sent);
}

// (A second exchange asked for while one waits is refused as busy and sends
// nothing: the protocol's busy-link test of a firmware record; that the link
// shows busy meanwhile and is free after: the experiment run's put-off tick.)

// Bytes still in the driver, which no event has announced yet. (Bytes the
// port has already taken in: the protocol's end-to-end line faults, where the
// rest of a reply led by stray bytes must not spoil the next exchange.)
TEST_F(LinkTest, StaleInputIsDiscardedBeforeTheRequest)
{
    port.peer.writeUnsolicited({0x82, 0x06, 0x88});
    QThread::msleep(20);
    reply(kReply13, 5);
    ByteBuffer received;
    EXPECT_EQ(exchange(received, 13), rc::Ok);
    EXPECT_EQ(received, kReply13);
}

TEST_F(LinkTest, PulledCableMidExchangeFailsCleanly)
{
    port.peer.responses.push_back({{}, 20, 1, 0, true});
    ByteBuffer received;
    const std::int16_t err = exchange(received, 13, 300);
    EXPECT_TRUE(err == rc::SerialError || err == rc::NoReply) << err;
    EXPECT_FALSE(link().CommBusy());
    // The port is gone: the next exchange fails at once, without hanging.
    EXPECT_EQ(exchange(received, 13, 100), rc::SerialError);
    EXPECT_FALSE(link().CommBusy());
}

TEST_F(LinkTest, TextReplyEndsAtLineBreak)
{
    QString received;
    silence();
    EXPECT_EQ(text(received, 100), rc::NoReply);
    EXPECT_TRUE(received.isEmpty());
    reply({'O', 'K', '\r', '\n'}, 150); // later than the time-out before
    EXPECT_EQ(text(received, 600), rc::Ok);
    EXPECT_EQ(received, QStringLiteral("OK"));
    reply({'O', 'K'});
    EXPECT_EQ(text(received, 100), rc::LateText);
}

// --- scripted port only: what a real port cannot be made to do on demand ---

class ScriptedLinkTest : public ::testing::Test
{
protected:
    std::int16_t exchange(ByteBuffer &received, int timeout = 100)
    {
        std::int16_t err = -99;
        link->transact(kRequest, received, 13, timeout, err, false);
        return err;
    }
    std::shared_ptr<PortPeer> peer = std::make_shared<PortPeer>();
    std::unique_ptr<multicommv10> link = std::make_unique<multicommv10>(std::make_unique<MemoryPort>(peer));
};

TEST_F(ScriptedLinkTest, NoPortOrAFailedWriteIsSerialErrorThenThePortIsReopened)
{
    ByteBuffer received;
    EXPECT_EQ(exchange(received), rc::SerialError); // no port chosen yet
    std::int16_t readOnly = -99;                    // nor does a read-only exchange wait on no port
    link->transact(kRequest, received, 13, 100, readOnly, true);
    EXPECT_EQ(readOnly, rc::SerialError);
    EXPECT_FALSE(link->CommBusy());
    link->setCommPort(QStringLiteral("COM1"));
    peer->failNextWrite = true;
    EXPECT_EQ(exchange(received), rc::SerialError);
    EXPECT_FALSE(link->PortStatus());
    // The adapter is back: the next exchange opens the same port again.
    peer->reply(kReply13);
    EXPECT_EQ(exchange(received), rc::Ok);
    EXPECT_TRUE(link->PortStatus());
    EXPECT_EQ(peer->opened, QStringList({"COM1", "COM1"}));
}

TEST_F(ScriptedLinkTest, PortSelectionComparesNamesExactlyAndKeepsAnOpenPort)
{
    link->setCommPort(QStringLiteral("com1"));
    EXPECT_FALSE(link->PortStatus());
    EXPECT_TRUE(peer->opened.isEmpty());

    link->setCommPort(QStringLiteral("COM2"));
    link->setCommPort(QStringLiteral("COM2"));
    EXPECT_TRUE(link->PortStatus());
    EXPECT_EQ(link->CommPort(), QStringLiteral("COM2"));
    EXPECT_EQ(peer->opened.size(), 1); // reselecting the open port keeps it open
    EXPECT_EQ(peer->closes, 0);

    // A receive-only exchange writes nothing.
    ByteBuffer received;
    std::int16_t err = -99;
    link->transact(kRequest, received, 3, 50, err, true);
    EXPECT_EQ(err, rc::NoReply);
    EXPECT_TRUE(peer->written.empty());

    // An unlisted name keeps the open port but reports False.
    link->setCommPort(QStringLiteral("COM9"));
    EXPECT_FALSE(link->PortStatus());
    EXPECT_EQ(link->CommPort(), QStringLiteral("COM2"));

    // A port the system refuses says why.
    peer->refusedPorts.insert(QStringLiteral("COM1"));
    PortError error;
    link->setCommPort(QStringLiteral("COM1"), &error);
    EXPECT_FALSE(link->PortStatus());
    EXPECT_NE(error.number, 0);
    EXPECT_FALSE(error.text.isEmpty());
    // The same without asking why; and a port that opens leaves the reason alone.
    link->setCommPort(QStringLiteral("COM1"));
    EXPECT_FALSE(link->PortStatus());
    peer->refusedPorts.clear();
    error.text = QStringLiteral("kept");
    link->setCommPort(QStringLiteral("COM1"), &error);
    EXPECT_TRUE(link->PortStatus());
    EXPECT_EQ(error.text, QStringLiteral("kept"));
}

// (Listing two ports and none: the port search's tests, which list them
// through the protocol object.)
TEST_F(ScriptedLinkTest, PortListsAndSettings)
{
    EXPECT_EQ(link->Settings(), QStringLiteral("19200,n,8,1"));
    peer->ports = {QStringLiteral("COM3")};
    QStringList names;
    std::int16_t count = -1;
    // The list kept since creation is unchanged.
    EXPECT_TRUE(link->CommPorts(names, count));
    EXPECT_EQ(count, 2);
    EXPECT_TRUE(link->GetCommPorts(names, count)); // one port is a list
    EXPECT_EQ(names, QStringList{QStringLiteral("COM3")});
    EXPECT_EQ(count, 1);
    peer->ports.clear();
    EXPECT_FALSE(link->GetCommPorts(names, count));
    EXPECT_EQ(count, 0);
}

TEST_F(ScriptedLinkTest, ReleasingTheLinkDuringAWaitEndsTheExchange)
{
    link->setCommPort(QStringLiteral("COM1"));
    peer->reply(kReply13, 200);
    QTimer::singleShot(20, [this] { link.reset(); });
    ByteBuffer received;
    std::int16_t err = -99;
    multicommv10 *raw = link.get();
    raw->transact(kRequest, received, 13, 500, err, false);
    EXPECT_EQ(err, rc::SerialError);
}

TEST(LineSettingsTest, ParsesTheTextForm)
{
    const auto settings = parseLineSettings(QStringLiteral("9600,e,7,2"));
    ASSERT_TRUE(settings);
    EXPECT_EQ(std::tuple(settings->baudRate, settings->parity, settings->dataBits, settings->stopBits),
              std::tuple(9600, QSerialPort::EvenParity, QSerialPort::Data7, QSerialPort::TwoStop));
    for (const char *bad : {"", "19200", "fast,n,8,1", "19200,x,8,1", "19200,n,9,1", "19200,n,8,3"})
        EXPECT_FALSE(parseLineSettings(QString::fromLatin1(bad))) << bad;
}

TEST(PortListTest, ExtraPortsFollowTheSystemPorts)
{
    QTemporaryDir folder;
    const QString stored = folder.filePath(QStringLiteral("ttyStored"));
    const QString gone = folder.filePath(QStringLiteral("ttyGone"));
    const QString given = folder.filePath(QStringLiteral("ttyGiven"));
    const QString first = folder.filePath(QStringLiteral("ttyFirst"));
    for (const QString &path : {stored, given, first})
        ASSERT_TRUE(QFile(path).open(QIODevice::WriteOnly));
    const auto storePorts = [](const QVariant &ports) {
        QSettings(QStringLiteral("Velorix"), QStringLiteral("Velorix"))
                .setValue(QStringLiteral("Settings/ExtraPorts"), ports);
    };
    storePorts(QStringList{stored, gone, given});
    clearExtraPorts();
    registerExtraPort(given);
    registerExtraPort(first, PortPlacement::First);

    QStringList systemPorts;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
        systemPorts << info.portName();
    EXPECT_EQ(portList(),
              QStringList({first}) + systemPorts
                      + QStringList({given, stored})); // each once; a vanished link is left out

    // One comma-separated string works as well.
    storePorts(QString(stored + QStringLiteral(" , ") + gone));
    EXPECT_EQ(storedExtraPorts(), QStringList({stored, gone}));
    clearExtraPorts();
}

} // namespace
