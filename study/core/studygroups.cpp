#include "study/core/studygroups.h"

#include "base/safefile.h"
#include "study/core/csvfields.h"

#include <QDir>
#include <QFile>

namespace velorix {

namespace {

const QStringList kHeader{QStringLiteral("subject"), QStringLiteral("group")};

} // namespace

QString StudyGroups::fileIn(const QString &folder)
{
    return QDir(folder).filePath(QStringLiteral("groups.csv"));
}

QString StudyGroups::groupOf(const QString &subject) const
{
    const auto found = m_groups.find(subject);
    return found == m_groups.end() ? noGroup() : found->second;
}

void StudyGroups::set(const QString &subject, const QString &group)
{
    const QString name = group.trimmed();
    if (name.isEmpty() || name == noGroup())
        m_groups.erase(subject);
    else
        m_groups[subject] = name;
}

bool StudyGroups::read(const QString &path, std::vector<FileFault> &faults)
{
    m_groups.clear();
    QFile file(path);
    if (!file.exists())
        return true;
    if (!file.open(QIODevice::ReadOnly)) {
        faults.push_back(FileFault{path, 0, QStringLiteral("cannot be read: ") + file.errorString()});
        return false;
    }
    QString text = QString::fromUtf8(file.readAll());
    if (text.startsWith(QChar(0xFEFF))) // a spreadsheet's byte order mark
        text.remove(0, 1);
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QString line = lines[i];
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if (line.trimmed().isEmpty())
            continue;
        const std::optional<QStringList> cells = csv::fields(line);
        if (i == 0 && cells && cells->size() == 2
            && cells->at(0).trimmed().compare(kHeader[0], Qt::CaseInsensitive) == 0)
            continue;
        if (!cells || cells->size() != 2 || cells->at(0).trimmed().isEmpty()) {
            faults.push_back(FileFault{path, int(i + 1),
                                       QStringLiteral("not \"subject,group\": \"%1\"").arg(line.left(60))});
            continue;
        }
        set(cells->at(0).trimmed(), cells->at(1));
    }
    return true;
}

bool StudyGroups::write(const QString &path, QString *why) const
{
    QString text = csv::record(kHeader) + QLatin1Char('\n');
    for (const auto &[subject, group] : m_groups)
        text += csv::record({subject, group}) + QLatin1Char('\n');
    return replaceFile(path, text.toUtf8(), why);
}

void StudyGroups::applyTo(std::vector<StudyRun> &runs) const
{
    for (StudyRun &run : runs)
        run.group = groupOf(run.subject);
}

} // namespace velorix
