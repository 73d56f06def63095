#pragma once

#include "app/Helper.h"
#include "app/Unit1.h"
#include "service/LoginForm.h"
#include "upload/UpLoadProgress.h"

namespace tovari {

// The program's four windows, made in this order and living until it ends.
class TProgram {
public:
    TProgram(Dialogs& dialogs, const QString& serviceUrl, TLoginService::ShowLoginDialog showLoginDialog = {},
             std::chrono::seconds replyStallGuard = THttpClient::kStallTimeout);

    TLoginDialog LoginDialog;
    TForm3 Form3;
    TForm1 Form1;
    TForm2 Form2;
};

// The application title, shown in the task bar and as the caption of plain message dialogs.
inline const QString kApplicationTitle = QStringLiteral("トヴァリ");

}  // namespace tovari
