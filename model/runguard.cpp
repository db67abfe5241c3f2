#include "model/runguard.h"

#include "model/prompter.h"
#include "model/runningexperiments.h"

#include <QStringList>

namespace velorix {

bool mayResetDuringRun(QWidget *parent, std::optional<std::uint8_t> address, const QString &action)
{
    const std::vector<RunningExperiment> affected = runningExperiments().on(address);
    if (affected.empty())
        return true;
    QStringList captions;
    for (const RunningExperiment &experiment : affected)
        captions << experiment.caption;
    MessageRequest question;
    question.title = QStringLiteral("Experiment Running");
    question.text = QStringLiteral("%1 would stop %2:\n\n%3\n\nRuns in progress would be cut short. "
                                   "Go ahead anyway?")
                            .arg(action,
                                 affected.size() == 1 ? QStringLiteral("this running experiment")
                                                      : QStringLiteral("these running experiments"),
                                 captions.join(QLatin1Char('\n')));
    question.buttons = MessageRequest::Buttons::YesNo;
    question.icon = MessageRequest::Icon::Exclamation;
    question.defaultNo = true;
    return prompter().message(parent, question) == MessageAnswer::Yes;
}

} // namespace velorix
