#include "app/Artwork.h"

#include <QPainter>
#include <QPainterPath>

namespace tovari {

namespace {

const QColor kFolderBack(0xE0, 0xA8, 0x30);
const QColor kFolderFront(0xF6, 0xC8, 0x50);
const QColor kOutline(0x7A, 0x55, 0x10);
const QColor kAccent(0x2A, 0x6E, 0xD8);

QImage Blank(int w, int h, const QColor& fill = Qt::transparent)
{
    QImage img(w, h, QImage::Format_ARGB32_Premultiplied);
    img.fill(fill);
    return img;
}

// A folder filling the rectangle; open folders tilt their front flap.
void PaintFolder(QPainter& p, const QRectF& r, bool open)
{
    const qreal w = r.width(), h = r.height();
    const qreal pen = std::max<qreal>(1.0, w / 24.0);
    p.setPen(QPen(kOutline, pen));
    QPainterPath back;
    back.moveTo(r.left(), r.top() + h * 0.15);
    back.lineTo(r.left() + w * 0.38, r.top() + h * 0.15);
    back.lineTo(r.left() + w * 0.46, r.top() + h * 0.27);
    back.lineTo(r.right(), r.top() + h * 0.27);
    back.lineTo(r.right(), r.bottom());
    back.lineTo(r.left(), r.bottom());
    back.closeSubpath();
    p.setBrush(kFolderBack);
    p.drawPath(back);
    QPainterPath front;
    if (open) {
        front.moveTo(r.left() + w * 0.14, r.top() + h * 0.42);
        front.lineTo(r.right(), r.top() + h * 0.42);
        front.lineTo(r.right() - w * 0.10, r.bottom());
        front.lineTo(r.left(), r.bottom());
    } else {
        front.moveTo(r.left(), r.top() + h * 0.36);
        front.lineTo(r.right(), r.top() + h * 0.36);
        front.lineTo(r.right(), r.bottom());
        front.lineTo(r.left(), r.bottom());
    }
    front.closeSubpath();
    p.setBrush(kFolderFront);
    p.drawPath(front);
}

void PaintUpArrow(QPainter& p, const QRectF& r)
{
    QPainterPath arrow;
    const qreal cx = r.center().x();
    arrow.moveTo(cx, r.top());
    arrow.lineTo(r.right(), r.top() + r.height() * 0.5);
    arrow.lineTo(cx + r.width() * 0.18, r.top() + r.height() * 0.5);
    arrow.lineTo(cx + r.width() * 0.18, r.bottom());
    arrow.lineTo(cx - r.width() * 0.18, r.bottom());
    arrow.lineTo(cx - r.width() * 0.18, r.top() + r.height() * 0.5);
    arrow.lineTo(r.left(), r.top() + r.height() * 0.5);
    arrow.closeSubpath();
    p.setPen(QPen(kAccent.darker(140), std::max<qreal>(1.0, r.width() / 14.0)));
    p.setBrush(kAccent);
    p.drawPath(arrow);
}

}  // namespace

QImage DrawWindowIcon()
{
    QImage img = Blank(32, 32);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    // A print on a print: the shop's business in one glance.
    p.setPen(QPen(QColor(0x55, 0x55, 0x55), 1));
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRectF(7.5, 3.5, 22, 18), 2, 2);
    p.drawRoundedRect(QRectF(2.5, 9.5, 22, 18), 2, 2);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x8C, 0xC8, 0xF0));
    p.drawRect(QRectF(4.5, 11.5, 18, 14));
    p.setBrush(QColor(0x3C, 0x9A, 0x3C));
    QPainterPath hill;
    hill.moveTo(4.5, 25.5);
    hill.lineTo(11, 17);
    hill.lineTo(15, 21);
    hill.lineTo(18, 18);
    hill.lineTo(22.5, 25.5);
    hill.closeSubpath();
    p.drawPath(hill);
    p.setBrush(QColor(0xF5, 0xC0, 0x20));
    p.drawEllipse(QPointF(18.5, 14.5), 2, 2);
    return img;
}

QImage DrawUnknownFileImage()
{
    QImage img = Blank(100, 100, Qt::white);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath sheet;
    sheet.moveTo(24, 10);
    sheet.lineTo(62, 10);
    sheet.lineTo(78, 26);
    sheet.lineTo(78, 90);
    sheet.lineTo(24, 90);
    sheet.closeSubpath();
    p.setPen(QPen(QColor(0x80, 0x80, 0x80), 2));
    p.setBrush(QColor(0xF4, 0xF4, 0xF4));
    p.drawPath(sheet);
    p.drawLine(QPointF(62, 10), QPointF(62, 26));
    p.drawLine(QPointF(62, 26), QPointF(78, 26));
    QFont f;
    f.setPixelSize(40);
    f.setBold(true);
    p.setFont(f);
    p.setPen(QColor(0x90, 0x90, 0x90));
    p.drawText(QRectF(24, 26, 54, 60), Qt::AlignCenter, QStringLiteral("?"));
    return img;
}

QImage DrawFolderImage()
{
    QImage img = Blank(100, 100, Qt::white);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    PaintFolder(p, QRectF(14, 20, 72, 60), false);
    return img;
}

QImage DrawFolderUpImage()
{
    QImage img = DrawFolderImage();
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    PaintUpArrow(p, QRectF(36, 40, 28, 34));
    return img;
}

QImage DrawIcon(int index)
{
    QImage img = Blank(16, 16);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    switch (index) {
    case 0:
        PaintFolder(p, QRectF(0.5, 3.5, 15, 11), false);
        PaintUpArrow(p, QRectF(4.5, 5.5, 7, 9));
        break;
    case 1:
        PaintFolder(p, QRectF(0.5, 2.5, 15, 12), false);
        break;
    case 2:
        PaintFolder(p, QRectF(0.5, 2.5, 15, 12), true);
        break;
    default: {
        // A photo with a plus: add to the print order.
        p.setPen(QPen(QColor(0x55, 0x55, 0x55), 1));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(0.5, 2.5, 11, 9));
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x8C, 0xC8, 0xF0));
        p.drawRect(QRectF(2, 4, 8, 6));
        p.setBrush(QColor(0x2E, 0x9E, 0x3E));
        p.drawEllipse(QPointF(11.5, 11.5), 4.2, 4.2);
        p.setPen(QPen(Qt::white, 1.6));
        p.drawLine(QPointF(11.5, 9.2), QPointF(11.5, 13.8));
        p.drawLine(QPointF(9.2, 11.5), QPointF(13.8, 11.5));
        break;
    }
    }
    return img;
}

}  // namespace tovari
