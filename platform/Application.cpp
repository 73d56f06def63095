#include "platform/Application.h"

#include "platform/Dialogs.h"

#include <exception>

namespace tovari {

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        if (dialogs_)
            ReportHandlerError(*dialogs_, e);
        return false;
    }
}

void ReportHandlerError(Dialogs& dialogs, const std::exception& e)
{
    dialogs.ShowMessage(QString::fromUtf8(e.what()));
}

}  // namespace tovari
