#pragma once

// The session log beside an experiment's data file ("<name>.log"): what
// happened while its runs were recorded (the program and device, the
// set-up sent, the start, every run, the device's errors, resets and
// re-connections, the stop and what caused it), so that a result that looks
// odd can be traced afterwards. One event per line, stamped with the local
// time to the second; a new session on the same data file follows the
// earlier ones.
//
// Each line is appended, synced to the disk and the file closed again
// before the next event, so a crash or power cut keeps every line written
// before it and nothing waits in memory. The log is a record beside the
// results, never a condition for them: a line that cannot be written is
// dropped and counted (the next line that gets through says how many went
// missing), and the first failure of a session is told once through
// `troubled`.

#include <QDateTime>
#include <QLatin1String>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace velorix {

struct DeviceInfo;

// How the lines start that tell a session's course: written here and by
// the controller, read back by sessionlogreader.h.
namespace logtext {
// The stamp before every event: "2026-12-07T10:15:02 ".
inline constexpr QLatin1String kStampFormat{"yyyy-MM-dd'T'HH:mm:ss"};
inline constexpr QLatin1String kNewDataFile{"New session, new data file "};
inline constexpr QLatin1String kAppending{"New session, appending to the data file "};
inline constexpr QLatin1String kStarted{"Experiment started: "};
inline constexpr QLatin1String kRestarted{"ReStart Exp: "};
inline constexpr QLatin1String kMasterStart{"Master Start: "};
// Follows each of the three starts: the channels it set going.
inline constexpr QLatin1String kChannelsRunning{"Channels running: "};
inline constexpr QLatin1String kSubjectOf{"Subject ID of Ch "};
inline constexpr QLatin1String kRunRecorded{"Run recorded: "};
// Marks a run line whose speed no reading gave.
inline constexpr QLatin1String kSpeedFromRamp{" (speed from the set-up's ramp at the fall, "};
// The session's end: the run stopped, the window closed before it started,
// or (written at a later start) the program stopped without either.
inline constexpr QLatin1String kStopped{"Experiment stopped ("};
inline constexpr QLatin1String kSessionEnded{"Session ended"};
inline constexpr QLatin1String kEndedWithoutStop{
        "Session ended without a stop (the program or the computer stopped); not recorded: "};
// After a run line's other notes: how the run ended.
inline constexpr QLatin1String kRunEnd{"; end: "};
// Early in each session: the device, then the set-up sent, a field a line
// ("Set-up: Start Speed 4.0 RPM").
inline constexpr QLatin1String kDevice{"Device "};
inline constexpr QLatin1String kSetup{"Set-up: "};
} // namespace logtext

// How a recorded run ended: its subject fell; the session's duration ended
// with the subject still on the wheel (a cut-off); "Stop Experiment"; the
// window was closed; the device's final reply did not come and the run was
// recorded from the last good one. Unknown: a log written before runs said.
enum class RunEnd {
    Unknown,
    Fall,
    CutOff,
    StopButton,
    WindowClosed,
    LastGoodReply
};
// The words of the log line ("fall", "cut off at the session's end", ...).
[[nodiscard]] QString runEndText(RunEnd end);
// The end those words name; Unknown for any other text.
[[nodiscard]] RunEnd runEndOf(QStringView text);

// A channel (1 to 4) with the subject ID its row carries.
using LoggedChannelId = std::pair<int, QString>;

class SessionLog
{
public:
    explicit SessionLog(std::function<QDateTime()> clock) : m_now(std::move(clock)) {}

    // Lines go to `path` from here on, after whatever it holds; a failure
    // to write is told again (once).
    void open(const QString &path);
    // Writes out how often the errors still being counted came again.
    void writeRepeats();
    // The repeats are written first.
    void close();
    [[nodiscard]] bool isOpen() const { return !m_path.isEmpty(); }

    // One event. False when it could not be written; it is then lost.
    bool write(const QString &text);

    // The result of one device command to `address`. A failure is written
    // with the command and what its code means; the same failure again and
    // again is only counted until the command gets through or fails
    // otherwise, so a pulled cable does not fill the disk. The device not
    // answering at all is written as lost contact, and the first answer
    // after it as the re-connection.
    void noteResult(const char *command, std::uint8_t address, std::int16_t code);

    // Called with the log's path the first time a line of this session
    // cannot be written.
    std::function<void(const QString &path)> troubled;

    // "2026-12-07T10:15:02".
    [[nodiscard]] static QString stamp(const QDateTime &when);
    // "1005 (no reply)": the code and, where known, what it means.
    [[nodiscard]] static QString codeText(std::int16_t code);
    // The set-up as it goes to the device, one field with its value and
    // unit a line; the rocking interval and the duration stay in the program.
    [[nodiscard]] static QStringList setupLines(const DeviceInfo &record, int rockInterval);
    // A recorded run from the cells of its data-file row.
    [[nodiscard]] static QString runLine(const QStringList &cells, const QString &units);
    // The note that ends a run line.
    [[nodiscard]] static QString runEndNote(RunEnd end) { return logtext::kRunEnd + runEndText(end); }
    // "Ch 2 (M3), Ch 4 (M7)", or "none".
    [[nodiscard]] static QString channelList(const std::vector<LoggedChannelId> &channels);
    // "Channels running: Ch 1 (M1), ...": what a start set going.
    [[nodiscard]] static QString channelsLine(const std::vector<LoggedChannelId> &channels);
    // The line a later start adds to a session that never ended: the
    // channels that ran and have no row; none given: unknown.
    [[nodiscard]] static QString endedWithoutStopLine(const std::vector<LoggedChannelId> *unrecorded);

private:
    struct Streak
    {
        std::int16_t code = 0;
        std::uint8_t address = 0;
        int repeats = 0; // failures after the one written
    };
    void endStreak(const std::string &command);

    std::function<QDateTime()> m_now;
    QString m_path;
    int m_lost = 0;
    bool m_told = false;
    bool m_endChecked = false;               // whether the file's last line is known to be ended
    std::map<std::string, Streak> m_streaks; // by command name
    int m_silentReplies = 0;                 // failures in a row without any answer
    QDateTime m_contactLost;                 // invalid while the device answers
};

} // namespace velorix
