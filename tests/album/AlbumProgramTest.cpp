#include "tests/app/ProgramFixture.h"

#include "shop/DemoAlbum.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QTabBar>
#include <QTreeWidget>

namespace tovari::test {
namespace {

using AlbumProgramTest = ProgramTest;

// The demo road: a login through the dialog fills the tree; folders two levels down and one back up,
// thumbnails into the cache folder, a photo at full size and back to the album tab, with no full-size
// photo left in the cache folder; a logout empties the tree.
TEST_F(AlbumProgramTest, DemoMemberBrowsesTheAlbum)
{
    ASSERT_TRUE(StartAsDemoMember());
    TAlbumPage& album = Album();
    ASSERT_EQ(album.AlbumTreeView->topLevelItemCount(), 1);
    EXPECT_EQ(album.AlbumTreeView->topLevelItem(0)->childCount(), 3);
    EXPECT_TRUE(album.AlbumFoldersLoaded);
    EXPECT_EQ(album.AlbumMoveMenu->actions().size(), qsizetype(album.AlbumFolders.size()));

    Tabs().setCurrentIndex(3);
    const auto choose = [&](const QString& folder) {
        album.AlbumTreeView->setCurrentItem(AlbumNode(folder));
        return WaitForListing();
    };
    const auto cacheFiles = [&] { return QDir(Form().ImageCacheFolder()).entryList(QDir::Files); };
    ASSERT_TRUE(choose(QStringLiteral("家族")));
    EXPECT_EQ(AlbumCaptions(), (QStringList{QStringLiteral("IMG_0001.jpg"), QStringLiteral("IMG_0002.jpg")}));
    ASSERT_TRUE(choose(QStringLiteral("2007年 夏")));
    ASSERT_TRUE(choose(QStringLiteral("海水浴")));
    EXPECT_EQ(AlbumCaptions().size(), 6);
    EXPECT_TRUE(AlbumCaptions().contains(QStringLiteral("海の家.jpg")));
    // One cached thumbnail per listed photo.
    EXPECT_EQ(cacheFiles().size(), 2 + 4 + 6);

    album.AlbumListView->selectionModel()->select(album.AlbumListView->model()->index(0, 0),
                                                  QItemSelectionModel::ClearAndSelect);
    album.AlbumListViewDblClick();
    EXPECT_EQ(Tabs().currentIndex(), 2);
    EXPECT_EQ(Form().CurrentView(), 3);
    EXPECT_EQ(BigImages().BigImage->pixmap().size(), QSize(shop::kDemoPhotoWidth, shop::kDemoPhotoHeight));
    EXPECT_EQ(cacheFiles().size(), 12);
    EXPECT_FALSE(QFile::exists(Form().ImageCacheFolder() + QStringLiteral("/海の家.jpg")));
    emit BigImages().BigImageDblClick();
    EXPECT_EQ(Tabs().currentIndex(), 3);

    Form().Actions().AcTUpFolder->trigger();
    EXPECT_EQ(album.AlbumTreeView->currentItem()->text(0), QStringLiteral("2007年 夏"));
    ASSERT_TRUE(WaitForListing());
    EXPECT_EQ(AlbumCaptions().size(), 4);
    EXPECT_TRUE(dialogs.messages.isEmpty());

    Form().Actions().ActLogout->trigger();
    EXPECT_EQ(album.AlbumTreeView->topLevelItemCount(), 0);
    EXPECT_FALSE(Form().Actions().ActReload->isEnabled());
    EXPECT_FALSE(Form().Actions().AcTUpFolder->isEnabled());
}

}  // namespace
}  // namespace tovari::test
