#pragma once

// The recording prompter: every message box and file dialog in tests.
//
// The program shows boxes and dialogs only through prompter()
// (model/prompter.h). RecordingPrompter::install() puts this one there; it
// keeps every request (`messages`, `fileRequests`) so a test can compare
// text, title, icon and buttons (texts() lists the texts, boxLine() one box), answers boxes from `answers` (then with
// `defaultAnswer`) and file dialogs from `fileNames` (then cancelled), and
// runs `whileShown` while a box is "open", to act under it (closing the
// window that asked, for example). SharedStateTest (statekit.h) installs
// one for every test.

#include "model/prompter.h"

#include <QStringList>

#include <deque>
#include <functional>
#include <memory>
#include <vector>

namespace velorix::testing {

// A message box in one line: "title | text | buttons, icon[, default No]".
inline QString boxLine(const MessageRequest &box)
{
    return box.title + " | " + box.text + " | "
            + QStringList{"Ok", "OkCancel", "YesNo", "YesNoCancel", "RetryCancel"}[int(box.buttons)] + ", "
            + QStringList{"None", "Information", "Exclamation", "Critical", "Question"}[int(box.icon)]
            + (box.defaultNo ? ", default No" : "");
}

class RecordingPrompter final : public Prompter
{
public:
    std::vector<MessageRequest> messages;
    std::vector<FileRequest> fileRequests;
    std::deque<MessageAnswer> answers; // then `defaultAnswer`
    MessageAnswer defaultAnswer = MessageAnswer::Ok;
    std::deque<QString> fileNames; // then "" (cancelled)
    std::function<void(const MessageRequest &)> whileShown;

    MessageAnswer message(QWidget *, const MessageRequest &request) override
    {
        messages.push_back(request);
        if (whileShown)
            whileShown(request);
        if (answers.empty())
            return defaultAnswer;
        const MessageAnswer answer = answers.front();
        answers.pop_front();
        return answer;
    }

    QString fileName(QWidget *, const FileRequest &request) override
    {
        fileRequests.push_back(request);
        if (fileNames.empty())
            return {};
        QString name = fileNames.front();
        fileNames.pop_front();
        return name;
    }

    // The texts of the boxes shown so far, in order.
    [[nodiscard]] QStringList texts() const
    {
        QStringList all;
        for (const MessageRequest &request : messages)
            all << request.text;
        return all;
    }

    // Installs a new one as the program's prompter, which owns it.
    static RecordingPrompter *install()
    {
        auto owned = std::make_unique<RecordingPrompter>();
        RecordingPrompter *raw = owned.get();
        setPrompter(std::move(owned));
        return raw;
    }
};

} // namespace velorix::testing
