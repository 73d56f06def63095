#include "album/AlbumCache.h"
#include "local/FullSizeView.h"
#include "platform/FileName.h"
#include "platform/graphics/Picture.h"
#include "service/HttpClient.h"
#include "service/ServiceClient.h"
#include "service/Session.h"
#include "tests/common/RecordingDialogs.h"
#include "tests/common/TestSupport.h"
#include "tests/spi/SpiTestSupport.h"

#include <QFileInfo>
#include <QLabel>
#include <atomic>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <future>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace tovari {
namespace {

// Should a path block on a pipe after all, the pipe's other ends are opened once 10 s are up, so that the
// test fails instead of hanging; no time is asserted.
struct HangGuard {
    explicit HangGuard(const QByteArray& pipe)
        : watcher([this, pipe, done = done.get_future()] {
              if (done.wait_for(std::chrono::seconds(10)) == std::future_status::ready)
                  return;
              fired = true;
              ::close(::open(pipe.constData(), O_WRONLY | O_NONBLOCK));  // a blocked reader then reads the end
              reader = ::open(pipe.constData(), O_RDONLY | O_NONBLOCK);  // and a blocked writer goes on
          }) {}
    ~HangGuard()
    {
        done.set_value();
        watcher.join();
        ::close(reader);
    }
    std::promise<void> done;
    std::atomic<bool> fired = false;
    int reader = -1;
    std::thread watcher;
};

class WithPlugins : public test::WithRealPlugins {};

// Every path that opens a user's file, given something that is not a regular file under a picture's name:
// each refuses it without blocking, and the cache write leaves what was there alone.
TEST_F(WithPlugins, NoPathOpensANonFileOrBlocks)
{
    const QByteArray pipe = QFile::encodeName(dir.filePath("fifo"));
    ASSERT_EQ(::mkfifo(pipe.constData(), 0600), 0);
    struct Kind {
        const char* name;
        std::function<void(const QByteArray& at)> make;
    };
    const Kind kinds[] = {
        {"pipe", [](const QByteArray& at) { ASSERT_EQ(::mkfifo(at.constData(), 0600), 0); }},
        {"directory", [](const QByteArray& at) { ASSERT_EQ(::mkdir(at.constData(), 0700), 0); }},
        {"dangling link", [](const QByteArray& at) { ASSERT_EQ(::symlink("missing.jpg", at.constData()), 0); }},
        {"link to a pipe", [&](const QByteArray& at) { ASSERT_EQ(::symlink(pipe.constData(), at.constData()), 0); }},
    };
    THttpClient http;
    TSession session;
    test::RecordingDialogs dialogs;
    TServiceClient service(http, session, dialogs);
    QLabel bigImage;
    TSPI* png = spis.Items(spis.IndexOf(QStringLiteral(TOVARI_PLUGIN_DIR "/png.spi")));
    // Each answers whether the path took the file (or throws).
    struct Path {
        const char* name;
        const char* extension;
        std::function<bool(const QString& file)> takes;
    };
    const Path paths[] = {
        {"built-in decoder", ".jpg", [&](const QString& f) { return TPicture(formats).LoadFromFile(f), true; }},
        {"plug-in decoder", ".png", [&](const QString& f) { return TPicture(formats).LoadFromFile(f), true; }},
        {"plug-in given the name", ".png",
         [&](const QString& f) {
             SpiPictureInfo info{};
             return png->GetPictureInfo(NativePath(f).constData(), 0, SPI_SOURCE_FILE, &info) == SPI_ALL_RIGHT;
         }},
        {"upload", ".jpg", [&](const QString& f) { return TMultipartFormData().AddFile(QStringLiteral("f"), f), true; }},
        {"album thumbnail cache", ".jpg", [&](const QString& f) { return IsReadableFile(f); }},
        {"album full-size file", ".jpg", [&](const QString& f) { return LoadFullSizeImage(bigImage, f), true; }},
        {"cache write", ".jpg",
         [&](const QString& f) { return DownloadIntoCache(service, QStringLiteral("http://127.0.0.1:1/x"), f), true; }},
    };
    int n = 0;
    for (const Kind& kind : kinds)
        for (const Path& path : paths) {
            SCOPED_TRACE(std::string(kind.name) + ", " + path.name);
            const QString file = dir.filePath(QStringLiteral("x%1").arg(++n) + QLatin1String(path.extension));
            const QByteArray native = QFile::encodeName(file);
            kind.make(native);
            struct stat before {};
            ASSERT_EQ(::lstat(native.constData(), &before), 0);
            HangGuard guard(native);
            bool takes = true;
            try {
                takes = path.takes(file);
            } catch (const std::exception&) {
                takes = false;
            }
            EXPECT_FALSE(takes);
            EXPECT_FALSE(guard.fired) << "blocked";
            struct stat after {};
            EXPECT_TRUE(::lstat(native.constData(), &after) == 0 && after.st_mode == before.st_mode) << "removed";
        }
}

// Small files declaring huge pictures are refused before the plug-in takes their memory, and a legitimate
// blank picture of few bytes still opens. What the plug-ins take from the local-memory library stays within
// the rule (4 Mi pixels plus 1,024 a byte, four bytes a pixel), and nothing outlives a load.
TEST_F(WithPlugins, HostileFilesAreRefusedWithinTheMemoryRule)
{
    {
        QImage blank(6000, 4000, QImage::Format_RGB888);
        blank.fill(Qt::white);
        test::WritePng(blank, dir.filePath("blank.png"));
    }
    ASSERT_TRUE(QFile::resize(test::WriteFile(dir.filePath("sparse.tif"), QByteArray("II*\0\x08\0\0\0", 8)),
                              qint64(2) << 30));
    struct Case {
        QString file;
        qint64 pixels;  // 0 when refused, -1 when either way
    };
    const QString hostile = QStringLiteral(TOVARI_TEST_DATA "/hostile/");
    const Case cases[] = {
        {hostile + "tiff-30001x30000-no-data.tif", 0},
        {hostile + "tiff-lzw-30001x30000-16-bytes.tif", 0},
        {hostile + "tiff-256-samples-5639x775.tif", 0},
        {hostile + "tiff-compression-0-5639x775.tif", 0},
        {hostile + "png-65535x65535-two-rows.png", 0},
        {hostile + "png-itxt-1400mb-chunk.png", 0},
        {hostile + "webp-lossless-16383x16383.webp", 0},
        {hostile + "gif-screen-65535x65535.gif", -1},   // the frame alone may show
        {dir.filePath("sparse.tif"), 0},              // 2 GiB of nothing after the signature
        {dir.filePath("blank.png"), 6000 * 4000},
    };
    auto peakKiB = [] { rusage u{}; getrusage(RUSAGE_SELF, &u); return u.ru_maxrss; };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file.toStdString());
        const qint64 bytes = QFileInfo(c.file).size();
        std::size_t blocksBefore = 0, blocksAfter = 0, peak = 0;
        LocalStatistics(&blocksBefore, nullptr, nullptr);
        const long residentBefore = peakKiB();
        qint64 pixels = 0;
        try {
            TPicture picture(formats);
            picture.LoadFromFile(c.file);
            pixels = picture.Width() * qint64(picture.Height());
        } catch (const EInvalidGraphic&) {
        }
        EXPECT_TRUE(c.pixels < 0 || pixels == c.pixels) << pixels;
        // What the libraries take outside the local-memory library shows in the process's peak.
        EXPECT_TRUE(c.pixels != 0 || peakKiB() - residentBefore <= 64 * 1024);
        LocalStatistics(&blocksAfter, nullptr, &peak);
        EXPECT_EQ(blocksAfter, blocksBefore);
        EXPECT_LE(peak, 4 * ((std::size_t(4) << 20) + 1024 * std::size_t(std::min<qint64>(bytes, 1 << 20))) + 65536);
    }
}

}  // namespace
}  // namespace tovari
