// bench-album: an album folder of 1,000 photos in tovari-shop on 127.0.0.1, listed through the real
// main window (offscreen): cold (empty cache folder) beside the curl tool fetching the same photo list
// and 1,000 thumbnails on one connection and keeping them as files, then warm (every thumbnail cached).
#include "album/AlbumPage.h"
#include "app/Program.h"
#include "bench/BenchSupport.h"
#include "platform/Views.h"
#include "service/LoginForm.h"
#include "shop/DemoAlbum.h"
#include "shop/Pictures.h"
#include "shop/ShopServer.h"
#include "shop/Store.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTreeWidget>
#include <atomic>
#include <cstdio>
#include <iostream>
#include <streambuf>

namespace {

constexpr int kPhotos = 1000;

// Counts the lines of the shop's request log (one per answered request).
class LineCounter : public std::streambuf {
public:
    std::atomic<int> lines{0};

protected:
    int overflow(int c) override
    {
        if (c == '\n')
            ++lines;
        return c == EOF ? 0 : c;
    }
};

}  // namespace

int main(int argc, char** argv)
{
    using namespace tovari;
    bench::BenchEnvironment environment;
    QApplication app(argc, argv);

    QTemporaryDir shopData;
    LineCounter requests;
    std::streambuf* oldLog = std::clog.rdbuf(&requests);
    shop::ShopOptions options;
    options.dataFolder = shopData.path().toStdString();
    options.logRequests = true;
    shop::ShopServer server(options);
    // The demo member is seeded once the port is bound.
    server.StartOnEphemeralPort();
    std::int64_t folderId = 0;
    {
        shop::Store& store = server.ShopStore();
        const auto member = store.FindMember(shop::kDemoEmail, shop::kDemoPassword);
        folderId = store.AddFolder(member->id, std::nullopt, "ベンチ 1000枚");
        // Every photo gets its own thumbnail file, as uploads do.
        shop::PictureFiles files(store.FilesFolder());
        for (int i = 0; i < kPhotos; ++i) {
            const QImage scene = shop::DrawDemoScene(i, 160, 120);
            const auto saved = files.Save(shop::EncodeJpeg(scene), "x.jpg");
            const std::string name = "ベンチ写真" + std::to_string(i) + ".jpg";
            store.AddPhoto(folderId, shop::Photo{0, folderId, name, saved.file, saved.thumbnail});
        }
    }
    const QString base = QStringLiteral("http://127.0.0.1:%1").arg(server.Port());

    bench::SilentDialogs dialogs;
    TProgram program(dialogs, base, [](TLoginDialog& dialog) {
        dialog.EditEmail->setText(QString::fromUtf8(shop::kDemoEmail));
        dialog.EditPasswd->setText(QString::fromUtf8(shop::kDemoPassword));
        return QDialog::Accepted;
    });
    TForm1& form = program.Form1;
    program.Form3.hide();
    form.resize(1000, 700);
    form.show();
    form.Actions().ActLogin->trigger();
    if (!form.Session().LoggedIn()) {
        std::fprintf(stderr, "bench-album: the demo member could not log in\n");
        return 1;
    }
    bench::PartOf<QTabBar>(form, QStringLiteral("DockTabSet1")).setCurrentIndex(kAlbumTab);
    QApplication::processEvents();
    const QString sid = form.Session().SessionId();

    // curl: the photo list and every thumbnail on one connection. The listing must keep each thumbnail as a
    // file of its cache folder, so curl stores them too, each as its own file in a folder emptied before
    // every run as the cache folder is; curl throwing the bodies away is shown beside it.
    QTemporaryDir work;
    const QString saved = work.filePath(QStringLiteral("saved"));
    QDir(work.path()).mkdir(QStringLiteral("saved"));
    auto writeConfig = [&](const QString& path, bool keepFiles) {
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(QStringLiteral("url = \"%1/wis/wi_folder.php/%2?mode=img&id=%3\"\noutput = /dev/null\n")
                       .arg(base, sid)
                       .arg(folderId)
                       .toUtf8());
        for (const auto& photo : server.ShopStore().PhotosInFolder(folderId)) {
            const QString output = keepFiles ? QStringLiteral("%1/%2.jpg").arg(saved).arg(photo.id) : QStringLiteral("/dev/null");
            file.write(QStringLiteral("url = \"%1/wis/wi_image.php/%2?mode=small&id=%3\"\noutput = \"%4\"\n")
                           .arg(base, sid)
                           .arg(photo.id)
                           .arg(output)
                           .toUtf8());
        }
    };
    const QString keepConfig = work.filePath(QStringLiteral("keep.txt"));
    const QString discardConfig = work.filePath(QStringLiteral("discard.txt"));
    writeConfig(keepConfig, true);
    writeConfig(discardConfig, false);
    auto emptyFolder = [](const QString& path) {
        QDir dir(path);
        for (const QString& file : dir.entryList(QDir::Files))
            dir.remove(file);
    };
    auto runCurl = [&](const QString& config) {
        emptyFolder(saved);
        QElapsedTimer t;
        t.start();
        QProcess curl;
        curl.start(QStringLiteral("curl"), {QStringLiteral("-s"), QStringLiteral("-f"), QStringLiteral("-K"), config});
        if (!curl.waitForFinished(120000) || curl.exitCode() != 0) {
            std::fprintf(stderr, "bench-album: curl failed (%s)\n", qPrintable(curl.errorString()));
            std::exit(1);
        }
        return t.nsecsElapsed() / 1e9;
    };
    // --warm-only: only warm listings, for profiling.
    const bool warmOnly = argc > 1 && QByteArray(argv[1]) == "--warm-only";
    std::vector<double> curlRuns;
    std::vector<double> discardRuns;

    // The shop logs a request just after answering it: the count settles once no line came for 50 ms.
    auto settledRequests = [&] {
        for (;;) {
            const int seen = requests.lines;
            QThread::msleep(50);
            if (requests.lines == seen)
                return seen;
        }
    };
    TAlbumPage& album = bench::PartOf<TAlbumPage>(form);
    auto listOnce = [&](const char* what, int run) {
        bench::PartOf<TLoadScheduler>(form).AlbumLoaderState() = LoadState::STOPED_ALBUM;
        const int before = settledRequests();
        QElapsedTimer t;
        t.start();
        album.AlbumLoad(int(folderId));
        // The list lays out and paints what it got; that is part of what the user waits for.
        QApplication::processEvents();
        const double seconds = t.nsecsElapsed() / 1e9;
        const int made = settledRequests() - before;
        std::printf("%s %d: %.4f s, %d items, %d requests\n", what, run, seconds,
                    album.AlbumListView->model()->rowCount(), made);
        return std::pair(seconds, made);
    };

    std::vector<double> coldRuns;
    std::vector<double> warmRuns;
    int warmRequests = 0;
    // Runs of each kind take turns, so that a busy moment of the machine slows all of them alike.
    for (int run = 1; run <= 5; ++run) {
        if (!warmOnly) {
            curlRuns.push_back(runCurl(keepConfig));
            discardRuns.push_back(runCurl(discardConfig));
            std::printf("curl %d: %.4f s keeping the files, %.4f s throwing them away\n", run, curlRuns.back(),
                        discardRuns.back());
        }
        if (!warmOnly || run == 1) {
            emptyFolder(form.ImageCacheFolder());
            coldRuns.push_back(listOnce("cold", run).first);
        }
        for (int w = 0; w < (warmOnly ? 10 : 2); ++w) {
            const auto [seconds, made] = listOnce("warm", run);
            warmRuns.push_back(seconds);
            warmRequests = std::max(warmRequests, made);
        }
    }
    std::clog.rdbuf(oldLog);

    if (warmOnly) {
        std::printf("warm_seconds: %.4f\n", bench::Median(warmRuns));
        return 0;
    }
    const double curl = bench::Median(curlRuns);
    const double cold = bench::Median(coldRuns);
    const double warm = bench::Median(warmRuns);
    std::printf("photos: %d\n", kPhotos);
    std::printf("curl_seconds: %.4f (keeping the files; %.4f throwing them away)\n", curl, bench::Median(discardRuns));
    std::printf("cold_seconds: %.4f\n", cold);
    std::printf("warm_seconds: %.4f (goal <= 0.5)\n", warm);
    std::printf("warm_requests: %d (goal 1)\n", warmRequests);
    std::printf("cold_ratio_vs_curl: %.3f\n", cold / curl);
    return 0;
}
