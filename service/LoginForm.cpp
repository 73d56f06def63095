#include "service/LoginForm.h"

#include "platform/Fonts.h"

#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScreen>

namespace tovari {

namespace {

constexpr int kClientWidth = 414;
constexpr int kClientHeight = 186;

const char kStaticText[] =
    "アルバム会員としてログインしましょう！アルバム会員登録をすると自分だけのアルバムページを作成出来ます。"
    "更にそのアルバムの中から写真を選んでプリント出来ます。是非登録してください。"
    "アルバム会員の登録を行っていない方はキャンセルボタンを押してください。その場合は、アルバム機能は使えません。";

}  // namespace

QPixmap LoginHeaderPicture()
{
    QPixmap picture(106, 25);
    picture.fill(Qt::transparent);
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);

    // Three prints fanned out behind a small camera.
    const QColor paper(255, 255, 255);
    const QColor edge(40, 60, 110);
    p.setPen(QPen(edge, 1));
    for (int i = 0; i < 3; ++i) {
        p.save();
        p.translate(60 + i * 13, 13);
        p.rotate(-12 + i * 12);
        p.setBrush(paper);
        p.drawRect(QRectF(-7, -9, 14, 18));
        p.setBrush(QColor(120 + i * 40, 170, 230 - i * 40));
        p.drawRect(QRectF(-5, -7, 10, 11));
        p.restore();
    }

    QPainterPath body;
    body.addRoundedRect(QRectF(4, 6, 38, 17), 3, 3);
    body.addRect(QRectF(10, 3, 10, 4));
    p.setBrush(paper);
    p.drawPath(body.simplified());
    p.setBrush(edge);
    p.drawEllipse(QPointF(23, 14.5), 6.5, 6.5);
    p.setBrush(QColor(150, 200, 250));
    p.drawEllipse(QPointF(23, 14.5), 3.5, 3.5);
    p.setBrush(QColor(250, 190, 60));
    p.drawRect(QRectF(35, 8, 4, 3));
    return picture;
}

TLoginDialog::TLoginDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint)
{
    setWindowTitle(QStringLiteral("ログイン"));
    setFixedSize(kClientWidth, kClientHeight);
    setModal(true);

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setGeometry(0, 0, kClientWidth, 33);

    Image1 = new QLabel(Panel1);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(4, 4, 106, 25);
    Image1->setPixmap(LoginHeaderPicture());

    Label1 = new QLabel(QStringLiteral("トヴァリ"), Panel1);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setFont(PixelFont(QStringLiteral("ＭＳ Ｐゴシック"), 19, true));
    Label1->setGeometry(118, 4, 200, 25);

    StaticText1 = new QLabel(QString::fromUtf8(kStaticText), this);
    StaticText1->setObjectName(QStringLiteral("StaticText1"));
    StaticText1->setGeometry(4, 37, 405, 57);
    StaticText1->setFrameShape(QFrame::Box);
    StaticText1->setWordWrap(true);
    StaticText1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    StaticText1->setContentsMargins(2, 0, 1, 0);
    // The whole text has to fit the fixed 405 x 57 frame.
    QFont smallFont = StaticText1->font();
    smallFont.setPixelSize(9);
    StaticText1->setFont(smallFont);

    Label3 = new QLabel(QStringLiteral("メールアドレス"), this);
    Label3->setGeometry(12, 104, 90, 21);
    EditEmail = new QLineEdit(this);
    EditEmail->setObjectName(QStringLiteral("EditEmail"));
    EditEmail->setGeometry(108, 104, 298, 21);
    Label3->setBuddy(EditEmail);

    Label4 = new QLabel(QStringLiteral("パスワード"), this);
    Label4->setGeometry(12, 130, 90, 21);
    EditPasswd = new QLineEdit(this);
    EditPasswd->setObjectName(QStringLiteral("EditPasswd"));
    EditPasswd->setGeometry(108, 130, 298, 21);
    EditPasswd->setEchoMode(QLineEdit::Password);
    Label4->setBuddy(EditPasswd);

    OKBtn = new QPushButton(QStringLiteral("ログイン"), this);
    OKBtn->setObjectName(QStringLiteral("OKBtn"));
    OKBtn->setGeometry(240, 158, 80, 24);
    OKBtn->setDefault(true);
    connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);

    // QDialog already maps Escape to reject.
    CancelBtn = new QPushButton(QStringLiteral("キャンセル"), this);
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    CancelBtn->setGeometry(326, 158, 80, 24);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);

    setTabOrder(EditEmail, EditPasswd);
    setTabOrder(EditPasswd, OKBtn);
    setTabOrder(OKBtn, CancelBtn);

    setStyleSheet(QStringLiteral("QFrame#Panel1 { background-color: palette(highlight); }"
                                 "QLabel#Label1 { color: palette(highlighted-text); }"
                                 "QLineEdit#EditPasswd { lineedit-password-character: 42; }"
                                 "QLabel#StaticText1 { background-color: palette(highlight);"
                                 " color: palette(highlighted-text); border: 1px solid palette(dark); }"));
    FormCreate();
}

void TLoginDialog::FormCreate()
{
    EditEmail->clear();
    EditPasswd->clear();
}

void TLoginDialog::showEvent(QShowEvent* event)
{
    CentreOnScreen();
    QDialog::showEvent(event);
}

void TLoginDialog::CentreOnScreen()
{
    QScreen* screen = parentWidget() ? parentWidget()->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    QRect frame = frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
}

}  // namespace tovari
