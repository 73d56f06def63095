#include "app/Helper.h"

namespace tovari {

TForm3::TForm3(QWidget* parent) : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint)
{
    setWindowTitle(QStringLiteral("トヴァリ ナビケーション"));
}

void TForm3::SetPage(int n)
{
    if (n > CurrentPage)
        CurrentPage = n;
}

}  // namespace tovari
