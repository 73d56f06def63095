#include "app/Program.h"

#include "upload/UploadCommand.h"

namespace tovari {

TProgram::TProgram(Dialogs& dialogs, const QString& serviceUrl, TLoginService::ShowLoginDialog showLoginDialog)
    : Form1(TForm1::Collaborators{dialogs, LoginDialog, Form3, serviceUrl, std::move(showLoginDialog)}),
      Form2(dialogs, &Form1)
{
    Form1.Upload().SetProgressDialog(Form2);
}

}  // namespace tovari
