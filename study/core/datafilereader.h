#pragma once

// Reads an experiment data file back: its header (the device, the units
// and the set-up of its first session) and its run rows, each with its
// line number. Every line the reading cannot take (a row whose cells do
// not fit the headings, a last line cut short) is given as a fault, and
// the reading goes on with the next.

#include "study/core/studyrun.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringView>

#include <vector>

namespace velorix {

struct DataFileRow
{
    int line = 0; // from 1
    QString subject;
    int channel = 0; // 1 to 4
    QDateTime start;
    double runTime = 0;
    double speed = 0;
    double rotationTime = 0;
    double rotationSpeed = 0;
    QString startText; // the start time as the file has it
};

struct DataFileHeader
{
    int deviceNumber = 0;
    int address = 0;
    QString units; // of the column headings: "RPM" or "cm/s"
    RunSetup setup;
};

struct DataFileReading
{
    // Its first line, its "[Experiment Data]" line and its headings are a
    // data file's; only then are rows read.
    bool isDataFile = false;
    DataFileHeader header;
    std::vector<DataFileRow> rows;
    std::vector<FileFault> faults; // their file left empty
};

// `bytes`: the whole file, as the program writes it (8-bit, CR LF; LF alone
// is taken too).
[[nodiscard]] DataFileReading readDataFileBytes(const QByteArray &bytes);
// The first line of every data file starts so.
[[nodiscard]] bool isDataFileTitle(QStringView firstLine);
// "03/07/05 14:09:30" (a year of two digits is of this century), or an
// invalid time.
[[nodiscard]] QDateTime dataFileStamp(QStringView text);

} // namespace velorix
