#include "experiment/core/datafilechoice.h"

#include "experiment/core/expdatafile.h"
#include "model/globals.h"

#include <QFile>

namespace velorix {

namespace {

FileRequest saveRequest(const QString &offered)
{
    FileRequest request;
    request.kind = FileRequest::Kind::Save;
    request.title = QStringLiteral("Save Experiment Data File");
    request.filter = QStringLiteral("Experiment Data (*.csv)|*.csv");
    request.initialFolder = strDataPath;
    request.initialName = offered;
    request.defaultSuffix = QStringLiteral("csv");
    return request;
}

} // namespace

bool DataFileChoice::backUpForAppend()
{
    ExpDataFile file;
    file.setFiles(m_record.strDataFile, m_record.strRawFile);
    QString why;
    if (file.backup(&why))
        return true;
    MessageRequest error = fileAccessError();
    error.text += QStringLiteral("\nThe backup %1 could not be made: %2")
                          .arg(datafile::bakNameFor(m_record.strDataFile), why);
    m_owner.ask(error);
    return !m_owner.gone();
}

DataFileChoice::Outcome DataFileChoice::choose()
{
    QString offered; // the name the dialog opens with: the last one answered No
    for (;;) {
        const QString chosen = datafile::withCsvSuffix(m_owner.fileName(saveRequest(offered)));
        if (m_owner.gone())
            return Outcome::WindowGone;
        m_record.strDataFile = chosen;
        m_record.strRawFile = datafile::rawNameFor(chosen);
        if (showName)
            showName(chosen);
        if (chosen.isEmpty()) {
            m_owner.ask(fileAccessError());
            return Outcome::NoName;
        }
        if (!QFile::exists(chosen))
            return Outcome::NewFile;

        const MessageAnswer answer = m_owner.ask(MessageRequest{
                chosen + QStringLiteral(" Exists! Append to Existing File?"), QStringLiteral("File Warning"),
                MessageRequest::Buttons::YesNoCancel, MessageRequest::Icon::Exclamation});
        if (m_owner.gone())
            return Outcome::WindowGone;
        if (answer == MessageAnswer::Yes)
            return backUpForAppend() ? Outcome::Append : Outcome::WindowGone;
        if (answer == MessageAnswer::No) {
            offered = chosen;
            continue;
        }
        m_record.strDataFile.clear();
        return Outcome::Cancelled;
    }
}

} // namespace velorix
