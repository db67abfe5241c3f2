#pragma once

// Answers every message box with a fixed answer and keeps what was asked,
// so tests can check texts, titles and icons exactly.

#include "app/prompter.h"

#include <QList>

#include <memory>

class RecordingPrompter final : public velorix::Prompter
{
public:
    velorix::MessageAnswer message(QWidget *, const velorix::MessageRequest &request) override
    {
        messages << request;
        return velorix::MessageAnswer::Ok;
    }
    QString fileName(QWidget *, const velorix::FileRequest &) override { return {}; }

    // Installs a new one as the program's prompter, which owns it.
    static RecordingPrompter *install()
    {
        auto owned = std::make_unique<RecordingPrompter>();
        RecordingPrompter *raw = owned.get();
        velorix::setPrompter(std::move(owned));
        return raw;
    }

    QList<velorix::MessageRequest> messages;
};
