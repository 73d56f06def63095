#include "app/Program.h"

namespace tovari {

TProgram::TProgram(Dialogs& dialogs, const QString& serviceUrl, TLoginService::ShowLoginDialog showLoginDialog,
                   std::chrono::seconds replyStallGuard)
    : Form1(TForm1::Collaborators{dialogs, LoginDialog, Form3, serviceUrl, std::move(showLoginDialog),
                                  replyStallGuard}),
      Form2(dialogs, &Form1)
{
    Form1.SetProgressDialog(Form2);
}

}  // namespace tovari
