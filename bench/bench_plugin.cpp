// The plug-in path beside the direct one: a 4000 x 3000 PNG through the PNG plug-in and TSPIBitmap against
// Qt's own PNG reader, and a HEIC photo through the HEIC plug-in against libheif called directly.
// Times are medians of five runs; peaks are the resident-set growth during one load.
#include "bench/BenchSupport.h"
#include "spi/SPIBmp.h"
#include "spi/SPIs.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <cstdio>
#include <functional>
#include <libheif/heif.h>
#include <png.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

using namespace tovari;
using bench::Median;
using bench::ResetPeak;
using bench::StatusKiB;

constexpr int kWidth = 4000;
constexpr int kHeight = 3000;

// A photo-like picture: smooth light with fine grain, so it compresses like a photo rather than a graphic.
std::vector<uint8_t> MakePixels()
{
    std::vector<uint8_t> rgb(std::size_t(kWidth) * kHeight * 3);
    uint32_t seed = 12345;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const int grain = int(seed >> 28) - 8;
            uint8_t* p = &rgb[(std::size_t(y) * kWidth + x) * 3];
            p[0] = uint8_t(std::clamp(x * 255 / kWidth + grain, 0, 255));
            p[1] = uint8_t(std::clamp(y * 255 / kHeight + grain, 0, 255));
            p[2] = uint8_t(std::clamp(128 + (x - y) / 64 + grain, 0, 255));
        }
    return rgb;
}

bool WritePng(const std::vector<uint8_t>& rgb, const QString& path)
{
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    png.width = kWidth;
    png.height = kHeight;
    png.format = PNG_FORMAT_RGB;
    return png_image_write_to_file(&png, QFile::encodeName(path).constData(), 0, rgb.data(), 0, nullptr);
}

bool WriteHeic(const std::vector<uint8_t>& rgb, const QString& path)
{
    heif_context* context = heif_context_alloc();
    heif_encoder* encoder = nullptr;
    if (heif_context_get_encoder_for_format(context, heif_compression_HEVC, &encoder).code != heif_error_Ok)
        return false;
    heif_encoder_set_lossy_quality(encoder, 85);
    heif_encoder_set_parameter_string(encoder, "preset", "ultrafast");
    heif_image* image = nullptr;
    heif_image_create(kWidth, kHeight, heif_colorspace_RGB, heif_chroma_interleaved_RGB, &image);
    heif_image_add_plane(image, heif_channel_interleaved, kWidth, kHeight, 8);
    int stride = 0;
    uint8_t* plane = heif_image_get_plane(image, heif_channel_interleaved, &stride);
    for (int y = 0; y < kHeight; ++y)
        std::memcpy(plane + std::size_t(y) * stride, &rgb[std::size_t(y) * kWidth * 3], std::size_t(kWidth) * 3);
    const bool ok = heif_context_encode_image(context, image, encoder, nullptr, nullptr).code == heif_error_Ok &&
                    heif_context_write_to_file(context, QFile::encodeName(path).constData()).code == heif_error_Ok;
    heif_image_release(image);
    heif_encoder_release(encoder);
    heif_context_free(context);
    return ok;
}

int DecodeHeifDirectly(const QString& path)
{
    heif_context* context = heif_context_alloc();
    heif_image_handle* handle = nullptr;
    heif_image* image = nullptr;
    int width = 0;
    if (heif_context_read_from_file(context, QFile::encodeName(path).constData(), nullptr).code == heif_error_Ok &&
        heif_context_get_primary_image_handle(context, &handle).code == heif_error_Ok &&
        heif_decode_image(handle, &image, heif_colorspace_RGB, heif_chroma_interleaved_RGB, nullptr).code == heif_error_Ok)
        width = heif_image_get_width(image, heif_channel_interleaved);
    heif_image_release(image);
    heif_image_handle_release(handle);
    heif_context_free(context);
    return width;
}

struct Measure {
    double seconds;
    double peakMiB;
};

// Median times of five runs of each, taken in turns so that a busy machine slows both alike, and the peak
// growth of the resident set during one more load of each.
std::pair<Measure, Measure> Run(const std::function<int()>& plugin, const std::function<int()>& direct)
{
    std::vector<double> times[2];
    const std::function<int()>* loads[2] = {&plugin, &direct};
    for (int i = 0; i < 5; ++i)
        for (int k = 0; k < 2; ++k) {
            QElapsedTimer timer;
            timer.start();
            if ((*loads[k])() != kWidth) {
                std::fprintf(stderr, "bench-plugin: a load failed\n");
                std::exit(1);
            }
            times[k].push_back(timer.nsecsElapsed() / 1e9);
        }
    Measure result[2];
    for (int k = 0; k < 2; ++k) {
        double peak = -1;
        if (ResetPeak()) {
            const long before = StatusKiB("VmRSS");
            (*loads[k])();
            peak = (StatusKiB("VmHWM") - before) / 1024.0;
        }
        result[k] = {Median(times[k]), peak};
    }
    return {result[0], result[1]};
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QTemporaryDir dir;
    const QString png = dir.filePath("photo.png"), heic = dir.filePath("photo.heic");
    {
        const std::vector<uint8_t> rgb = MakePixels();
        if (!WritePng(rgb, png) || !WriteHeic(rgb, heic)) {
            std::fprintf(stderr, "bench-plugin: cannot make the test photos\n");
            return 1;
        }
    }
    TNativeSPILibrary library;
    TSPIBitmapRegistration registration;
    TSPIs spis(library);
    spis.Search(QStringLiteral(TOVARI_PLUGIN_DIR "/*.spi"));
    const double pictureMiB = double(kWidth) * kHeight * 4 / (1024 * 1024);

    auto throughPlugin = [](const QString& path) {
        return [path] {
            TSPIBitmap bitmap;
            bitmap.LoadFromFile(path);
            return bitmap.Width();
        };
    };
    const auto [pngPlugin, pngQt] = Run(throughPlugin(png), [&] { return QImageReader(png, "png").read().width(); });
    const auto [heicPlugin, heicDirect] = Run(throughPlugin(heic), [&] { return DecodeHeifDirectly(heic); });

    std::printf("picture: %d x %d (%.1f MiB as 32-bit pixels)\n", kWidth, kHeight, pictureMiB);
    std::printf("png_file_mib: %.2f\n", QFileInfo(png).size() / 1048576.0);
    std::printf("heic_file_mib: %.2f\n", QFileInfo(heic).size() / 1048576.0);
    std::printf("png_plugin_seconds: %.3f\npng_qt_seconds: %.3f\n", pngPlugin.seconds, pngQt.seconds);
    std::printf("heic_plugin_seconds: %.3f\nheic_direct_seconds: %.3f\n", heicPlugin.seconds, heicDirect.seconds);
    std::printf("png_peak_mib: plugin %.1f, qt %.1f (extra %.1f, goal <= %.1f)\n", pngPlugin.peakMiB, pngQt.peakMiB,
                pngPlugin.peakMiB - pngQt.peakMiB, pictureMiB);
    std::printf("heic_peak_mib: plugin %.1f, direct %.1f (extra %.1f, goal <= %.1f)\n", heicPlugin.peakMiB,
                heicDirect.peakMiB, heicPlugin.peakMiB - heicDirect.peakMiB, pictureMiB);
    std::printf("ratio_heic: %.3f (goal <= 1.2)\n", heicPlugin.seconds / heicDirect.seconds);
    std::printf("ratio_png: %.3f\n", pngPlugin.seconds / pngQt.seconds);
    return 0;
}
