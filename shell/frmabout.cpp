#include "shell/frmabout.h"

#include "model/globals.h"
#include "model/programfolder.h"
#include "model/prompter.h"
#include "model/version.h"
#include "shell/wheelpicture.h"

#include <QDir>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace velorix {

frmAbout::frmAbout(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About Velorix"));
    setWindowIcon(wheelIcon());

    auto *picture = new WheelPicture(72, this);
    picture->setObjectName(QStringLiteral("picIcon"));

    auto *title = new QLabel(programTitle(), this);
    title->setObjectName(QStringLiteral("lblTitle"));
    QFont titleFont = title->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.6);
    titleFont.setBold(true);
    title->setFont(titleFont);

    auto *version = new QLabel(versionText(), this);
    version->setObjectName(QStringLiteral("lblVersion"));

    auto *text = new QLabel(description(), this);
    text->setObjectName(QStringLiteral("lblDescription"));
    text->setWordWrap(true);
    text->setMinimumWidth(300);

    // Where the operator finds the device table and the data files again.
    auto *folders = new QLabel(dataFoldersText(), this);
    folders->setObjectName(QStringLiteral("lblDataFolders"));
    folders->setWordWrap(true);
    folders->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto *line = new QFrame(this);
    line->setObjectName(QStringLiteral("linSeparator"));
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);

    auto *ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("cmdok"));
    ok->setDefault(true);
    auto *sysInfo = new QPushButton(QStringLiteral("&System Info..."), this);
    sysInfo->setObjectName(QStringLiteral("cmdSysInfo"));
    sysInfo->setAutoDefault(false);

    auto *texts = new QVBoxLayout;
    texts->addWidget(title);
    texts->addWidget(version);
    texts->addSpacing(10);
    texts->addWidget(text);
    texts->addSpacing(6);
    texts->addWidget(folders);
    texts->addStretch(1);

    auto *top = new QHBoxLayout;
    top->setSpacing(18);
    top->addWidget(picture, 0, Qt::AlignTop);
    top->addLayout(texts, 1);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(sysInfo);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(18, 18, 18, 14);
    layout->addLayout(top, 1);
    layout->addSpacing(8);
    layout->addWidget(line);
    layout->addLayout(buttons);

    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(sysInfo, &QPushButton::clicked, this, &frmAbout::showSystemInfo);
}

QString frmAbout::description()
{
    return QStringLiteral(
            "Velorix connects several Velorix-5 devices to one central data-collection computer.");
}

QString frmAbout::dataFoldersText()
{
    // Start-up has set the paths; before that they follow from the folder
    // the program would choose.
    const QString working = workingFolder();
    const QString config
            = strDevIniPath.isEmpty() ? working + QStringLiteral("/config/device.ini") : strDevIniPath;
    const QString data = strDataPath.isEmpty() ? working + QStringLiteral("/Data") : strDataPath;
    return QStringLiteral("Device configuration: %1; data files: %2")
            .arg(QDir::toNativeSeparators(config), QDir::toNativeSeparators(data));
}

void frmAbout::showSystemInfo()
{
    if (m_systemInfo.start())
        return;
    prompter().message(this,
                       MessageRequest{QStringLiteral("System Information Is Unavailable At This Time"),
                                      programTitle(), MessageRequest::Buttons::Ok,
                                      MessageRequest::Icon::Information});
}

} // namespace velorix
