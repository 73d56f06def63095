#pragma once

#include <QByteArray>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace tovari::fuzz {

// Pictures draw text and go through Qt's raster engine: one offscreen application for the process.
inline void StartGui()
{
    static int argc = 1;
    static char name[] = "tovari-fuzz";
    static char* argv[] = {name, nullptr};
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static QGuiApplication app(argc, argv);
}

inline QByteArray Bytes(const uint8_t* data, size_t size)
{
    return QByteArray(reinterpret_cast<const char*>(data), qsizetype(size));
}

// Draws as the list's thumbnail step does: into a 100 x 100 cell.
template <class Graphic>
void DrawThumbnail(const Graphic& g)
{
    QImage cell(100, 100, QImage::Format_RGB32);
    cell.fill(Qt::white);
    QPainter painter(&cell);
    g.Draw(painter, QRect(0, 0, 100, 100));
}

}  // namespace tovari::fuzz
