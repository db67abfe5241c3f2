#include "shell/helpviewer.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QPushButton>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace velorix {

HelpViewer::HelpViewer(QWidget *parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("frmHelp"));
    setWindowTitle(QStringLiteral("Velorix Help"));

    m_contents = new QPushButton(QStringLiteral("&Contents"), this);
    m_contents->setObjectName(QStringLiteral("cmdContents"));
    m_back = new QPushButton(QStringLiteral("&Back"), this);
    m_back->setObjectName(QStringLiteral("cmdBack"));
    m_forward = new QPushButton(QStringLiteral("&Forward"), this);
    m_forward->setObjectName(QStringLiteral("cmdForward"));
    auto *close = new QPushButton(QStringLiteral("C&lose"), this);
    close->setObjectName(QStringLiteral("cmdClose"));
    m_back->setEnabled(false);
    m_forward->setEnabled(false);

    m_browser = new QTextBrowser(this);
    m_browser->setObjectName(QStringLiteral("txtHelp"));
    // Pages of the book open here; anything else (a web address) would
    // leave the program, so it is not followed.
    m_browser->setOpenLinks(false);
    connect(m_browser, &QTextBrowser::anchorClicked, this, [this](const QUrl &link) {
        if (link.scheme().isEmpty() || link.isLocalFile())
            m_browser->setSource(m_browser->source().resolved(link));
    });

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_contents);
    buttons->addWidget(m_back);
    buttons->addWidget(m_forward);
    buttons->addStretch(1);
    buttons->addWidget(close);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(m_browser, 1);

    connect(m_contents, &QPushButton::clicked, this, &HelpViewer::goToContents);
    connect(m_back, &QPushButton::clicked, m_browser, &QTextBrowser::backward);
    connect(m_forward, &QPushButton::clicked, m_browser, &QTextBrowser::forward);
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    connect(m_browser, &QTextBrowser::backwardAvailable, m_back, &QPushButton::setEnabled);
    connect(m_browser, &QTextBrowser::forwardAvailable, m_forward, &QPushButton::setEnabled);

    resize(640, 560);
}

bool HelpViewer::showContents(const QString &contentsPage)
{
    if (!QFileInfo(contentsPage).isFile())
        return false;
    m_contentsPage = contentsPage;
    goToContents();
    show();
    raise();
    activateWindow();
    return true;
}

void HelpViewer::goToContents()
{
    if (!m_contentsPage.isEmpty())
        m_browser->setSource(QUrl::fromLocalFile(m_contentsPage));
}

} // namespace velorix
