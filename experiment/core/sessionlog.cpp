#include "experiment/core/sessionlog.h"

#include "protocol/errordisplay.h"

#include "experiment/core/expdatafile.h"
#include "experiment/core/expnumbers.h"
#include "experiment/core/setupvalues.h"
#include "model/deviceinfo.h"
#include "protocol/resultcodes.h"

#include <QFile>

#include <utility>

namespace velorix {

namespace {

// Failures in a row without any answer before the contact counts as lost:
// two whole polls, so a single lost reply on a noisy line is no event.
constexpr int kSilentRepliesForLoss = 10;

bool isSilence(std::int16_t code)
{
    return code == rc::NoReply || code == rc::SerialError;
}

} // namespace

QString SessionLog::stamp(const QDateTime &when)
{
    return when.toString(logtext::kStampFormat);
}

QString SessionLog::codeText(std::int16_t code)
{
    const QString meaning = resultCodeMeaning(code);
    return meaning.isEmpty() ? QString::number(code) : QStringLiteral("%1 (%2)").arg(code).arg(meaning);
}

QStringList SessionLog::setupLines(const DeviceInfo &record, int rockInterval)
{
    const QString units = QLatin1Char(' ') + unitsText(record.bytExpOptions);
    const QString seconds = QStringLiteral(" s");
    const auto tenths = [](int value) { return format1(value / 10.0); };
    const QString prefix = logtext::kSetup;
    return {
            prefix + QStringLiteral("Start Speed ") + tenths(record.intStartSpeed) + units,
            prefix + QStringLiteral("End Speed ") + tenths(record.intEndSpeed) + units,
            prefix + QStringLiteral("Acceleration Interval ") + tenths(record.intAccInterval) + seconds,
            prefix + QStringLiteral("Acceleration Step Speed ") + tenths(record.intAccStep) + units,
            prefix + QStringLiteral("Passive Rotation Delay ") + tenths(record.intRotDelay) + seconds,
            prefix + QStringLiteral("Speed Units") + units,
            prefix + QStringLiteral("Wheel Type ")
                    + ((record.bytExpOptions & kOptionMouseWheel) ? QStringLiteral("Mouse Wheel")
                                                                  : QStringLiteral("Rat Wheel")),
            prefix + QStringLiteral("Wheel Rotation ")
                    + ((record.bytDirection & 1) ? QStringLiteral("CCW") : QStringLiteral("CW")),
            prefix + QStringLiteral("Options Byte %1").arg(record.bytExpOptions),
            prefix + QStringLiteral("Session Duration %1 s").arg(record.intDuration)
                    + (record.intDuration > 0 ? QString() : QStringLiteral(" (no limit)")),
            prefix + QStringLiteral("Rocking Interval %1 s").arg(rockInterval)
                    + (rockInterval > 0 ? QString() : QStringLiteral(" (no rocking)")),
    };
}

namespace {

struct RunEndWords
{
    RunEnd end;
    const char *words;
};
constexpr RunEndWords kRunEndWords[] = {
        {RunEnd::Fall, "fall"},
        {RunEnd::CutOff, "cut off at the session's end"},
        {RunEnd::StopButton, "\"Stop Experiment\""},
        {RunEnd::WindowClosed, "window closed"},
        {RunEnd::LastGoodReply, "recorded from the last good reply after a failed read"},
};

} // namespace

QString runEndText(RunEnd end)
{
    for (const RunEndWords &each : kRunEndWords) {
        if (each.end == end)
            return QLatin1String(each.words);
    }
    return QStringLiteral("unknown");
}

RunEnd runEndOf(QStringView text)
{
    for (const RunEndWords &each : kRunEndWords) {
        if (text == QLatin1String(each.words))
            return each.end;
    }
    return RunEnd::Unknown;
}

QString SessionLog::runLine(const QStringList &cells, const QString &units)
{
    if (cells.size() < 8)
        return logtext::kRunRecorded + cells.join(QLatin1Char(','));
    return logtext::kRunRecorded
            + QStringLiteral("channel %1, subject %2, started %3, run time %4 s, speed %5 %6, "
                             "passive rotation %7 s at %8 %6, total %9 s")
                      .arg(cells[1], cells[0], cells[2], cells[3], cells[4], units, cells[5], cells[6],
                           cells[7]);
}

QString SessionLog::channelList(const std::vector<LoggedChannelId> &channels)
{
    if (channels.empty())
        return QStringLiteral("none");
    QStringList parts;
    for (const auto &[channel, subject] : channels)
        parts << QStringLiteral("Ch %1 (%2)").arg(channel).arg(subject);
    return parts.join(QStringLiteral(", "));
}

QString SessionLog::channelsLine(const std::vector<LoggedChannelId> &channels)
{
    return logtext::kChannelsRunning + channelList(channels);
}

QString SessionLog::endedWithoutStopLine(const std::vector<LoggedChannelId> *unrecorded)
{
    return logtext::kEndedWithoutStop
            + (unrecorded ? channelList(*unrecorded)
                          : QStringLiteral("unknown (this log does not name the channels that ran)"));
}

void SessionLog::open(const QString &path)
{
    close();
    m_path = path;
    m_lost = 0;
    m_told = false;
    m_endChecked = false;
}

void SessionLog::writeRepeats()
{
    while (!m_streaks.empty()) {
        const std::string command = m_streaks.begin()->first;
        endStreak(command);
    }
}

void SessionLog::close()
{
    if (!isOpen())
        return;
    writeRepeats();
    m_silentReplies = 0;
    m_contactLost = QDateTime();
    m_path.clear();
}

bool SessionLog::write(const QString &text)
{
    if (!isOpen())
        return false;
    const QString now = stamp(m_now());
    QByteArray bytes;
    if (m_lost > 0)
        bytes += (now
                  + QStringLiteral(" (%1 line(s) of this log could not be written before this one)")
                            .arg(m_lost))
                         .toLatin1()
                + "\r\n";
    bytes += (now + QLatin1Char(' ') + text).toLatin1() + "\r\n";

    QFile file(m_path);
    bool written = file.open(QIODevice::ReadWrite | QIODevice::Append | QIODevice::Unbuffered);
    if (written) {
        const qint64 end = file.size();
        // A line a crash cut short is ended first rather than run into.
        if (!m_endChecked && end > 0 && file.seek(end - 1) && file.read(1) != "\n")
            bytes.prepend("\r\n");
        written = file.write(bytes) == bytes.size() && datafile::syncToDisk(file);
        if (!written)
            (void)file.resize(end); // no half line for the next one to run into
    }
    if (written) {
        m_endChecked = true;
        m_lost = 0;
        return true;
    }
    ++m_lost;
    if (!std::exchange(m_told, true) && troubled)
        troubled(m_path);
    return false;
}

void SessionLog::noteResult(const char *command, std::uint8_t address, std::int16_t code)
{
    if (!isOpen())
        return;
    const std::string name(command);
    const QString who = QStringLiteral("%1 to %2").arg(QLatin1String(command)).arg(address);
    if (code == rc::Ok) {
        m_silentReplies = 0;
        if (m_contactLost.isValid()) {
            const qint64 seconds = m_contactLost.secsTo(m_now());
            m_contactLost = QDateTime();
            write(QStringLiteral("Re-connected: %1 answered again after %2 s without contact")
                          .arg(who)
                          .arg(seconds));
        }
        if (m_streaks.count(name))
            endStreak(name);
        return;
    }

    const auto found = m_streaks.find(name);
    if (found != m_streaks.end() && found->second.code == code) {
        ++found->second.repeats;
    } else {
        if (found != m_streaks.end())
            endStreak(name);
        m_streaks[name] = Streak{code, address, 0};
        write(who + QStringLiteral(": ") + codeText(code));
    }

    if (!isSilence(code)) {
        m_silentReplies = 0; // something answered, if garbled
        return;
    }
    ++m_silentReplies;
    if (!m_contactLost.isValid() && (code == rc::SerialError || m_silentReplies >= kSilentRepliesForLoss)) {
        m_contactLost = m_now();
        write(QStringLiteral("Contact lost: the device at address %1 does not answer: %2")
                      .arg(address)
                      .arg(codeText(code)));
    }
}

void SessionLog::endStreak(const std::string &command)
{
    const auto found = m_streaks.find(command);
    if (found == m_streaks.end())
        return;
    const Streak streak = found->second;
    m_streaks.erase(found);
    if (streak.repeats > 0) {
        const QString who
                = QStringLiteral("%1 to %2").arg(QString::fromStdString(command)).arg(streak.address);
        write(QStringLiteral("%1: %2 again %3 more time(s)")
                      .arg(who, codeText(streak.code))
                      .arg(streak.repeats));
    }
}

} // namespace velorix
