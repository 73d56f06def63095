#include "service/LoginForm.h"

namespace tovari {

TLoginDialog::TLoginDialog(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("ログイン"));
}

}  // namespace tovari
