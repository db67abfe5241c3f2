#pragma once

// A study's files made as the experiment window makes them: a data file
// (header and run rows from the program's own format functions) and, if
// asked, its session log with a session's opening lines and a line for
// each run. Several sessions may go into one file, as an operator
// appending to it does. For the study tests and the study benchmark.

#include "experiment/core/expdatafile.h"
#include "experiment/core/expnumbers.h"
#include "experiment/core/sessionlog.h"
#include "experiment/core/setupvalues.h"
#include "model/deviceinfo.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>

#include <vector>

namespace velorix::testing {

struct MadeRun
{
    QString subject;
    int channel = 1;
    QDateTime start;
    double runTime = 0;
    RunEnd end = RunEnd::Fall;
    double speed = 20;
};

struct MadeSession
{
    std::vector<MadeRun> runs;
    int startSpeed = 40; // tenths, as the set-up holds them
    int endSpeed = 400;
    bool rpm = true;
    int deviceNumber = 1;
    int address = 128;
};

class StudyFileMaker
{
public:
    // `withLog`: the session log is written beside the data file.
    StudyFileMaker(QString csvPath, bool withLog) : m_csv(std::move(csvPath)), m_withLog(withLog)
    {
        QDir().mkpath(QFileInfo(m_csv).path());
    }

    // The first session writes the header; later ones append rows only.
    void add(const MadeSession &session)
    {
        DeviceInfo record;
        record.bytBusAddr = quint8(session.address);
        record.intStartSpeed = qint16(session.startSpeed);
        record.intEndSpeed = qint16(session.endSpeed);
        record.intAccInterval = 30;
        record.intAccStep = 10;
        record.intDuration = 300;
        record.bytExpOptions = session.rpm ? kOptionRpm : 0;
        record.strRawFile = datafile::rawNameFor(m_csv);
        record.dtExpStart = session.runs.empty() ? QDateTime() : session.runs.front().start;
        const QString units = unitsText(record.bytExpOptions);
        QByteArray data;
        QByteArray log;
        const QString stamp = SessionLog::stamp(record.dtExpStart) + QLatin1Char(' ');
        if (!m_started) {
            datafile::HeaderFacts facts;
            facts.deviceNumber = session.deviceNumber;
            for (const QString &line : datafile::headerLines(record, facts))
                data += line.toLatin1() + "\r\n";
        }
        log += (stamp + (m_started ? logtext::kAppending : logtext::kNewDataFile) + m_csv + "\n").toUtf8();
        log += (stamp + logtext::kDevice
                + QStringLiteral("%1 at address %2, firmware 2.20\n")
                          .arg(session.deviceNumber)
                          .arg(session.address))
                       .toUtf8();
        for (const QString &line : SessionLog::setupLines(record, 0))
            log += (stamp + line + "\n").toUtf8();
        for (const MadeRun &run : session.runs) {
            const QStringList cells{
                    run.subject,          QString::number(run.channel), datafile::formatStamp(run.start),
                    format1(run.runTime), format1(run.speed),           format1(0),
                    format1(run.speed),   format1(run.runTime)};
            data += datafile::csvLine(cells).toLatin1() + "\r\n";
            log += (SessionLog::stamp(run.start.addSecs(qint64(run.runTime))) + QLatin1Char(' ')
                    + SessionLog::runLine(cells, units) + SessionLog::runEndNote(run.end) + "\n")
                           .toUtf8();
        }
        m_started = true;
        appendTo(m_csv, data);
        if (m_withLog)
            appendTo(datafile::logNameFor(m_csv), log);
    }

private:
    static void appendTo(const QString &path, const QByteArray &bytes)
    {
        QFile file(path);
        if (file.open(QIODevice::Append))
            file.write(bytes);
    }

    QString m_csv;
    bool m_withLog;
    bool m_started = false;
};

} // namespace velorix::testing
