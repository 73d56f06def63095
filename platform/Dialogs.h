#pragma once

#include <QString>
#include <optional>

class QWidget;

namespace tovari {

// Every box the program shows goes through this interface, so tests can install a recording fake.
class Dialogs {
public:
    enum class Buttons { Ok, OkCancel };
    enum class Icon { None, Information, Warning, Error };
    enum class Result { Ok, Cancel };

    virtual ~Dialogs() = default;

    // The toolkit's plain message dialog: the application title as caption, one OK button.
    virtual void ShowMessage(const QString& text) = 0;
    // The system message box, with a caption and an icon of its own.
    virtual Result MessageBox(QWidget* owner, const QString& text, const QString& caption, Buttons buttons,
                              Icon icon) = 0;
    // A one-line text input box; returns the text as the user left it.
    virtual QString InputBox(const QString& caption, const QString& prompt, const QString& text) = 0;
    // The folder browser, opened at startFolder (the desktop's default when empty); nothing when the user
    // cancels.
    virtual std::optional<QString> BrowseForFolder(QWidget* owner, const QString& title,
                                                   const QString& startFolder) = 0;
};

class QtDialogs final : public Dialogs {
public:
    // The caption of plain message dialogs.
    explicit QtDialogs(QString applicationTitle) : title_(std::move(applicationTitle)) {}

    void ShowMessage(const QString& text) override;
    Result MessageBox(QWidget* owner, const QString& text, const QString& caption, Buttons buttons,
                      Icon icon) override;
    QString InputBox(const QString& caption, const QString& prompt, const QString& text) override;
    std::optional<QString> BrowseForFolder(QWidget* owner, const QString& title, const QString& startFolder) override;

private:
    QString title_;
};

}  // namespace tovari
