#pragma once

// The window that shows the operator's manual, an HTML book shipped in the
// program's help folder. It is the program's own viewer, so the manual reads
// the same on every system and needs no browser.

#include <QWidget>

class QPushButton;
class QTextBrowser;
class QUrl;

namespace velorix {

class HelpViewer final : public QWidget
{
    Q_OBJECT

public:
    // With a parent the viewer is a window of its own that the parent owns.
    explicit HelpViewer(QWidget *parent = nullptr);

    // Opens the book at its contents page and brings the viewer to the
    // front; false (and nothing shown) when the page is not there.
    bool showContents(const QString &contentsPage);

    [[nodiscard]] QTextBrowser *browser() const { return m_browser; }

private:
    void goToContents();

    QTextBrowser *m_browser = nullptr;
    QPushButton *m_contents = nullptr;
    QPushButton *m_back = nullptr;
    QPushButton *m_forward = nullptr;
    QString m_contentsPage;
};

} // namespace velorix
