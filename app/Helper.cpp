#include "app/Helper.h"

#include "platform/Fonts.h"

#include <QCheckBox>
#include <QFont>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>

#include <functional>

namespace tovari {

namespace {

// Colours of the guide pictures.
const QColor kBackground(0xEE, 0xF3, 0xF9);
const QColor kFrame(0x9D, 0xAB, 0xBD);
const QColor kTitleBar(0x5B, 0x7F, 0xB8);
const QColor kAccent(0x2F, 0x80, 0xED);
const QColor kAccentSoft(0xD4, 0xE5, 0xFD);
const QColor kOrange(0xF2, 0x8C, 0x28);
const QColor kFolder(0xF6, 0xC3, 0x4A);
const QColor kInk(0x2E, 0x38, 0x46);
const QColor kMuted(0xCB, 0xD3, 0xDE);

// Draws an application window and returns its client area.
QRectF DrawWindowFrame(QPainter& p, const QRectF& bounds, const QColor& titleColour)
{
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 28));
    p.drawRoundedRect(bounds.translated(2, 2), 4, 4);
    p.setBrush(Qt::white);
    p.setPen(QPen(kFrame, 1));
    p.drawRoundedRect(bounds, 4, 4);
    QPainterPath title;
    title.addRoundedRect(QRectF(bounds.left(), bounds.top(), bounds.width(), 12), 4, 4);
    title.addRect(QRectF(bounds.left(), bounds.top() + 6, bounds.width(), 6));
    p.setPen(Qt::NoPen);
    p.setBrush(titleColour);
    p.drawPath(title.simplified());
    p.setBrush(QColor(255, 255, 255, 190));
    for (int i = 0; i < 3; ++i)
        p.drawEllipse(QPointF(bounds.right() - 8 - i * 7, bounds.top() + 6), 2, 2);
    return QRectF(bounds.left() + 1, bounds.top() + 12, bounds.width() - 2, bounds.height() - 13);
}

void DrawPointer(QPainter& p, const QPointF& tip)
{
    static const QPointF shape[] = {{0, 0}, {0, 15}, {3.6, 11.6}, {6.4, 18}, {9, 16.9}, {6.2, 10.7}, {11, 10.7}};
    QPolygonF arrow;
    for (const QPointF& point : shape)
        arrow << tip + point;
    p.setPen(QPen(kInk, 1.1, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::white);
    p.drawPolygon(arrow);
}

void DrawFolderIcon(QPainter& p, const QRectF& r, const QColor& fill)
{
    p.setPen(Qt::NoPen);
    p.setBrush(fill.darker(112));
    p.drawRoundedRect(QRectF(r.left(), r.top(), r.width() * 0.45, 4), 1.2, 1.2);
    p.setBrush(fill);
    p.drawRoundedRect(QRectF(r.left(), r.top() + 2, r.width(), r.height() - 2), 1.5, 1.5);
}

// A tiny landscape photo; the variant picks the sky and the land.
void DrawPhoto(QPainter& p, const QRectF& r, int variant)
{
    static const QColor skies[] = {{0x8E, 0xC9, 0xF5}, {0xF9, 0xC7, 0x8B}, {0xA9, 0xDB, 0xE8},
                                   {0xC6, 0xB8, 0xF0}, {0x9F, 0xD4, 0xF7}, {0xF6, 0xB2, 0xB8}};
    static const QColor lands[] = {{0x6C, 0xBF, 0x6A}, {0x4E, 0x9F, 0x8C}, {0x8C, 0xC6, 0x5A},
                                   {0x5F, 0xA8, 0x6E}, {0x7A, 0xB8, 0x4E}, {0x58, 0xA6, 0x9A}};
    const int v = variant % 6;
    p.save();
    p.setClipRect(r);
    p.fillRect(r, skies[v]);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xFF, 0xF1, 0x9C));
    p.drawEllipse(QPointF(r.left() + r.width() * (0.25 + 0.1 * (v % 3)), r.top() + r.height() * 0.3),
                  r.height() * 0.14, r.height() * 0.14);
    p.setBrush(lands[v].lighter(115));
    p.drawEllipse(QRectF(r.left() + r.width() * 0.35, r.top() + r.height() * 0.5, r.width() * 0.9, r.height() * 0.9));
    p.setBrush(lands[v]);
    p.drawEllipse(QRectF(r.left() - r.width() * 0.3, r.top() + r.height() * 0.62, r.width() * 1.0, r.height() * 0.8));
    p.restore();
}

// A grey stand-in for a line of text.
void DrawTextBar(QPainter& p, const QRectF& r, const QColor& colour = kMuted)
{
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawRoundedRect(r, r.height() / 2, r.height() / 2);
}

void DrawSelectionMark(QPainter& p, const QPointF& centre)
{
    p.setPen(QPen(Qt::white, 1));
    p.setBrush(kAccent);
    p.drawEllipse(centre, 4, 4);
    p.setPen(QPen(Qt::white, 1.3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPolyline(QPolygonF({centre + QPointF(-2, 0), centre + QPointF(-0.5, 1.6), centre + QPointF(2.2, -1.6)}));
}

// The step number in the top left corner.
void DrawStepBadge(QPainter& p, int page)
{
    p.setPen(QPen(Qt::white, 1.5));
    p.setBrush(kOrange);
    p.drawEllipse(QPointF(11, 11), 8.5, 8.5);
    p.setPen(Qt::white);
    p.setFont(PixelFont(kJapaneseFont, 11, true));
    p.drawText(QRectF(2.5, 2.5, 17, 17), Qt::AlignCenter, QString::number(page + 1));
}

constexpr int kGridColumns = 4;
constexpr int kGridRows = 3;

QRectF GridThumbRect(const QRectF& client, int row, int column)
{
    return QRectF(client.left() + 8 + column * 42, client.top() + 8 + row * 36, 36, 27);
}

// The photo list of the main window; selected cells are drawn as selected.
void DrawPhotoGrid(QPainter& p, const QRectF& client, const bool (&selected)[kGridRows][kGridColumns])
{
    for (int row = 0; row < kGridRows; ++row) {
        for (int column = 0; column < kGridColumns; ++column) {
            const QRectF thumb = GridThumbRect(client, row, column);
            const bool isSelected = selected[row][column];
            if (isSelected) {
                p.setPen(Qt::NoPen);
                p.setBrush(kAccentSoft);
                p.drawRoundedRect(thumb.adjusted(-3, -3, 3, 8), 3, 3);
            }
            DrawPhoto(p, thumb, row * kGridColumns + column);
            p.setPen(isSelected ? QPen(kAccent, 2) : QPen(kMuted, 1));
            p.setBrush(Qt::NoBrush);
            p.drawRect(thumb);
            DrawTextBar(p, QRectF(thumb.left() + 6, thumb.bottom() + 2, 24, 2.5), isSelected ? kAccent : kMuted);
            if (isSelected)
                DrawSelectionMark(p, thumb.topRight() + QPointF(-4, 4));
        }
    }
}

void DrawChooseFolder(QPainter& p)
{
    const QRectF client = DrawWindowFrame(p, QRectF(10, 8, 182, 134), kTitleBar);
    const qreal divider = client.left() + 80;
    p.setPen(QPen(kMuted, 1));
    p.drawLine(QPointF(divider, client.top()), QPointF(divider, client.bottom()));

    struct TreeRow {
        int level;
        qreal nameWidth;
    };
    static const TreeRow rows[] = {{0, 36}, {1, 30}, {1, 38}, {2, 32}, {2, 26}, {1, 34}, {0, 28}};
    constexpr int kChosenRow = 3;
    const qreal rowHeight = 15;
    for (int i = 0; i < int(std::size(rows)); ++i) {
        const qreal top = client.top() + 5 + i * rowHeight;
        const qreal x = client.left() + 5 + rows[i].level * 10;
        if (i == kChosenRow) {
            p.setPen(Qt::NoPen);
            p.setBrush(kAccent);
            p.drawRoundedRect(QRectF(client.left() + 3, top - 1.5, divider - client.left() - 6, rowHeight - 1), 3, 3);
        }
        if (rows[i].level > 0) {
            p.setPen(QPen(kMuted, 1, Qt::DotLine));
            p.drawLine(QPointF(x - 5, top + 5), QPointF(x - 1, top + 5));
        }
        DrawFolderIcon(p, QRectF(x, top, 13, 10), kFolder);
        DrawTextBar(p, QRectF(x + 17, top + 3.5, rows[i].nameWidth, 3.5), i == kChosenRow ? Qt::white : kMuted);
    }

    // Where the photos of the chosen folder will appear.
    p.setOpacity(0.45);
    for (int row = 0; row < 2; ++row) {
        for (int column = 0; column < 2; ++column) {
            const QRectF slot(divider + 8 + column * 44, client.top() + 10 + row * 42, 36, 27);
            DrawPhoto(p, slot, row * 2 + column + 2);
        }
    }
    p.setOpacity(1);
    p.setPen(QPen(kAccent, 1.5, Qt::DashLine));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(divider + 4, client.top() + 6, 88, 80), 4, 4);

    DrawPointer(p, QPointF(client.left() + 58, client.top() + 5 + kChosenRow * rowHeight + 6));
}

void DrawSelectPhotos(QPainter& p)
{
    const QRectF client = DrawWindowFrame(p, QRectF(10, 8, 182, 134), kTitleBar);
    const bool selected[kGridRows][kGridColumns] = {{false, true, true, false}, {false, true, true, false},
                                                    {false, false, false, false}};
    DrawPhotoGrid(p, client, selected);

    const QRectF drag(QPointF(client.left() + 44, client.top() + 3), QPointF(client.left() + 136, client.top() + 75));
    QColor dragFill = kAccent;
    dragFill.setAlpha(40);
    p.setPen(QPen(kAccent, 1.2, Qt::DashLine));
    p.setBrush(dragFill);
    p.drawRect(drag);
    DrawPointer(p, drag.bottomRight());
}

void DrawAddToPrint(QPainter& p)
{
    const QRectF client = DrawWindowFrame(p, QRectF(10, 8, 182, 134), kTitleBar);
    const bool selected[kGridRows][kGridColumns] = {{true, true, false, false}, {false, true, false, false},
                                                    {false, false, false, false}};
    DrawPhotoGrid(p, client, selected);

    const QRectF menu(62, 52, 126, 76);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 40));
    p.drawRoundedRect(menu.translated(2, 3), 3, 3);
    p.setPen(QPen(kFrame, 1));
    p.setBrush(Qt::white);
    p.drawRoundedRect(menu, 3, 3);

    const qreal itemHeight = 14;
    const qreal itemsTop = menu.top() + 4;
    DrawTextBar(p, QRectF(menu.left() + 10, itemsTop + 5, 58, 3.5));
    const QRectF chosen(menu.left() + 3, itemsTop + itemHeight, menu.width() - 6, itemHeight);
    p.setPen(Qt::NoPen);
    p.setBrush(kAccent);
    p.drawRoundedRect(chosen, 2, 2);
    p.setPen(Qt::white);
    p.setFont(PixelFont(kJapaneseFont, 9, true));
    p.drawText(chosen.adjusted(6, 0, -2, 0), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("画像をプリントに追加する"));
    p.setPen(QPen(kMuted, 1));
    const qreal separator = itemsTop + 2 * itemHeight + 4;
    p.drawLine(QPointF(menu.left() + 6, separator), QPointF(menu.right() - 6, separator));
    DrawTextBar(p, QRectF(menu.left() + 10, separator + 7, 46, 3.5));
    DrawTextBar(p, QRectF(menu.left() + 10, separator + 7 + itemHeight, 64, 3.5));

    // Below the text, so that the entry stays readable.
    DrawPointer(p, QPointF(chosen.left() + 84, chosen.bottom() - 1.5));
}

void DrawGoToOrderPage(QPainter& p)
{
    const QRectF client = DrawWindowFrame(p, QRectF(84, 8, 108, 134), QColor(0x6B, 0x77, 0x88));
    // Address bar.
    const QRectF address(client.left() + 4, client.top() + 3, client.width() - 8, 8);
    p.setPen(QPen(kMuted, 1));
    p.setBrush(QColor(0xF5, 0xF7, 0xFA));
    p.drawRoundedRect(address, 4, 4);
    DrawTextBar(p, QRectF(address.left() + 5, address.top() + 3, 48, 2.5), kAccent);
    // The page's header.
    p.setPen(Qt::NoPen);
    p.setBrush(kOrange);
    p.drawRect(QRectF(client.left(), address.bottom() + 4, client.width(), 9));
    DrawTextBar(p, QRectF(client.left() + 5, address.bottom() + 7, 30, 3), Qt::white);

    // One line per added photo: the photo, its name and size, and the quantity.
    const QFont numberFont = PixelFont(kJapaneseFont, 8, true);
    static const int quantities[] = {1, 2, 1};
    for (int i = 0; i < 3; ++i) {
        const qreal top = address.bottom() + 18 + i * 28;
        const QRectF photo(client.left() + 5, top, 28, 21);
        DrawPhoto(p, photo, i + 1);
        p.setPen(QPen(kMuted, 1));
        p.setBrush(Qt::NoBrush);
        p.drawRect(photo);
        DrawTextBar(p, QRectF(photo.right() + 5, top + 4, 28, 3));
        DrawTextBar(p, QRectF(photo.right() + 5, top + 12, 18, 3), kAccentSoft.darker(110));
        const QRectF quantity(client.right() - 27, top + 4, 22, 12);
        p.setPen(QPen(kFrame, 1));
        p.setBrush(Qt::white);
        p.drawRoundedRect(quantity, 2, 2);
        p.setPen(kInk);
        p.setFont(numberFont);
        p.drawText(quantity.adjusted(0, 0, -8, 0), Qt::AlignCenter, QString::number(quantities[i]));
        p.setPen(Qt::NoPen);
        p.setBrush(kFrame);
        const qreal arrowX = quantity.right() - 5;
        p.drawPolygon(QPolygonF({{arrowX - 2.5, top + 8.5}, {arrowX + 2.5, top + 8.5}, {arrowX, top + 11.5}}));
        p.drawPolygon(QPolygonF({{arrowX - 2.5, top + 7.5}, {arrowX + 2.5, top + 7.5}, {arrowX, top + 4.5}}));
    }
    p.setPen(Qt::NoPen);
    p.setBrush(kAccent);
    p.drawRoundedRect(QRectF(client.right() - 40, client.bottom() - 13, 35, 10), 3, 3);

    // From the program's button to the browser.
    QPainterPath curve(QPointF(44, 60));
    curve.cubicTo(QPointF(46, 30), QPointF(66, 24), QPointF(80, 30));
    p.setPen(QPen(kAccent, 2, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawPath(curve);
    p.setPen(Qt::NoPen);
    p.setBrush(kAccent);
    p.drawPolygon(QPolygonF({{83, 31}, {75, 34.5}, {77, 26}}));

    const QRectF button(6, 66, 74, 24);
    p.setBrush(QColor(0, 0, 0, 35));
    p.drawRoundedRect(button.translated(1.5, 2), 5, 5);
    p.setBrush(kOrange);
    p.drawRoundedRect(button, 5, 5);
    p.setPen(Qt::white);
    p.setFont(PixelFont(kJapaneseFont, 10, true));
    p.drawText(button, Qt::AlignCenter, QStringLiteral("注文ページへ"));
    DrawPointer(p, QPointF(button.right() - 16, button.bottom() - 8));
}

// A label that lets its owner bring the picture up to date just before it is painted.
class TPaintHook final : public QLabel {
public:
    TPaintHook(std::function<void()> beforePaint, QWidget* parent) : QLabel(parent), beforePaint_(std::move(beforePaint)) {}

protected:
    void paintEvent(QPaintEvent* event) override
    {
        beforePaint_();
        QLabel::paintEvent(event);
    }

private:
    std::function<void()> beforePaint_;
};

}  // namespace

QImage DrawGuidePicture(int page)
{
    QImage picture(200, 150, QImage::Format_RGB32);
    picture.fill(kBackground);
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    switch (page) {
    case 0:
        DrawChooseFolder(p);
        break;
    case 1:
        DrawSelectPhotos(p);
        break;
    case 2:
        DrawAddToPrint(p);
        break;
    case 3:
        DrawGoToOrderPage(p);
        break;
    default:
        return picture;
    }
    DrawStepBadge(p, page);
    return picture;
}

TForm3::TForm3(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::WindowStaysOnTopHint)
{
    setWindowTitle(QStringLiteral("トヴァリ ナビケーション"));
    setFont(PixelFont(QStringLiteral("Tahoma"), 11));
    setFixedSize(393, 169);
    move(100, 410);

    Image1 = new TPaintHook([this] { PaintPicture(); }, this);
    Image1->setGeometry(4, 8, 200, 150);

    StaticText1 = new QLabel(this);
    StaticText1->setGeometry(212, 4, 173, 117);
    StaticText1->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    StaticText1->setAutoFillBackground(true);
    StaticText1->setBackgroundRole(QPalette::Base);
    StaticText1->setTextFormat(Qt::PlainText);
    StaticText1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    StaticText1->setWordWrap(true);
    StaticText1->setMargin(1);

    Button2 = new QPushButton(QStringLiteral("前へ"), this);
    Button2->setGeometry(268, 128, 53, 17);
    Button1 = new QPushButton(QStringLiteral("次へ"), this);
    Button1->setGeometry(332, 128, 53, 17);

    CheckBox1 = new QCheckBox(QStringLiteral("起動時に毎回表示する"), this);
    CheckBox1->setGeometry(252, 148, 137, 17);
    CheckBox1->setFont(PixelFont(QStringLiteral("ＭＳ ゴシック"), 11));
    CheckBox1->setChecked(true);

    ImageList1 = new TImageList(200, 150, PageCount, this);

    connect(Button1, &QPushButton::clicked, this, &TForm3::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TForm3::Button2Click);

    FormCreate();
}

void TForm3::FormCreate()
{
    PageTexts = {
        QStringLiteral("まず始めに画面左側のフォルダ選択部分で写真の入っているフォルダを選択してみましょう！ "
                       "選択すると右側に写真の一覧が表示されます。"),
        QStringLiteral("続いて、注文する為の写真を選択します。1枚づつ選択することも可能ですが、Shiftキーを押しながらだと"
                       "連続した写真を、Controlキーを押しながらだと好きな写真を複数選択することが可能です。"
                       "右の画像のようにマウスで複数選択することも可能です。"),
        QStringLiteral("写真を選択したら、選択した写真の上で右クリックをして「画像をプリントに追加する」を選ぶと"
                       "写真をプリント注文へ追加することが出来ます。"),
        QStringLiteral("写真をプリントに追加し終わったら「注文ページへ」ボタンを押してください。ブラウザが表示されて、"
                       "先ほど追加した画像が表示されます。ここで注文枚数、サイズを決めてから注文しましょう。"),
    };
    CurrentPage = 0;
    ShownPage = -1;
    PageRefresh();
}

void TForm3::SetPage(int n)
{
    if (n > CurrentPage) {
        CurrentPage = n;
        PageRefresh();
    }
}

void TForm3::PageRefresh()
{
    constexpr int lastPage = PageCount - 1;
    // Below 0 only -1 is reachable (paging back from page 0); any other is treated alike, never indexed.
    if (CurrentPage < 0) {
        CurrentPage = 0;
    } else if (CurrentPage > lastPage) {
        CurrentPage = lastPage;
        Button2->setEnabled(true);
        Button1->setEnabled(false);
    }
    if (ShownPage != CurrentPage) {
        Button1->setEnabled(CurrentPage != lastPage);
        Button2->setEnabled(CurrentPage != 0);
        pictureStale_ = true;
        Image1->update();
        StaticText1->setText(PageTexts[std::size_t(CurrentPage)]);
        emit PictureChanged(CurrentPage);
    }
    ShownPage = CurrentPage;
}

const TImageList& TForm3::GuidePictures()
{
    if (ImageList1->Count() == 0)
        for (int page = 0; page < PageCount; ++page)
            ImageList1->Add(DrawGuidePicture(page));
    return *ImageList1;
}

void TForm3::PaintPicture()
{
    if (!pictureStale_)
        return;
    pictureStale_ = false;
    QPixmap picture(Image1->size());
    picture.fill(Qt::white);
    QPainter painter(&picture);
    painter.drawPixmap(0, 0, GuidePictures().Pixmap(ShownPage));
    painter.end();
    Image1->setPixmap(picture);
}

void TForm3::Button1Click()
{
    CurrentPage = CurrentPage + 1;
    PageRefresh();
}

void TForm3::Button2Click()
{
    CurrentPage = CurrentPage - 1;
    PageRefresh();
}

bool TForm3::ShowAtStartup() const
{
    return CheckBox1->isChecked();
}

void TForm3::SetShowAtStartup(bool show)
{
    CheckBox1->setChecked(show);
}

}  // namespace tovari
