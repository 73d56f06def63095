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
    std::optional<QString> BrowseForFolder(QWidget*, const QString& title, const QString& startFolder) override
    {
        messages.append(title);
        browseStarts.append(startFolder);
        if (folders.isEmpty() || folders.front().isNull()) {
            if (!folders.isEmpty())
                folders.pop_front();
            return std::nullopt;
        }
        return folders.takeFirst();
    }

    QStringList messages;
    QStringList inputs;
    std::deque<Result> answers;
    QStringList folders;  // a null entry cancels
    QStringList browseStarts;  // the folder each browser opened at
};

}  // namespace tovari::test
