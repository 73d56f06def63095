#include "app/Program.h"

namespace tovari {

TProgram::TProgram(Dialogs& dialogs, const QString& serviceUrl)
    : Form1(TForm1::Collaborators{dialogs, LoginDialog, Form3, serviceUrl}), Form2(&Form1)
{
}

}  // namespace tovari
