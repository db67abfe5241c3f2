#pragma once

// Every message box and file dialog of the program goes through here, so
// that tests can answer them and check exactly what was asked.

#include <QString>

#include <memory>

class QWidget;

namespace velorix {

struct MessageRequest
{
    enum class Icon {
        None,
        Information,
        Exclamation,
        Critical,
        Question
    };
    enum class Buttons {
        Ok,
        OkCancel,
        YesNo,
        YesNoCancel,
        RetryCancel
    };

    QString text;
    QString title;
    Buttons buttons = Buttons::Ok;
    Icon icon = Icon::None;
    // The button Enter presses: No for a question whose Yes stops something.
    bool defaultNo = false;
};

enum class MessageAnswer {
    Ok,
    Cancel,
    Yes,
    No,
    Retry
};

struct FileRequest
{
    enum class Kind {
        Open,
        Save,
        Folder // an existing folder; the filter is not used
    };

    Kind kind = Kind::Open;
    QString title;
    // In the program's own form "Description (*.ext)|*.ext": the part before
    // the bar is shown, the part after it filters.
    QString filter;
    QString initialFolder;
    QString initialName;
    bool mustExist = false; // open: the file and its folder must exist
    QString defaultSuffix;  // save: added to a name typed without it ("csv")
};

class Prompter
{
public:
    virtual ~Prompter() = default;
    virtual MessageAnswer message(QWidget *parent, const MessageRequest &request) = 0;
    // The chosen file's full path, or empty when the user cancelled.
    virtual QString fileName(QWidget *parent, const FileRequest &request) = 0;
};

// The prompter in use: the program puts the real dialogs here at start-up
// (shell/dialogprompter.h), a test its own; before that, questions go
// unanswered (Cancel, No) so that nothing happens unasked.
[[nodiscard]] Prompter &prompter();
void setPrompter(std::unique_ptr<Prompter> &&replacement);

// A plain message with an OK button, no title and no icon.
void showMessage(QWidget *parent, const QString &text);

} // namespace velorix
