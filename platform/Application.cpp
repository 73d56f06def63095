#include "platform/Application.h"

#include "platform/Dialogs.h"
#include "platform/Fonts.h"

#include <QLibraryInfo>
#include <QLocale>

#include <exception>

namespace tovari {

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv)
{
    // Without the translations installed Qt's texts stay English; nothing else changes.
    if (qtTexts_.load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"), QStringLiteral("_"),
                      QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        installTranslator(&qtTexts_);
    // Texts without a font of their own (Qt's dialogs, input fields) are Japanese too; naming the CJK
    // family spares every such text a search through the desktop's fallback fonts.
    QFont font = QApplication::font();
    font.setFamilies({kJapaneseFont});
    QApplication::setFont(font);
}

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
