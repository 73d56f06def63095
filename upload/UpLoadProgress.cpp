#include "upload/UpLoadProgress.h"

#include "platform/Dialogs.h"
#include "platform/Fonts.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

namespace tovari {

TForm2::TForm2(Dialogs& dialogs, QWidget* parent) : QDialog(parent), dialogs_(dialogs)
{
    setObjectName(QStringLiteral("Form2"));
    // A title bar without system menu or buttons, above every other window.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint);
    setWindowTitle(QStringLiteral("画像転送中..."));
    setFont(PixelFont(QStringLiteral("Tahoma"), 11));
    setFixedSize(287, 101);
    setModal(false);

    Gauge1 = new QProgressBar(this);
    Gauge1->setAccessibleName(QStringLiteral("転送の進み具合"));
    Gauge1->setObjectName(QStringLiteral("Gauge1"));
    Gauge1->setGeometry(24, 40, 237, 21);
    Gauge1->setRange(0, 100);
    Gauge1->setValue(20);
    Gauge1->setTextVisible(false);
    Gauge1->setStyleSheet(QStringLiteral("QProgressBar::chunk { background: blue; }"));

    Label1 = new QLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(64, 12, 149, 17);
    Label1->setFixedSize(149, 17);
    Label1->setAutoFillBackground(true);
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    CancelButton = new QPushButton(QStringLiteral("キャンセル"), this);
    CancelButton->setObjectName(QStringLiteral("CancelButton"));
    CancelButton->setGeometry(204, 72, 75, 21);
    CancelButton->setAutoDefault(false);
    connect(CancelButton, &QPushButton::clicked, this, &TForm2::CancelButtonClick);

    hide();
}

void TForm2::SetProgress(int percent, int total, int current)
{
    // The label first: whoever follows the gauge's changes then sees the whole step.
    Label1->setText(QString::number(total) + QStringLiteral("個中 ") + QString::number(current) +
                    QStringLiteral("個目を転送中..."));
    Gauge1->setValue(percent);
}

bool AskToStopTransfer(Dialogs& dialogs, QWidget* owner)
{
    return dialogs.MessageBox(owner, QStringLiteral("転送を中断しますか？"), QStringLiteral("確認"),
                              Dialogs::Buttons::OkCancel, Dialogs::Icon::Information) == Dialogs::Result::Ok;
}

void TForm2::CancelButtonClick()
{
    if (AskToStopTransfer(dialogs_, this))
        emit UploadCancelRequested(true);
}

void TForm2::reject()
{
    // Esc and the window manager's close request would hide the dialog behind the batch's back.
}

}  // namespace tovari
