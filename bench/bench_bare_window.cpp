// The yardstick of the start-up bench: a bare Qt main window with a Japanese menu that loads Qt's
// Japanese translations, as the program does. It is plain Qt, so none of the program's own start-up
// choices count on its side.
#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QMainWindow>
#include <QMenuBar>
#include <QTranslator>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QTranslator qtTexts;
    if (qtTexts.load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"), QStringLiteral("_"),
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        app.installTranslator(&qtTexts);
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Velmo.ネットの写真屋さん トヴァリ v20080101"));
    window.menuBar()->addMenu(QStringLiteral("操作(&S)"))->addAction(QStringLiteral("終了(&X)"));
    window.menuBar()->addMenu(QStringLiteral("ヘルプ(&H)"))->addAction(QStringLiteral("ヘルプ(&H)"));
    window.move(100, 100);
    window.resize(400, 300);
    window.show();
    return app.exec();
}
