#pragma once

// What a run leaves behind, and how: the data file's rows, the session log
// beside it, and the tallies. The controller says what happened; this says
// how it is written down.

#include "experiment/core/expdatafile.h"
#include "experiment/core/readout.h"
#include "experiment/core/sessionlog.h"
#include "experiment/core/subjectlist.h"
#include "model/deviceinfo.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <map>

namespace velorix {

// Tallies for the benchmark and the tests.
struct ExpCounters
{
    int ticks = 0;  // ticks that ran (not put off)
    int polls = 0;  // polls whose Read_Times succeeded
    int putOff = 0; // ticks put off because the link was busy
    int recordedRuns = 0;
    std::map<int, int> errors; // result code -> commands that failed with it
};

// What ended (or is ending) the run, for the session log.
enum class StopCause {
    None,
    Button,
    Duration,
    Close
};

class RunRecorder final : public QObject
{
    Q_OBJECT
public:
    RunRecorder(int deviceIndex, std::uint8_t address, std::function<QDateTime()> clock);

    // The data file chosen for a run (the record holds its names): its
    // header unless appending, and a new session in its log. False when the
    // header could not be written; nothing is logged then.
    bool openSession(const DeviceInfo &record, bool append, int rockInterval);
    [[nodiscard]] bool sessionOpen() const { return m_sessionOpen; }
    // "Experiment stopped (...), n run(s) recorded", once a session.
    void closeSession();
    // The window closed before the experiment ever ran.
    void closeUnstarted();
    // After the run: a row that could not be written is tried once more.
    void retryAfterRun();
    // The unload: the rows still waiting are tried, the log is closed.
    void release();

    void noteStop(StopCause cause, int duration);
    void logEvent(const QString &text) { m_log.write(text); }
    // The result of one command; a failure is counted.
    void noteResult(const char *command, std::int16_t result);
    // "Channels running: ...", after each start.
    void logChannelsRunning(const DeviceInfo &record);
    // A subject ID changed: a run in progress is recorded under the new one.
    void logSubjectChanged(const DeviceInfo &record, int channel);

    // A channel's run to the data file, the grid and the log (updateexpdata).
    void recordRun(DeviceInfo &record, int channel, readout::FallSpeeds &fall, RunEnd end);
    // How a run cut short by the session's stop ended, by what asked for it.
    [[nodiscard]] RunEnd stoppedRunEnd() const;

    void setAccumulate(bool accumulate) { m_accumulate = accumulate; }
    [[nodiscard]] SubjectList &subjects() { return m_subjects; }
    [[nodiscard]] const ExpDataFile &dataFile() const { return m_dataFile; }
    [[nodiscard]] ExpCounters &counters() { return m_counters; }

signals:
    void rowRecorded(const QStringList &cells);
    void dataFileState(bool allWritten);
    void sessionLogFailed(const QString &logFile);

private:
    void tellDataFileState(bool allWritten);

    int m_devIndex;
    std::uint8_t m_devAddr;
    ExpDataFile m_dataFile;
    SubjectList m_subjects;
    SessionLog m_log;
    ExpCounters m_counters;
    StopCause m_stopCause = StopCause::None;
    int m_sessionRuns = 0;
    bool m_accumulate = false;
    bool m_dataFileOk = true;
    bool m_sessionOpen = false; // from the start until the stop is logged
};

// "Channel 2" for a channel without a subject ID.
[[nodiscard]] QString subjectOf(const DeviceInfo &record, int channel);

} // namespace velorix
