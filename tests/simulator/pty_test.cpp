// The simulator over a real pseudo-terminal, reached with plain POSIX calls
// as any serial client would, while the test's own thread blocks in them.

#include "cputime.h"
#include "simulator/commandset.h"
#include "simulator/simulatorhost.h"

#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

using namespace velorix::sim;

namespace {

const QByteArray kIdRequest = withChecksum(QByteArray("\x80\x11", 2));
const QByteArray kIdReply = withChecksum(QByteArray("\x80"
                                                    "02540220"));

// A raw serial client on the port, blocking in read() for up to 0.3 s a piece.
class PortClient
{
public:
    explicit PortClient(const QString &path)
        : m_fd(::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY))
    {
        termios settings{};
        if (m_fd >= 0 && ::tcgetattr(m_fd, &settings) == 0) {
            ::cfmakeraw(&settings);
            settings.c_cc[VMIN] = 0;
            settings.c_cc[VTIME] = 3;
            ::tcsetattr(m_fd, TCSANOW, &settings);
        }
    }
    ~PortClient() { ::close(m_fd); }
    PortClient(const PortClient &) = delete;
    PortClient &operator=(const PortClient &) = delete;

    [[nodiscard]] bool isOpen() const { return m_fd >= 0; }
    // Writes the request and reads up to `replyLength` bytes.
    QByteArray exchange(const QByteArray &request, int replyLength)
    {
        QByteArray got;
        char buffer[64];
        if (::write(m_fd, request.constData(), size_t(request.size())) != request.size())
            return got;
        for (ssize_t n = 1; n > 0 && got.size() < replyLength;) {
            if ((n = ::read(m_fd, buffer, sizeof buffer)) > 0)
                got.append(buffer, n);
        }
        return got;
    }

private:
    int m_fd;
};

} // namespace

// (The host's ground truth, counters, memory and injected faults: the
// protocol's and the experiment's end-to-end tests, which read them.)
TEST(PtyServing, ClientGetsRepliesWithLineTimingMayReopenThePortIdlesCheaplyAndLosesADeviceTakenOff)
{
    SimulatorHost sim;
    QString error;
    ASSERT_TRUE(sim.start(&error)) << error.toStdString();
    ASSERT_TRUE(sim.portPath().startsWith(QStringLiteral("/dev/pts/")));
    for (int round = 0; round < 3; ++round) {
        PortClient client(sim.portPath());
        ASSERT_TRUE(client.isOpen());
        const auto sent = std::chrono::steady_clock::now();
        EXPECT_EQ(client.exchange(kIdRequest, 10), kIdReply) << "round " << round;
        const auto took = std::chrono::steady_clock::now() - sent;
        // 2 ms + 13 bytes at 19200 baud (8.8 ms; bytes may leave up to half
        // a millisecond early), and nowhere near a time-out
        EXPECT_GE(took, std::chrono::microseconds(8'200));
        EXPECT_LT(took, std::chrono::milliseconds(80));
    }

    // Idle with a client on the port, it uses nearly no processor time.
    PortClient client(sim.portPath());
    const double before = velorix::testing::processCpuMilliseconds();
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    EXPECT_LT(velorix::testing::processCpuMilliseconds() - before, 40);

    EXPECT_EQ(client.exchange(kIdRequest, 10), kIdReply);
    sim.setDevicePresent(128, false);
    EXPECT_TRUE(client.exchange(kIdRequest, 10).isEmpty());
}

TEST(SimProgram, ServesOnItsLinkLogsFramesCleansUpOnSigtermAndRefusesBadOptionsOrAForeignFile)
{
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("sim"));
    QProcess program;
    program.start(QStringLiteral(VELORIX_SIM_PATH),
                  {"--link", link, "--log", "--wire-timing", "off", "--device", "128"});
    ASSERT_TRUE(program.waitForStarted());
    QByteArray output;
    while (!output.contains("device 128") && program.waitForReadyRead(3000))
        output += program.readAllStandardOutput();
    ASSERT_TRUE(output.contains("link: " + QFile::encodeName(link))) << output.toStdString();
    EXPECT_EQ(PortClient(link).exchange(kIdRequest, 10), kIdReply);
    while (!output.contains("<-") && program.waitForReadyRead(3000))
        output += program.readAllStandardOutput();
    EXPECT_TRUE(output.contains("-> 80 11 91")) << output.toStdString();

    program.terminate();
    ASSERT_TRUE(program.waitForFinished(3000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
    EXPECT_FALSE(QFileInfo(link).isSymLink());
    // A file that is not a link of ours is never replaced.
    ASSERT_TRUE(QFile(link).open(QIODevice::WriteOnly));
    SimConfig config;
    config.linkPath = link;
    QString error;
    EXPECT_FALSE(SimulatorHost(config).start(&error));
    EXPECT_TRUE(error.contains(QStringLiteral("not a symlink")));
    EXPECT_TRUE(QFileInfo(link).isFile());

    program.start(QStringLiteral(VELORIX_SIM_PATH), {"--time-scale", "fast"});
    ASSERT_TRUE(program.waitForFinished(3000));
    EXPECT_EQ(program.exitCode(), 2);
    EXPECT_TRUE(program.readAllStandardError().contains("--time-scale"));
}
