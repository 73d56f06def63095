#pragma once

#include <QApplication>
#include <QTranslator>

namespace tovari {

class Dialogs;

// The application object. An exception that escapes an event handler ends that handler only: its
// message is shown in the plain message dialog and the program goes on. Qt's own texts (standard
// buttons, file and input dialogs) are Japanese, as the program's are, whatever the desktop's language.
class TApplication : public QApplication {
    Q_OBJECT
public:
    TApplication(int& argc, char** argv);

    // The dialogs that show escaped errors; not owned.
    void SetDialogs(Dialogs* dialogs) { dialogs_ = dialogs; }
    bool notify(QObject* receiver, QEvent* event) override;

private:
    Dialogs* dialogs_ = nullptr;
    QTranslator qtTexts_;
};

// Shows the message of an exception that ended a handler; used where a handler runs outside notify.
void ReportHandlerError(Dialogs& dialogs, const std::exception& e);

}  // namespace tovari
