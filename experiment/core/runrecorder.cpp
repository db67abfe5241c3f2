#include "experiment/core/runrecorder.h"

#include "experiment/core/expnumbers.h"
#include "experiment/core/setupvalues.h"
#include "model/version.h"
#include "link/linkresults.h"

#include <vector>

namespace velorix {

QString subjectOf(const DeviceInfo &record, int channel)
{
    const QString &id = record.strSubID[channel];
    return id.isEmpty() ? QStringLiteral("Channel %1").arg(channel + 1) : id;
}

RunRecorder::RunRecorder(int deviceIndex, std::uint8_t address, std::function<QDateTime()> clock)
    : m_devIndex(deviceIndex), m_devAddr(address), m_log(std::move(clock))
{
    m_log.troubled = [this](const QString &logFile) { emit sessionLogFailed(logFile); };
}

bool RunRecorder::openSession(const DeviceInfo &rec, bool append, int rockInterval)
{
    m_dataFile.setFiles(rec.strDataFile, rec.strRawFile);
    if (!append) {
        datafile::HeaderFacts facts;
        facts.versionMajor = kVersionMajor;
        facts.versionMinor = kVersionMinor;
        facts.deviceNumber = m_devIndex;
        if (!m_dataFile.writeHeader(datafile::headerLines(rec, facts)))
            return false;
    } else {
        m_dataFile.prepareAppend();
    }
    m_dataFileOk = m_dataFile.allWritten();
    emit dataFileState(m_dataFileOk);

    // The session log follows the data file: a new session after the
    // earlier ones of the same file.
    m_log.open(datafile::logNameFor(rec.strDataFile));
    m_sessionOpen = true;
    m_sessionRuns = 0;
    m_stopCause = StopCause::None;
    logEvent((append ? logtext::kAppending : logtext::kNewDataFile) + rec.strDataFile);
    logEvent(programTitle() + QLatin1Char(' ') + versionText());
    logEvent(logtext::kDevice
             + QStringLiteral("%1 at address %2, firmware %3")
                       .arg(m_devIndex)
                       .arg(m_devAddr)
                       .arg(QString::number(rec.sngVersion, 'f', 2)));
    for (const QString &line : SessionLog::setupLines(rec, rockInterval))
        logEvent(line);
    return true;
}

void RunRecorder::closeSession()
{
    if (!m_sessionOpen)
        return;
    m_sessionOpen = false;
    m_log.writeRepeats();
    logEvent(QStringLiteral("Experiment stopped (%1), %2 run(s) recorded")
                     .arg(m_stopCause == StopCause::Duration ? QStringLiteral("the session duration ended")
                                  : m_stopCause == StopCause::Close ? QStringLiteral("the window was closed")
                                                                    : QStringLiteral("\"Stop Experiment\""))
                     .arg(m_sessionRuns));
}

void RunRecorder::closeUnstarted()
{
    if (!m_sessionOpen)
        return;
    m_sessionOpen = false;
    logEvent(QStringLiteral("Session ended: the window was closed before the experiment started"));
}

void RunRecorder::retryAfterRun()
{
    if (m_dataFile.allWritten())
        return;
    tellDataFileState(m_dataFile.retry());
}

void RunRecorder::release()
{
    m_dataFile.retry();
    m_log.close();
}

void RunRecorder::noteStop(StopCause cause, int duration)
{
    if (!m_sessionOpen || m_stopCause != StopCause::None)
        return;
    m_stopCause = cause;
    switch (cause) {
    case StopCause::Button: logEvent(QStringLiteral("Stop requested: \"Stop Experiment\"")); break;
    case StopCause::Duration:
        logEvent(QStringLiteral("Stop requested: the session duration of %1 s ended").arg(duration));
        break;
    case StopCause::Close: logEvent(QStringLiteral("Stop requested: the window is being closed")); break;
    case StopCause::None: break;
    }
}

void RunRecorder::noteResult(const char *command, std::int16_t result)
{
    m_log.noteResult(command, m_devAddr, result);
    if (result != rc::Ok)
        ++m_counters.errors[result];
}

void RunRecorder::logChannelsRunning(const DeviceInfo &record)
{
    // Every start sets all four channels going.
    std::vector<LoggedChannelId> channels;
    channels.reserve(kChannels);
    for (int c = 0; c < kChannels; ++c)
        channels.emplace_back(c + 1, subjectOf(record, c));
    logEvent(SessionLog::channelsLine(channels));
}

void RunRecorder::logSubjectChanged(const DeviceInfo &record, int channel)
{
    if (m_sessionOpen)
        logEvent(logtext::kSubjectOf
                 + QStringLiteral("%1: %2").arg(channel + 1).arg(subjectOf(record, channel)));
}

RunEnd RunRecorder::stoppedRunEnd() const
{
    switch (m_stopCause) {
    case StopCause::Button: return RunEnd::StopButton;
    case StopCause::Close: return RunEnd::WindowClosed;
    case StopCause::Duration:
    case StopCause::None: break; // the device ended the session itself
    }
    return RunEnd::CutOff;
}

void RunRecorder::recordRun(DeviceInfo &rec, int c, readout::FallSpeeds &fall, RunEnd end)
{
    rec.bolResultReady[c] = false;
    if (rec.strSubID[c].isEmpty())
        rec.strSubID[c] = QStringLiteral("Channel %1").arg(c + 1);
    // A fall with no speed read near it takes the set-up's ramp, and says so.
    const std::uint8_t bit = std::uint8_t(1u << c);
    fall.settle(rec, c, true);
    const bool fromRamp = fall.fromRamp & bit;
    fall.fromRamp &= std::uint8_t(~bit);
    rec.sngTotalTime[c] = rec.sngRotTime[c] + rec.sngRunTime[c];
    const float lastColumn = m_accumulate ? m_subjects.accumulate(rec.strSubID[c], rec.sngTotalTime[c])
                                          : rec.sngTotalTime[c];
    QString idNote;
    const QStringList cells = datafile::runCells(rec, c, lastColumn, &idNote);
    if (!idNote.isEmpty())
        logEvent(idNote);
    const bool written = m_dataFile.append(datafile::csvLine(cells));
    ++m_counters.recordedRuns;
    ++m_sessionRuns;
    logEvent(SessionLog::runLine(cells, unitsText(rec.bytExpOptions))
             + (fromRamp ? logtext::kSpeedFromRamp
                                + QStringLiteral(
                                          "%1 s into the session: no reading of the wheel speed near it)")
                                          .arg(format1(fall.fallTime[c]))
                         : QString())
             + (written ? QString() : QStringLiteral(" (the data file is not written yet: the row waits)"))
             + SessionLog::runEndNote(end));
    emit rowRecorded(cells);
    tellDataFileState(written);
}

void RunRecorder::tellDataFileState(bool allWritten)
{
    if (allWritten == m_dataFileOk)
        return;
    m_dataFileOk = allWritten;
    emit dataFileState(allWritten);
}

} // namespace velorix
