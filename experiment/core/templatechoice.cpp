#include "experiment/core/templatechoice.h"

#include "model/globals.h"

#include <QFileInfo>

namespace velorix {

bool TemplateChoice::loadLabels(LabelGrid &labels)
{
    FileRequest request;
    request.kind = FileRequest::Kind::Open;
    request.title = QStringLiteral("Channel Label Template File");
    request.filter = QStringLiteral("Channel Label Template (*.txt)|*.txt");
    request.initialFolder = QFileInfo(strDevIniPath).path();
    request.mustExist = true;
    const QString name = m_owner.fileName(request);
    if (m_owner.gone())
        return false;
    m_record.strTemplateFile = name;
    // A file that cannot be read leaves the rows read so far.
    loadLabelTemplate(name, labels);
    return true;
}

void TemplateChoice::saveLabels(const LabelGrid &labels)
{
    FileRequest request;
    request.kind = FileRequest::Kind::Save;
    request.title = QStringLiteral("Save Channel Template File");
    request.filter = QStringLiteral("Channel Template Data (*.txt)|*.txt");
    request.initialFolder = strDataPath;
    request.defaultSuffix = QStringLiteral("txt");
    const QString name = m_owner.fileName(request);
    if (m_owner.gone())
        return;
    m_record.strTemplateFile = name;
    if (name.isEmpty())
        return;
    // Saving is what the user asked for: a file that could not be written
    // is said so, not passed over.
    if (!storeLabelTemplate(name, labels))
        m_owner.ask(fileAccessError());
}

bool TemplateChoice::loadExperiment()
{
    FileRequest request;
    request.kind = FileRequest::Kind::Open;
    request.title = QStringLiteral("Open Experiment Template File");
    request.filter = QStringLiteral("Experiment Data (*.csv)|*.csv");
    request.initialFolder = strDataPath;
    request.mustExist = true;
    const QString name = m_owner.fileName(request);
    if (m_owner.gone())
        return false;
    m_record.strDataFile = name;
    if (name.isEmpty())
        return false;
    const ExperimentTemplateLoad load = loadExperimentTemplate(name, m_record);
    const QString title = QStringLiteral("Experiment Template");
    const auto tell = [&](const QString &text) {
        m_owner.ask(MessageRequest{text, title, MessageRequest::Buttons::Ok, MessageRequest::Icon::Exclamation});
    };
    if (!load.opened)
        m_owner.ask(fileAccessError());
    else if (!load.skipped.isEmpty())
        tell(QStringLiteral("These lines of %1 could not be used and were skipped:\n%2")
                 .arg(name, load.skipped.join(QLatin1Char('\n'))));
    else if (load.valuesTaken == 0)
        tell(QStringLiteral("%1 holds no experiment set-up.").arg(name));
    return !m_owner.gone();
}

} // namespace velorix
