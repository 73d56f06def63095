#include "tests/app/ProgramFixture.h"

#include "shop/DemoAlbum.h"

#include <QAction>
#include <QDateTime>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QLineEdit>
#include <QScrollArea>
#include <QTabBar>
#include <QTreeWidget>

namespace tovari::test {
namespace {

// The whole program against the demo shop, logging in as the demo member through the dialog.
class AlbumProgramTest : public ProgramTest {
protected:
    void StartAndLogIn()
    {
        ASSERT_TRUE(StartAsDemoMember());
    }

    QTreeWidgetItem* Node(const QString& name)
    {
        const auto found = Form().Album().AlbumTreeView->findItems(name, Qt::MatchExactly | Qt::MatchRecursive);
        return found.isEmpty() ? nullptr : found.front();
    }

    QStringList AlbumCaptions()
    {
        QStringList out;
        auto* model = Form().Album().AlbumListView->model();
        for (int i = 0; i < model->rowCount(); ++i)
            out.append(model->index(i, 0).data().toString());
        return out;
    }

    QStringList CacheFiles() { return QDir(Form().ImageCacheFolder()).entryList(QDir::Files); }

    bool Choose(const QString& folder)
    {
        Form().Album().AlbumTreeView->setCurrentItem(Node(folder));
        return WaitForListing();
    }
};

TEST_F(AlbumProgramTest, LoginFillsTheTreeAndLogoutEmptiesIt)
{
    StartAndLogIn();
    TAlbumPage& album = Form().Album();
    ASSERT_EQ(album.AlbumTreeView->topLevelItemCount(), 1);
    QTreeWidgetItem* top = album.AlbumTreeView->topLevelItem(0);
    EXPECT_EQ(top->text(0), QStringLiteral("トップ"));
    QStringList children;
    for (int i = 0; i < top->childCount(); ++i)
        children.append(top->child(i)->text(0));
    EXPECT_EQ(children, (QStringList{QStringLiteral("家族"), QStringLiteral("旅行"), QStringLiteral("ペット")}));
    EXPECT_TRUE(album.AlbumFoldersLoaded);
    EXPECT_EQ(album.AlbumMoveMenu->actions().size(), qsizetype(album.AlbumFolders.size()));
    EXPECT_TRUE(Form().Actions().ActReload->isEnabled());

    Form().Actions().ActLogout->trigger();
    EXPECT_EQ(album.AlbumTreeView->topLevelItemCount(), 0);
    EXPECT_FALSE(Form().Actions().ActReload->isEnabled());
    EXPECT_FALSE(Form().Actions().AcTUpFolder->isEnabled());
}

// The demo road: folders two levels down and back up, thumbnails into the cache folder, a photo at
// full size and back to the album tab, with no full-size photo left in the cache folder.
TEST_F(AlbumProgramTest, DemoMemberBrowsesTheAlbum)
{
    StartAndLogIn();
    Form().Tabs().setCurrentIndex(3);
    TAlbumPage& album = Form().Album();

    ASSERT_TRUE(Choose(QStringLiteral("家族")));
    EXPECT_EQ(AlbumCaptions(), (QStringList{QStringLiteral("IMG_0001.jpg"), QStringLiteral("IMG_0002.jpg")}));
    ASSERT_TRUE(Choose(QStringLiteral("2007年 夏")));
    ASSERT_TRUE(Choose(QStringLiteral("海水浴")));
    EXPECT_EQ(AlbumCaptions().size(), 6);
    EXPECT_TRUE(AlbumCaptions().contains(QStringLiteral("海の家.jpg")));
    // One cached thumbnail per listed photo, named by its id.
    EXPECT_EQ(CacheFiles().size(), 2 + 4 + 6);
    for (const TAlbumImages& photo : album.AlbumImages) {
        if (!photo.Name.isEmpty())
            EXPECT_TRUE(CacheFiles().contains(QString::number(photo.Id) + QStringLiteral(".jpg")));
    }

    album.AlbumListView->selectionModel()->select(album.AlbumListView->model()->index(0, 0),
                                                  QItemSelectionModel::ClearAndSelect);
    album.AlbumListViewDblClick();
    EXPECT_EQ(Form().Tabs().currentIndex(), 2);
    EXPECT_EQ(Form().CurrentView(), 3);
    EXPECT_EQ(Form().BigImages().BigImage->pixmap().size(), QSize(shop::kDemoPhotoWidth, shop::kDemoPhotoHeight));
    EXPECT_EQ(CacheFiles().size(), 12);
    EXPECT_FALSE(QFile::exists(Form().ImageCacheFolder() + QStringLiteral("/海の家.jpg")));
    emit Form().BigImages().BigImageDblClick();
    EXPECT_EQ(Form().Tabs().currentIndex(), 3);

    Form().Actions().AcTUpFolder->trigger();
    EXPECT_EQ(album.AlbumTreeView->currentItem()->text(0), QStringLiteral("2007年 夏"));
    Form().Actions().AcTUpFolder->trigger();
    Form().Actions().AcTUpFolder->trigger();
    EXPECT_EQ(album.AlbumTreeView->currentItem()->text(0), QStringLiteral("トップ"));
    EXPECT_FALSE(Form().Actions().AcTUpFolder->isEnabled());
    ASSERT_TRUE(WaitForListing());
    // The top holds folders only.
    EXPECT_TRUE(AlbumCaptions().isEmpty());
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

// Listing a folder again reads every thumbnail from the cache folder: nothing in it is rewritten.
TEST_F(AlbumProgramTest, SecondListingReadsThumbnailsFromTheCache)
{
    StartAndLogIn();
    Form().Tabs().setCurrentIndex(3);
    ASSERT_TRUE(Choose(QStringLiteral("ペット")));
    const QStringList first = AlbumCaptions();
    ASSERT_EQ(first.size(), 8);
    std::map<QString, QDateTime> written;
    for (const QString& file : CacheFiles()) {
        written[file] = QFileInfo(Form().ImageCacheFolder() + '/' + file).lastModified();
        // Marks each file so that a rewrite would show.
        QFile f(Form().ImageCacheFolder() + '/' + file);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        f.setFileTime(QDateTime::fromSecsSinceEpoch(1000000000), QFileDevice::FileModificationTime);
    }
    ASSERT_TRUE(Choose(QStringLiteral("旅行")));
    ASSERT_TRUE(Choose(QStringLiteral("ペット")));
    EXPECT_EQ(AlbumCaptions(), first);
    for (const auto& [file, _] : written)
        EXPECT_EQ(QFileInfo(Form().ImageCacheFolder() + '/' + file).lastModified().toSecsSinceEpoch(), 1000000000)
            << file.toStdString();
}

}  // namespace
}  // namespace tovari::test
