#pragma once

// The system-information program behind the About box's "System Info..."
// button. Desktops name it differently, so the first of a short list of
// known tools that is installed is used; none at all is a normal case.

#include <QString>
#include <QStringList>

#include <functional>

namespace velorix {

class SystemInfoTool
{
public:
    // Starts the program detached from this one; false when it could not run.
    using Launcher = std::function<bool(const QString &program)>;

    SystemInfoTool();

    // In order of preference: dedicated hardware and system reports first,
    // then the desktops' system monitors.
    [[nodiscard]] static QStringList knownTools();

    // Folders to look in; empty means the folders of PATH.
    void setSearchPaths(const QStringList &folders);
    void setLauncher(Launcher launcher);

    // Full path of the first known tool found, or empty.
    [[nodiscard]] QString find() const;
    // Finds and starts the tool; false when there is none or it did not start.
    bool start() const;

private:
    QStringList m_searchPaths;
    Launcher m_launcher;
};

} // namespace velorix
