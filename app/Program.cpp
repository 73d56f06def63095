#include "app/Program.h"

namespace tovari {

TProgram::TProgram(Dialogs& dialogs, const QString& serviceUrl, TLoginService::ShowLoginDialog showLoginDialog)
    : Form1(TForm1::Collaborators{dialogs, LoginDialog, Form3, serviceUrl, std::move(showLoginDialog)}), Form2(&Form1)
{
}

}  // namespace tovari
