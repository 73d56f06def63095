// The yardstick of the start-up bench: a bare Qt main window with a Japanese menu, on the same
// application object as the program, so with the same Qt translations loaded.
#include "platform/Application.h"

#include <QMainWindow>
#include <QMenuBar>

int main(int argc, char** argv)
{
    tovari::TApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Velmo.ネットの写真屋さん トヴァリ v20080101"));
    window.menuBar()->addMenu(QStringLiteral("操作(&S)"))->addAction(QStringLiteral("終了(&X)"));
    window.menuBar()->addMenu(QStringLiteral("ヘルプ(&H)"))->addAction(QStringLiteral("ヘルプ(&H)"));
    window.move(100, 100);
    window.resize(400, 300);
    window.show();
    return app.exec();
}
