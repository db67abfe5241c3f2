#include "experiment/core/sessionlogreader.h"

#include "base/textlines.h"

#include <QRegularExpression>

namespace velorix {

namespace {

constexpr qsizetype kStampLength = logtext::kStampFormat.size() - 2; // the quotes round the T

// Whether the line starts with a stamp ("2026-12-07T10:15:02 "): told
// by its form alone, since making a local time of every line's stamp
// would cost a long log more than all the rest of its reading.
bool isStamped(const QString &line)
{
    static constexpr char kForm[] = "dddd-dd-ddTdd:dd:dd ";
    if (line.size() <= kStampLength)
        return false;
    for (qsizetype i = 0; i <= kStampLength; ++i) {
        const QChar c = line[i];
        if (kForm[i] == 'd' ? !c.isDigit() : c != QLatin1Char(kForm[i]))
            return false;
    }
    return true;
}

QDateTime stampOf(const QString &line)
{
    return QDateTime::fromString(line.left(kStampLength), logtext::kStampFormat);
}

// "Ch 1 (M1), Ch 2 (Channel 2)", the whole text or nothing: a list a crash
// cut short names fewer channels than ran.
std::optional<std::vector<LoggedChannel>> channelsOf(const QString &list)
{
    static const QRegularExpression one(QStringLiteral("Ch ([1-4]) \\((.*?)\\)(?:, (?=Ch [1-4] \\()|$)"));
    std::vector<LoggedChannel> channels;
    if (list == QLatin1String("none"))
        return channels;
    qsizetype at = 0;
    while (at < list.size()) {
        const QRegularExpressionMatch match = one.match(list, at, QRegularExpression::NormalMatch,
                                                        QRegularExpression::AnchorAtOffsetMatchOption);
        if (!match.hasMatch())
            return std::nullopt;
        channels.push_back(LoggedChannel{match.captured(1).toInt(), match.captured(2), false});
        at = match.capturedEnd(0);
    }
    if (channels.empty())
        return std::nullopt;
    return channels;
}

std::optional<LoggedRun> runOf(const QString &text)
{
    static const QRegularExpression line(QStringLiteral(
            "^channel ([1-4]), subject (.*?), started (.*?), run time (\\S+) s, speed (\\S+) (\\S+), "
            "passive rotation (\\S+) s at (\\S+) \\S+, total (\\S+) s(.*)$"));
    const QRegularExpressionMatch match = line.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    LoggedRun run;
    run.channel = match.captured(1).toInt();
    run.subject = match.captured(2);
    run.started = match.captured(3);
    bool ok[5] = {};
    run.runTime = match.captured(4).toDouble(&ok[0]);
    run.speed = match.captured(5).toDouble(&ok[1]);
    run.units = match.captured(6);
    run.rotationTime = match.captured(7).toDouble(&ok[2]);
    run.rotationSpeed = match.captured(8).toDouble(&ok[3]);
    run.total = match.captured(9).toDouble(&ok[4]);
    for (const bool good : ok) {
        if (!good)
            return std::nullopt;
    }
    const QString notes = match.captured(10);
    run.speedFromRamp = notes.startsWith(logtext::kSpeedFromRamp);
    // The end note comes last, after any other.
    if (const qsizetype at = notes.lastIndexOf(logtext::kRunEnd); at >= 0)
        run.end = runEndOf(QStringView(notes).mid(at + logtext::kRunEnd.size()));
    return run;
}

LoggedChannel *runningChannel(LoggedSession &session, int channel)
{
    for (LoggedChannel &running : session.running) {
        if (running.channel == channel)
            return &running;
    }
    return nullptr;
}

// One line of a session that has not ended.
void take(LoggedSession &session, const QString &text)
{
    if (text.startsWith(logtext::kStarted) || text.startsWith(logtext::kRestarted)
        || text.startsWith(logtext::kMasterStart)) {
        // The channels line that follows says which went.
        session.started = true;
        session.running.clear();
        session.channelsKnown = false;
    } else if (text.startsWith(logtext::kChannelsRunning)) {
        if (auto channels = channelsOf(text.mid(logtext::kChannelsRunning.size()))) {
            session.running = std::move(*channels);
            session.channelsKnown = true;
        }
    } else if (text.startsWith(logtext::kSubjectOf)) {
        const QString rest = text.mid(logtext::kSubjectOf.size()); // "2: M3"
        if (rest.size() > 3 && rest.mid(1, 2) == QLatin1String(": ")) {
            if (LoggedChannel *running = runningChannel(session, rest.left(1).toInt()))
                running->subject = rest.mid(3);
        }
    } else if (text.startsWith(logtext::kRunRecorded)) {
        if (std::optional<LoggedRun> run = runOf(text.mid(logtext::kRunRecorded.size()))) {
            if (LoggedChannel *running = runningChannel(session, run->channel))
                running->recorded = true;
            session.runs.push_back(std::move(*run));
        }
    } else if (text.startsWith(logtext::kStopped) || text.startsWith(logtext::kSessionEnded)) {
        session.endLine = text;
    } else if (text.startsWith(logtext::kSetup)) {
        session.setup << text.mid(logtext::kSetup.size());
    } else if (text.startsWith(logtext::kDevice) && !session.started) {
        static const QRegularExpression device(QStringLiteral("^Device (\\d+) at address (\\d+),"));
        if (const QRegularExpressionMatch match = device.match(text); match.hasMatch()) {
            session.deviceNumber = match.captured(1).toInt();
            session.address = match.captured(2).toInt();
        }
    }
}

} // namespace

std::optional<std::vector<LoggedChannelId>> LoggedSession::unrecorded() const
{
    if (!channelsKnown)
        return std::nullopt;
    std::vector<LoggedChannelId> channels;
    for (const LoggedChannel &running : this->running) {
        if (!running.recorded)
            channels.emplace_back(running.channel, running.subject);
    }
    return channels;
}

std::vector<LoggedSession> readSessionLog(const QStringList &lines)
{
    std::vector<LoggedSession> sessions;
    for (const QString &line : lines) {
        if (!isStamped(line))
            continue;
        const QString text = line.mid(kStampLength + 1);
        const bool appending = text.startsWith(logtext::kAppending);
        if (appending || text.startsWith(logtext::kNewDataFile)) {
            LoggedSession session;
            session.began = stampOf(line);
            if (!session.began.isValid())
                continue;
            session.appending = appending;
            session.dataFile
                    = text.mid(appending ? logtext::kAppending.size() : logtext::kNewDataFile.size());
            sessions.push_back(std::move(session));
        } else if (!sessions.empty() && !sessions.back().ended()) {
            // What follows an end (the window's reset) changes nothing.
            take(sessions.back(), text);
        }
    }
    return sessions;
}

bool readSessionLogFile(const QString &path, std::vector<LoggedSession> &sessions)
{
    QStringList lines;
    if (!readTextLines(path, lines))
        return false;
    sessions = readSessionLog(lines);
    return true;
}

} // namespace velorix
