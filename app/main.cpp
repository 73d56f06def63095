#include "app/Program.h"
#include "platform/Application.h"
#include "platform/Dialogs.h"

int main(int argc, char** argv)
{
    tovari::TApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("tovari"));
    tovari::QtDialogs dialogs(tovari::kApplicationTitle);
    app.SetDialogs(&dialogs);
    tovari::TProgram program(dialogs, QStringLiteral(TOVARI_SERVICE_URL));
    program.Form1.show();
    return app.exec();
}
