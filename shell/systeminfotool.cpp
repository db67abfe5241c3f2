#include "shell/systeminfotool.h"

#include <QProcess>
#include <QStandardPaths>

#include <utility>

namespace velorix {

SystemInfoTool::SystemInfoTool()
    : m_launcher([](const QString &program) { return QProcess::startDetached(program, {}); })
{}

QStringList SystemInfoTool::knownTools()
{
    return {QStringLiteral("hardinfo2"),           QStringLiteral("hardinfo"),
            QStringLiteral("kinfocenter"),         QStringLiteral("gnome-system-monitor"),
            QStringLiteral("mate-system-monitor"), QStringLiteral("xfce4-taskmanager")};
}

void SystemInfoTool::setSearchPaths(const QStringList &folders)
{
    m_searchPaths = folders;
}

void SystemInfoTool::setLauncher(Launcher launcher)
{
    m_launcher = std::move(launcher);
}

QString SystemInfoTool::find() const
{
    for (const QString &tool : knownTools()) {
        QString path = QStandardPaths::findExecutable(tool, m_searchPaths);
        if (!path.isEmpty())
            return path;
    }
    return {};
}

bool SystemInfoTool::start() const
{
    const QString path = find();
    return !path.isEmpty() && m_launcher && m_launcher(path);
}

} // namespace velorix
