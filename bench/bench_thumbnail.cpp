// bench-thumbnail FILE: one list thumbnail of FILE, timed (median of five) and with its peak memory
// growth over what the process held before the first load.
// bench-thumbnail --make-ppm FILE WIDTH HEIGHT: writes a photo-like test picture for the script.
#include "local/Thumbnail.h"

#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QRandomGenerator>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include "bench/BenchSupport.h"

#include <fstream>
#include <string>
#include <vector>

using tovari::bench::ResetPeak;
using tovari::bench::StatusKiB;

namespace {

int MakePpm(const char* path, int width, int height)
{
    QImage image(width, height, QImage::Format_RGB888);
    QPainter painter(&image);
    QLinearGradient sky(0, 0, 0, height);
    sky.setColorAt(0, QColor(70, 130, 200));
    sky.setColorAt(0.6, QColor(230, 220, 200));
    sky.setColorAt(1, QColor(60, 90, 40));
    painter.fillRect(image.rect(), sky);
    QRandomGenerator random(42);
    for (int i = 0; i < 400; ++i) {
        painter.setBrush(QColor::fromHsv(random.bounded(360), 80 + random.bounded(150), 80 + random.bounded(170)));
        painter.setPen(Qt::NoPen);
        const int r = 20 + random.bounded(std::max(21, width / 20));
        painter.drawEllipse(QPoint(random.bounded(width), random.bounded(height)), r, r / 2 + 1);
    }
    painter.end();
    // Sensor-like grain, so the entropy decoder has a photo's amount of work.
    for (int y = 0; y < height; ++y) {
        uchar* line = image.scanLine(y);
        for (int x = 0; x < width * 3; ++x)
            line[x] = uchar(std::clamp(int(line[x]) + int(random.bounded(25)) - 12, 0, 255));
    }
    QFile out(QString::fromLocal8Bit(path));
    if (!out.open(QIODevice::WriteOnly))
        return 1;
    out.write(QStringLiteral("P6\n%1 %2\n255\n").arg(width).arg(height).toLatin1());
    for (int y = 0; y < height; ++y)
        out.write(reinterpret_cast<const char*>(image.constScanLine(y)), qint64(width) * 3);
    return out.error() == QFile::NoError ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc == 5 && std::string(argv[1]) == "--make-ppm")
        return MakePpm(argv[2], std::atoi(argv[3]), std::atoi(argv[4]));
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench-thumbnail FILE\n       bench-thumbnail --make-ppm FILE WIDTH HEIGHT\n");
        return 2;
    }
    const QString path = QString::fromLocal8Bit(argv[1]);

    const bool reset = ResetPeak();
    const long baseline = StatusKiB(reset ? "VmRSS" : "VmHWM");
    std::vector<double> seconds;
    for (int run = 0; run < 5; ++run) {
        const auto start = std::chrono::steady_clock::now();
        const tovari::ThumbnailResult result = tovari::MakeThumbnail(path);
        seconds.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        if (!result.ready || !result.loadable) {
            std::fprintf(stderr, "bench-thumbnail: %s gives no thumbnail\n", argv[1]);
            return 1;
        }
    }
    const long peak = StatusKiB("VmHWM");
    std::sort(seconds.begin(), seconds.end());
    std::printf("seconds: %.4f\n", seconds[2]);
    if (!reset)
        std::printf("note: peak could not be reset; the figure below is an upper bound\n");
    std::printf("peak_extra_mib: %.2f\n", double(peak - baseline) / 1024.0);
    return 0;
}
