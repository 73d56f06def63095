#pragma once

#include "platform/Dialogs.h"

#include <QStringList>
#include <deque>

namespace tovari::test {

// Records every box instead of showing it, and answers from queues (OK and nothing when empty).
class RecordingDialogs : public Dialogs {
public:
    void ShowMessage(const QString& text) override { messages.append(text); }
    Result MessageBox(QWidget*, const QString& text, const QString& caption, Buttons, Icon) override
    {
        messages.append(caption + QStringLiteral(": ") + text);
        if (answers.empty())
            return Result::Ok;
        const Result r = answers.front();
        answers.pop_front();
        return r;
    }
    QString InputBox(const QString& caption, const QString& prompt, const QString& text) override
    {
        inputs.append(caption + QStringLiteral("|") + prompt + QStringLiteral("|") + text);
        return text;
    }
    std::optional<QString> BrowseForFolder(QWidget*, const QString& title) override
    {
        messages.append(title);
        if (folders.empty())
            return std::nullopt;
        auto f = folders.front();
        folders.pop_front();
        return f;
    }

    QStringList messages;
    QStringList inputs;
    std::deque<Result> answers;
    std::deque<std::optional<QString>> folders;
};

}  // namespace tovari::test
