#include "experiment/core/templatechoice.h"

#include "model/globals.h"

#include <QFileInfo>

namespace velorix {

namespace {

QString labelTemplateTitle()
{
    return QStringLiteral("Channel Label Template");
}

} // namespace

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
    QList<int> doubtful;
    loadLabelTemplate(name, labels, &doubtful);
    if (doubtful.isEmpty())
        return true;
    QStringList numbers;
    for (int line : std::as_const(doubtful))
        numbers << QString::number(line);
    const QString text = doubtful.size() == 1
            ? QStringLiteral("Line %1 of %2 is not as a saved template writes it (four labels to a "
                             "line, seven lines): a label there may have held a comma or a line "
                             "break and been split. Check the labels read from it.")
            : QStringLiteral("Lines %1 of %2 are not as a saved template writes them (four labels "
                             "to a line, seven lines): a label there may have held a comma or a "
                             "line break and been split. Check the labels read from them.");
    m_owner.ask(MessageRequest{text.arg(numbers.join(QStringLiteral(", ")), name), labelTemplateTitle(),
                               MessageRequest::Buttons::Ok, MessageRequest::Icon::Exclamation});
    return !m_owner.gone();
}

void TemplateChoice::saveLabels(const LabelGrid &labels)
{
    // Said before a name is asked for: no file can take such a label.
    const QString problem = labelGridProblem(labels);
    if (!problem.isEmpty()) {
        m_owner.ask(MessageRequest{QStringLiteral("The template cannot be saved: ") + problem,
                                   labelTemplateTitle(), MessageRequest::Buttons::Ok,
                                   MessageRequest::Icon::Exclamation});
        return;
    }
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
    // is said so, with why, not passed over.
    QString why;
    if (!storeLabelTemplate(name, labels, &why)) {
        MessageRequest error = fileAccessError();
        error.text += QStringLiteral("\nThe channel label template %1 could not be saved: %2. "
                                     "An earlier file of that name is left as it was.")
                              .arg(name, why);
        m_owner.ask(error);
    }
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
        m_owner.ask(
                MessageRequest{text, title, MessageRequest::Buttons::Ok, MessageRequest::Icon::Exclamation});
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
