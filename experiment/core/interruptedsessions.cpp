#include "experiment/core/interruptedsessions.h"

#include "experiment/core/sessionlog.h"

#include <QDir>
#include <QFileInfo>

namespace velorix {

namespace {

// "run.csv, session begun 2024-05-06 09:00:00: not recorded: Ch 2 (M3)".
QString sessionText(const InterruptedSession &interrupted)
{
    const LoggedSession &session = interrupted.session;
    const QString dataFile = session.dataFile.isEmpty()
            ? QFileInfo(interrupted.logFile).completeBaseName() + QStringLiteral(".csv")
            : QFileInfo(session.dataFile).fileName();
    QString text = QStringLiteral("%1, session begun %2: ")
                           .arg(dataFile, session.began.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
    const auto unrecorded = session.unrecorded();
    if (!unrecorded)
        text += QStringLiteral("the channels that ran are not known (its log does not name them)");
    else if (!unrecorded->empty())
        text += QStringLiteral("not recorded: ") + SessionLog::channelList(*unrecorded);
    else if (session.started)
        text += QStringLiteral("every run was recorded");
    else
        text += QStringLiteral("the experiment had not started yet");
    if (!interrupted.closed)
        text += QStringLiteral(
                        " (this could not be noted in its log %1, so it is told again at the next start)")
                        .arg(QFileInfo(interrupted.logFile).fileName());
    return text;
}

} // namespace

std::vector<InterruptedSession> findInterruptedSessions(const QString &folder)
{
    std::vector<InterruptedSession> found;
    if (folder.isEmpty())
        return found;
    const QFileInfoList logs
            = QDir(folder).entryInfoList({QStringLiteral("*.log")}, QDir::Files | QDir::Hidden, QDir::Name);
    for (const QFileInfo &log : logs) {
        std::vector<LoggedSession> sessions;
        if (!readSessionLogFile(log.absoluteFilePath(), sessions) || sessions.empty()
            || sessions.back().ended())
            continue;
        found.push_back(InterruptedSession{log.absoluteFilePath(), sessions.back(), false});
    }
    return found;
}

void closeInterruptedSessions(std::vector<InterruptedSession> &sessions, std::function<QDateTime()> clock)
{
    SessionLog log(std::move(clock));
    for (InterruptedSession &interrupted : sessions) {
        const auto unrecorded = interrupted.session.unrecorded();
        log.open(interrupted.logFile);
        interrupted.closed = log.write(SessionLog::endedWithoutStopLine(unrecorded ? &*unrecorded : nullptr));
        log.close();
    }
}

MessageRequest interruptedSessionsMessage(const std::vector<InterruptedSession> &sessions)
{
    QStringList lines{
            QStringLiteral("These experiment sessions ended without a stop (the program or the computer "
                           "stopped). The runs named were in progress then and are not in their data "
                           "files:")};
    for (const InterruptedSession &interrupted : sessions)
        lines << sessionText(interrupted);
    return MessageRequest{lines.join(QLatin1Char('\n')), QStringLiteral("Interrupted Sessions"),
                          MessageRequest::Buttons::Ok, MessageRequest::Icon::Exclamation};
}

} // namespace velorix
