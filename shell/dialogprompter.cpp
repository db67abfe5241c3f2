#include "shell/dialogprompter.h"

#include <QFileDialog>
#include <QMessageBox>

namespace velorix {

namespace {

QMessageBox::Icon boxIcon(MessageRequest::Icon icon)
{
    switch (icon) {
    case MessageRequest::Icon::Information: return QMessageBox::Information;
    case MessageRequest::Icon::Exclamation: return QMessageBox::Warning;
    case MessageRequest::Icon::Critical: return QMessageBox::Critical;
    case MessageRequest::Icon::Question: return QMessageBox::Question;
    case MessageRequest::Icon::None: break;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButtons boxButtons(MessageRequest::Buttons buttons)
{
    switch (buttons) {
    case MessageRequest::Buttons::OkCancel: return QMessageBox::Ok | QMessageBox::Cancel;
    case MessageRequest::Buttons::YesNo: return QMessageBox::Yes | QMessageBox::No;
    case MessageRequest::Buttons::YesNoCancel:
        return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    case MessageRequest::Buttons::RetryCancel: return QMessageBox::Retry | QMessageBox::Cancel;
    case MessageRequest::Buttons::Ok: break;
    }
    return QMessageBox::Ok;
}

// "Experiment Data (*.csv)|*.csv" becomes "Experiment Data (*.csv)".
QString qtFilter(const QString &filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString &label = parts[i];
        filters << (label.contains(QLatin1Char('(')) ? label : label + " (" + parts[i + 1] + ')');
    }
    if (filters.isEmpty())
        filters << filter;
    return filters.join(QStringLiteral(";;"));
}

} // namespace

class DialogPrompter final : public Prompter
{
public:
    MessageAnswer message(QWidget *parent, const MessageRequest &request) override
    {
        QMessageBox box(boxIcon(request.icon), request.title, request.text, boxButtons(request.buttons),
                        parent);
        if (request.defaultNo)
            box.setDefaultButton(QMessageBox::No);
        switch (box.exec()) {
        case QMessageBox::Cancel: return MessageAnswer::Cancel;
        case QMessageBox::Yes: return MessageAnswer::Yes;
        case QMessageBox::No: return MessageAnswer::No;
        case QMessageBox::Retry: return MessageAnswer::Retry;
        default: break;
        }
        return request.buttons == MessageRequest::Buttons::Ok ? MessageAnswer::Ok : MessageAnswer::Cancel;
    }

    QString fileName(QWidget *parent, const FileRequest &request) override
    {
        QFileDialog dialog(parent, request.title, request.initialFolder, qtFilter(request.filter));
        if (request.kind == FileRequest::Kind::Save) {
            dialog.setAcceptMode(QFileDialog::AcceptSave);
            dialog.setFileMode(QFileDialog::AnyFile);
            // Overwriting is the caller's question (append or replace).
            dialog.setOption(QFileDialog::DontConfirmOverwrite);
            if (!request.defaultSuffix.isEmpty())
                dialog.setDefaultSuffix(request.defaultSuffix);
        } else if (request.kind == FileRequest::Kind::Folder) {
            dialog.setAcceptMode(QFileDialog::AcceptOpen);
            dialog.setFileMode(QFileDialog::Directory);
            dialog.setOption(QFileDialog::ShowDirsOnly);
        } else {
            dialog.setAcceptMode(QFileDialog::AcceptOpen);
            dialog.setFileMode(request.mustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
        }
        if (!request.initialName.isEmpty())
            dialog.selectFile(request.initialName);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return {};
        return dialog.selectedFiles().constFirst();
    }
};

std::unique_ptr<Prompter> makeDialogPrompter()
{
    return std::make_unique<DialogPrompter>();
}

} // namespace velorix
