#include "model/prompter.h"

#include <QDebug>

namespace velorix {

namespace {

// Until the program puts the real dialogs in place, nothing is shown: a
// question answers as if cancelled, so no action goes ahead unasked.
class UnansweredPrompter final : public Prompter
{
public:
    MessageAnswer message(QWidget *, const MessageRequest &request) override
    {
        qWarning().noquote() << "Unanswered message:" << request.title << request.text;
        return request.buttons == MessageRequest::Buttons::Ok       ? MessageAnswer::Ok
                : request.buttons == MessageRequest::Buttons::YesNo ? MessageAnswer::No
                                                                    : MessageAnswer::Cancel;
    }

    QString fileName(QWidget *, const FileRequest &request) override
    {
        qWarning().noquote() << "Unanswered file dialog:" << request.title;
        return {};
    }
};

std::unique_ptr<Prompter> &current()
{
    static std::unique_ptr<Prompter> instance = std::make_unique<UnansweredPrompter>();
    return instance;
}

} // namespace

Prompter &prompter()
{
    return *current();
}

void showMessage(QWidget *parent, const QString &text)
{
    MessageRequest request;
    request.text = text;
    static_cast<void>(prompter().message(parent, request));
}

void setPrompter(std::unique_ptr<Prompter> &&replacement)
{
    current() = replacement ? std::move(replacement) : std::make_unique<UnansweredPrompter>();
}

} // namespace velorix
