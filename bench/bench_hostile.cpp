// Every file named on the command line through every path that decodes a picture: the list's thumbnail,
// the full-size view, the album's thumbnail from its file and from memory, and a plug-in given the bytes in
// memory. Plug-ins are on. For each: the outcome, the time, the growth of the resident set and the most
// local memory the plug-ins held at once.
#include "album/AlbumCache.h"
#include "bench/BenchSupport.h"
#include "local/Thumbnail.h"
#include "service/HttpClient.h"
#include "platform/graphics/Picture.h"
#include "spi/SPIBmp.h"
#include "spi/SPIs.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <cstdio>
#include <functional>

namespace {

using namespace tovari;

// Pictures in memory are the service's thumbnails: the memory paths get what a reply may hold at most,
// read before they are timed.
QByteArray Head(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.read(kMaxThumbnailReplyBytes);
}

}  // namespace

int main(int argc, char** argv)
{
    bench::BenchEnvironment environment;
    QGuiApplication app(argc, argv);
    TSPIBitmapRegistration registration;
    TNativeSPILibrary library;
    TSPIs spis(library);
    spis.Search(QStringLiteral(TOVARI_PLUGIN_DIR "/*.spi"));
    const bool peaks = bench::ResetPeak();

    struct Path {
        const char* name;
        std::function<bool(const QString& file, QByteArray& bytes)> run;  // true when a picture came out
    };
    const Path paths[] = {
        {"list thumbnail", [](const QString& f, QByteArray&) { return MakeThumbnail(f).loadable; }},
        {"full size",
         [](const QString& f, QByteArray&) {
             TPicture picture;
             picture.LoadFromFile(f);
             return !picture.Graphic()->ToImage().isNull();
         }},
        {"album thumbnail (file)", [](const QString& f, QByteArray&) { return !DecodeAlbumThumbnail(f).isNull(); }},
        {"album thumbnail (memory)", [](const QString& f, QByteArray& bytes) { return !DecodeAlbumThumbnail(bytes, f).isNull(); }},
        {"plug-in (memory)",
         [](const QString& f, QByteArray& bytes) {
             QBuffer buffer(&bytes);
             buffer.open(QIODevice::ReadOnly);
             TSPIBitmap bitmap;
             bitmap.LoadFromStreamWithName(buffer, f);
             return !bitmap.Empty();
         }},
    };
    std::printf("%-44s %-26s %-8s %9s %10s %10s\n", "file", "path", "outcome", "ms", "peak MiB", "local MiB");
    double worstMs = 0;
    long worstKiB = 0;
    for (int i = 1; i < argc; ++i) {
        const QString file = QString::fromLocal8Bit(argv[i]);
        QByteArray bytes = Head(file);
        for (const Path& path : paths) {
            if (peaks)
                bench::ResetPeak();
            const long before = bench::StatusKiB("VmRSS");
            LocalStatistics(nullptr, nullptr, nullptr);
            QElapsedTimer timer;
            timer.start();
            const char* outcome = "refused";
            try {
                if (path.run(file, bytes))
                    outcome = "decoded";
            } catch (const std::exception&) {
            }
            const double ms = double(timer.nsecsElapsed()) / 1e6;
            const long grown = peaks ? std::max(0L, bench::StatusKiB("VmHWM") - before) : -1;
            std::size_t local = 0;
            LocalStatistics(nullptr, nullptr, &local);
            worstMs = std::max(worstMs, ms);
            worstKiB = std::max(worstKiB, grown);
            std::printf("%-44s %-26s %-8s %9.1f %10.1f %10.1f\n", qPrintable(QFileInfo(file).fileName()), path.name,
                        outcome, ms, grown / 1024.0, double(local) / (1 << 20));
        }
    }
    std::printf("worst: %.1f ms, %.1f MiB resident growth%s\n", worstMs, worstKiB / 1024.0,
                peaks ? "" : " (peaks not available here)");
    return 0;
}
