#pragma once

// The About box: the program's title, version and what it is for, and a way
// to the system's own information program.

#include "shell/systeminfotool.h"

#include <QDialog>

namespace velorix {

class frmAbout final : public QDialog
{
    Q_OBJECT

public:
    explicit frmAbout(QWidget *parent = nullptr);

    // Which tool "System Info..." starts, and how; tests point it elsewhere.
    [[nodiscard]] SystemInfoTool &systemInfoTool() { return m_systemInfo; }

    static QString description();
    // One line: where the device configuration file and the data files are.
    static QString dataFoldersText();

private:
    void showSystemInfo();

    SystemInfoTool m_systemInfo;
};

} // namespace velorix
