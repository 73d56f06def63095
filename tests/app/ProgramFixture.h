#pragma once

#include "app/Program.h"
#include "album/AlbumPage.h"
#include "local/FullSizeView.h"
#include "local/LocalPage.h"
#include "upload/UploadCommand.h"
#include "tests/common/RecordingDialogs.h"
#include "shop/DemoAlbum.h"
#include "shop/ShopServer.h"
#include "tests/common/TestSupport.h"

#include <QAbstractItemView>
#include <QDesktopServices>
#include <QDir>
#include <QFileSystemModel>
#include <QTabBar>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTreeView>
#include <QTreeWidget>
#include <QUrl>
#include <gtest/gtest.h>
#include <memory>

namespace tovari::test {

// Catches URLs that the program hands to the desktop.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    UrlCatcher()
    {
        for (const char* scheme : {"http", "https"})
            QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), this, "Open");
    }
    ~UrlCatcher() override
    {
        for (const char* scheme : {"http", "https"})
            QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
    }
    QStringList urls;

public slots:
    void Open(const QUrl& url) { urls.append(url.toString()); }
};

// The demo shop, started once for the whole test program on a port of its own.
inline QString DemoShopUrl()
{
    static QTemporaryDir folder;
    static std::unique_ptr<shop::ShopServer> server = [] {
        shop::ShopOptions options;
        options.dataFolder = folder.path().toStdString();
        auto s = std::make_unique<shop::ShopServer>(options);
        s->StartOnEphemeralPort();
        return s;
    }();
    return QStringLiteral("http://127.0.0.1:%1").arg(server->Port());
}

// No service listens here: connections are refused at once.
inline const QString kNoService = QStringLiteral("http://127.0.0.1:9");

// prefix0000.jpg, prefix0001.jpg, ...
inline QStringList NumberedFiles(const QString& prefix, int count)
{
    QStringList names;
    for (int i = 0; i < count; ++i)
        names.append(QStringLiteral("%1%2.jpg").arg(prefix).arg(i, 4, 10, QChar('0')));
    return names;
}

// The captions of a list's items, in order.
inline QStringList ItemCaptions(const QAbstractItemView* view)
{
    QStringList out;
    for (int i = 0; i < view->model()->rowCount(); ++i)
        out.append(view->model()->index(i, 0).data().toString());
    return out;
}

// A whole program with its four windows, on a data folder of its own, talking to the demo shop.
class ProgramTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(sandbox.isValid());
        qputenv("XDG_DATA_HOME", sandbox.filePath(QStringLiteral("data")).toLocal8Bit());
    }

    TProgram& Start(const QString& serviceUrl = DemoShopUrl(), TLoginService::ShowLoginDialog showLogin = {},
                    std::chrono::seconds replyStallGuard = THttpClient::kStallTimeout)
    {
        program = std::make_unique<TProgram>(dialogs, serviceUrl, std::move(showLogin), replyStallGuard);
        return *program;
    }
    TForm1& Form() { return program->Form1; }
    // The window's parts.
    TLoadScheduler& Scheduler() { return PartOf<TLoadScheduler>(Form()); }
    TLocalPage& Local() { return PartOf<TLocalPage>(Form()); }
    TAlbumPage& Album() { return PartOf<TAlbumPage>(Form()); }
    TBigImageView& BigImages() { return PartOf<TBigImageView>(Form()); }
    TUploadCommand& Upload() { return PartOf<TUploadCommand>(Form()); }
    QTabBar& Tabs() { return PartOf<QTabBar>(Form(), QStringLiteral("DockTabSet1")); }

    // Starts on the demo shop (or a proxy in front of it) and logs in as its demo member through the
    // dialog; true when logged in.
    bool StartAsDemoMember(const QString& serviceUrl = DemoShopUrl())
    {
        Start(serviceUrl, [](TLoginDialog& dialog) {
            dialog.EditEmail->setText(QString::fromUtf8(shop::kDemoEmail));
            dialog.EditPasswd->setText(QString::fromUtf8(shop::kDemoPassword));
            return QDialog::Accepted;
        });
        Form().Actions().ActLogin->trigger();
        return Form().Session().LoggedIn();
    }

    // Makes a folder below the sandbox with the given files (name -> bytes).
    QString MakeFolder(const QString& name, const QStringList& files = {})
    {
        return MakeFolderWithFiles(sandbox.path(), name, files);
    }

    void SelectPcFolder(const QString& path)
    {
        PartOf<TLocalPage>(Form()).PcTreeView->setCurrentIndex(PartOf<TLocalPage>(Form()).PcFolderModel->index(path));
    }

    QStringList ListedCaptions() { return ItemCaptions(PartOf<TLocalPage>(Form()).PcListView); }
    QStringList AlbumCaptions() { return ItemCaptions(PartOf<TAlbumPage>(Form()).AlbumListView); }

    QTreeWidgetItem* AlbumNode(const QString& name)
    {
        const auto found = PartOf<TAlbumPage>(Form()).AlbumTreeView->findItems(name, Qt::MatchExactly | Qt::MatchRecursive);
        return found.isEmpty() ? nullptr : found.front();
    }

    bool WaitForListing() { return WaitFor([&] { return !PartOf<TLoadScheduler>(Form()).StopTimerActive(); }); }

    QTemporaryDir sandbox;
    RecordingDialogs dialogs;
    UrlCatcher urlCatcher;
    std::unique_ptr<TProgram> program;
};

}  // namespace tovari::test
