#include "platform/Dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>

namespace tovari {

void QtDialogs::ShowMessage(const QString& text)
{
    QMessageBox box(QMessageBox::NoIcon, title_, text, QMessageBox::Ok,
                    QApplication::activeWindow());
    box.exec();
}

Dialogs::Result QtDialogs::MessageBox(QWidget* owner, const QString& text, const QString& caption,
                                      Buttons buttons, Icon icon)
{
    const QMessageBox::Icon qtIcon = icon == Icon::Information ? QMessageBox::Information
                                     : icon == Icon::Warning   ? QMessageBox::Warning
                                     : icon == Icon::Error     ? QMessageBox::Critical
                                                               : QMessageBox::NoIcon;
    const QMessageBox::StandardButtons qtButtons =
        buttons == Buttons::OkCancel ? QMessageBox::Ok | QMessageBox::Cancel : QMessageBox::Ok;
    QMessageBox box(qtIcon, caption, text, qtButtons, owner);
    if (buttons == Buttons::OkCancel)
        box.setEscapeButton(QMessageBox::Cancel);
    return box.exec() == QMessageBox::Ok ? Result::Ok : Result::Cancel;
}

QString QtDialogs::InputBox(const QString& caption, const QString& prompt, const QString& text)
{
    bool ok = false;
    const QString typed =
        QInputDialog::getText(QApplication::activeWindow(), caption, prompt, QLineEdit::Normal, text, &ok);
    return ok ? typed : text;
}

std::optional<QString> QtDialogs::BrowseForFolder(QWidget* owner, const QString& title, const QString& startFolder)
{
    const QString folder = QFileDialog::getExistingDirectory(owner, title, startFolder, QFileDialog::ShowDirsOnly);
    if (folder.isEmpty())
        return std::nullopt;
    return folder;
}

}  // namespace tovari
