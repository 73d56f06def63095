#pragma once

#include "album/AlbumCache.h"
#include "album/AlbumPage.h"
#include "local/FullSizeView.h"
#include "platform/Commands.h"
#include "platform/Cp932.h"
#include "platform/ImageList.h"
#include "service/HttpClient.h"
#include "service/ServiceClient.h"
#include "service/ServiceProtocol.h"
#include "service/Session.h"
#include "tests/common/RecordingDialogs.h"
#include "tests/common/TestSupport.h"
#include "tests/service/TestServers.h"

#include <QAction>
#include <QBuffer>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QProgressBar>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <mutex>

namespace tovari::test {

// A picture of one colour, as a JPEG or in the given format.
inline QByteArray SolidJpeg(int width, int height, QColor colour, const char* format = "JPG")
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format, 95);
    return bytes;
}

// The album side of the shop's service on a recording server: folder list, photo lists, thumbnails
// and full-size photos as the test sets them; texts go out as CP932. What is not set answers 404, but
// the folder list, which is "OK" until set.
class FakeAlbumService {
public:
    struct Binary {
        QByteArray body;
        int status = 200;
        int failuresLeft = 0;  // answered with 500 this many times before the body
    };

    FakeAlbumService()
    {
        SetFolderList(QStringLiteral("OK"));
        server.Reply([this](const httplib::Request& req, httplib::Response& res) { Serve(req, res); });
    }

    void SetFolderList(const QString& text, int status = 200) { Set("list", 0, {ToCp932(text), status}); }
    void SetPhotoList(int folderId, const QString& text) { Set("img", folderId, {ToCp932(text)}); }
    void SetThumbnail(int photoId, Binary binary) { Set("small", photoId, std::move(binary)); }
    void SetPhoto(int photoId, Binary binary) { Set("big", photoId, std::move(binary)); }
    // Requests whose target starts with prefix, e.g. "/wis/wi_image.php/s1?mode=small".
    int Count(const std::string& prefix) const
    {
        const auto targets = server.Targets();
        return int(std::count_if(targets.begin(), targets.end(), [&](const std::string& t) { return t.starts_with(prefix); }));
    }
    int ThumbnailRequests(int photoId) const
    {
        const auto targets = server.Targets();
        const std::string end = "mode=small&id=" + std::to_string(photoId);
        return int(std::count_if(targets.begin(), targets.end(), [&](const std::string& t) { return t.ends_with(end); }));
    }
    QString BaseUrl() const { return server.BaseUrl(); }

    RecordingServer server;

private:
    // By the request's mode (list, img, small, big) and id.
    using Key = std::pair<std::string, int>;

    void Set(const std::string& mode, int id, Binary binary)
    {
        std::lock_guard lock(mutex_);
        replies_[Key(mode, id)] = std::move(binary);
    }

    void Serve(const httplib::Request& req, httplib::Response& res)
    {
        std::lock_guard lock(mutex_);
        const std::string mode = req.get_param_value("mode");
        const auto found = replies_.find(Key(mode, mode == "list" ? 0 : std::atoi(req.get_param_value("id").c_str())));
        if (found == replies_.end()) {
            res.status = 404;
            res.set_content("not found", "text/plain");
        } else if (found->second.failuresLeft > 0) {
            --found->second.failuresLeft;
            res.status = 500;
            res.set_content("failed", "text/plain");
        } else {
            res.status = found->second.status;
            res.set_content(found->second.body.toStdString(), mode == "small" || mode == "big" ? "image/jpeg" : "text/html");
        }
    }

    std::mutex mutex_;
    std::map<Key, Binary> replies_;
};

inline QString PhotoLine(int kind, int id, const QString& name)
{
    return QStringLiteral("%1<!--SEP-->%2<!--SEP-->%3\r\n").arg(kind).arg(id).arg(name);
}

// One album page on real widgets, talking to a fake service, with a cache folder of its own beside a
// folder that stands for everything outside it.
class AlbumPageTest : public ::testing::Test {
protected:
    AlbumPageTest()
    {
        QDir(sandbox.path()).mkpath(QStringLiteral("ImageCache"));
        QDir(sandbox.path()).mkpath(QStringLiteral("outside"));
        statusBar.addWidget(&panel);
        statusBar.show();
        for (int i = 0; i < 4; ++i) {
            QImage icon(16, 16, QImage::Format_RGB32);
            icon.fill(QColor::fromHsv(i * 60, 200, 200));
            icons.Add(icon);
        }
        actions.AcTUpFolder = new QAction(QStringLiteral("上へ"), &actionOwner);
        actions.ActReload = new QAction(QStringLiteral("更新"), &actionOwner);
        actions.ActDelete = new QAction(QStringLiteral("削除(&Delete)"), &actionOwner);
        session.SetSessionId(QStringLiteral("s1"));
        for (int i = 0; i < 3; ++i) {
            formImages[i] = QImage(100, 100, QImage::Format_RGB32);
            formImages[i].fill(QColor::fromHsv(i * 120, 255, 255));
        }
        page = std::make_unique<TAlbumPage>(TAlbumPage::Context{
            session, state, TStatusLine{statusBar, panel, gauge}, bigImageView, icons, service, urls,
            [this] { return Cache(); }, [this] { return tab; },
            [this] { return std::vector<QImage>(std::begin(formImages), std::end(formImages)); }});
        page->BindActions(actions);
    }

    QString Cache() const { return sandbox.filePath(QStringLiteral("ImageCache")); }
    QString Outside() const { return sandbox.filePath(QStringLiteral("outside")); }
    QStringList CacheFiles() const { return QDir(Cache()).entryList(QDir::Files | QDir::System | QDir::Hidden); }

    void LogIn() { session.SetLoggedIn(true); }

    // Lists one folder as the scheduler would, from the idle state.
    void List(int folderId)
    {
        state = LoadState::STOPED_ALBUM;
        page->AlbumLoad(folderId);
    }

    QStringList Captions() const
    {
        QStringList out;
        auto* model = page->AlbumListView->model();
        for (int i = 0; i < model->rowCount(); ++i)
            out.append(model->index(i, 0).data().toString());
        return out;
    }

    // The colour at the centre of the picture that list item k shows.
    QColor ItemColour(int k) const
    {
        const QVariant decoration = page->AlbumListView->model()->index(k, 0).data(Qt::DecorationRole);
        return decoration.value<QPixmap>().toImage().pixelColor(50, 50);
    }

    QTemporaryDir sandbox;
    FakeAlbumService shop;
    TSession session;
    LoadState state = LoadState::STOPED_ALBUM;
    QStatusBar statusBar;
    QLabel panel;
    QProgressBar gauge;
    TBigImageView bigImageView;
    TImageList icons{16, 16, 4};
    THttpClient http;
    RecordingDialogs dialogs;
    TServiceClient service{http, session, dialogs};
    TServiceUrls urls{shop.BaseUrl()};
    int tab = 3;
    QObject actionOwner;
    TActionManager1 actions;
    QImage formImages[3];
    std::unique_ptr<TAlbumPage> page;
};

// Colours survive JPEG only roughly.
inline bool Near(QColor a, QColor b, int tolerance = 24)
{
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance;
}

}  // namespace tovari::test
