#include "tests/album/AlbumTestSupport.h"

#include <QMenu>
#include <QRegularExpression>
#include <functional>

namespace tovari::test {
namespace {

const QString S = QStringLiteral("<!--SEP-->");

// The tree flattened depth first: each node as its depth in dots, then its text.
QStringList Tree(const QTreeWidget& tree)
{
    QStringList out;
    std::function<void(const QTreeWidgetItem*, int)> walk = [&](const QTreeWidgetItem* node, int depth) {
        out.append(QString(depth, QLatin1Char('.')) + node->text(0));
        for (int i = 0; i < node->childCount(); ++i)
            walk(node->child(i), depth + 1);
    };
    for (int i = 0; i < tree.topLevelItemCount(); ++i)
        walk(tree.topLevelItem(i), 0);
    return out;
}

QStringList MenuCaptions(const QMenu& menu)
{
    QStringList out;
    for (const QAction* action : menu.actions())
        out.append(action->text());
    return out;
}

class AlbumFolderTreeTest : public AlbumPageTest {
protected:
    QTreeWidgetItem* NodeNamed(const QString& name) const
    {
        const QList<QTreeWidgetItem*> found = page->AlbumTreeView->findItems(name, Qt::MatchExactly | Qt::MatchRecursive);
        return found.isEmpty() ? nullptr : found.front();
    }
};

// Each reply as it builds tree, folder table and move-to-folder submenu, and whether the load counts as
// complete. A bad line ends the load there, keeping what came before it.
TEST_F(AlbumFolderTreeTest, RepliesBuildTreeTableAndSubmenuUpToTheFirstBadLine)
{
    struct Case {
        const char* what;
        QString reply;
        int status;
        QStringList tree;
        std::vector<int> ids;  // Id of every slot, empty slots included
        bool loaded;
    };
    const Case cases[] = {
        {"one line: the root alone", QStringLiteral("OK\r\n"), 200, {QStringLiteral("トップ")}, {0}, true},
        {"NG: the root alone", QStringLiteral("NG"), 200, {QStringLiteral("トップ")}, {0}, true},
        {"no lines at all", QString(), 200, {QStringLiteral("トップ")}, {0}, true},
        {"parent index 0: under the root",
         "OK\r\n10" + S + "0" + S + "旅行\r\n11" + S + "0" + S + "家族\r\n", 200,
         {QStringLiteral("トップ"), QStringLiteral(".旅行"), QStringLiteral(".家族")}, {0, 10, 11}, true},
        {"three levels, later siblings after earlier subtrees",
         "OK\n1" + S + "0" + S + "a\n2" + S + "1" + S + "b\n3" + S + "2" + S + "c\n4" + S + "1" + S + "d\n5" + S + "0" + S + "e",
         200,
         {QStringLiteral("トップ"), QStringLiteral(".a"), QStringLiteral("..b"), QStringLiteral("...c"),
          QStringLiteral("..d"), QStringLiteral(".e")},
         {0, 1, 2, 3, 4, 5}, true},
        {"parent named later ends the load",
         "OK\n1" + S + "0" + S + "a\n2" + S + "3" + S + "b\n3" + S + "0" + S + "c", 200,
         {QStringLiteral("トップ"), QStringLiteral(".a")}, {0, 1, 0, 0}, false},
        {"trailing separator gives two fields and ends the load", "OK\n5" + S + "0" + S, 200,
         {QStringLiteral("トップ")}, {0, 0}, false},
        {"ids with a sign or leading zeros are numbers", "OK\n+1" + S + "0" + S + "a\n02" + S + "0" + S + "b", 200,
         {QStringLiteral("トップ"), QStringLiteral(".a"), QStringLiteral(".b")}, {0, 1, 2}, true},
        {"HTTP error: no tree at all", QStringLiteral("OK\n1") + S + "0" + S + "a", 500, {}, {}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        page->AlbumFoldersLoaded = false;
        shop.SetFolderList(c.reply, c.status);
        LogIn();
        EXPECT_EQ(Tree(*page->AlbumTreeView), c.tree);
        std::vector<int> ids;
        for (const TAlbumFolder& folder : page->AlbumFolders)
            ids.push_back(folder.Id);
        EXPECT_EQ(ids, c.ids);
        EXPECT_EQ(page->AlbumFoldersLoaded, c.loaded);
        EXPECT_TRUE(dialogs.messages.isEmpty());
        if (c.tree.isEmpty())
            continue;
        // The submenu is flat, in reply order, one entry per folder node, each stored in its slot.
        QStringList expectedMenu;
        for (const QString& node : c.tree)
            expectedMenu.append(QString(node).remove(QRegularExpression(QStringLiteral("^\\.+"))));
        EXPECT_EQ(MenuCaptions(*page->AlbumMoveMenu), expectedMenu);
        for (std::size_t k = 0; k < std::size_t(expectedMenu.size()); ++k)
            EXPECT_EQ(page->AlbumFolders[k].MenuItem, page->AlbumMoveMenu->actions().at(qsizetype(k)));
        EXPECT_TRUE(page->AlbumTreeView->topLevelItem(0)->isExpanded());
    }
}

TEST_F(AlbumFolderTreeTest, ParentIndexesAndSelectedFolderIdsFollowTheSlots)
{
    shop.SetFolderList("OK\n10" + S + "0" + S + "家族\n20" + S + "1" + S + "2007年 夏\n30" + S + "2" + S + "海水浴\n40" + S +
                       "0" + S + "旅行");
    LogIn();
    std::vector<std::pair<int, int>> table;
    for (const TAlbumFolder& folder : page->AlbumFolders)
        table.emplace_back(folder.Id, folder.ParentIndex);
    EXPECT_EQ(table, (std::vector<std::pair<int, int>>{{0, 0}, {10, 0}, {20, 1}, {30, 2}, {40, 0}}));
    EXPECT_EQ(page->SelectedAlbumFolderId(), std::nullopt);
    for (const auto& [name, id] : {std::pair(QStringLiteral("海水浴"), 30), std::pair(QStringLiteral("旅行"), 40),
                                   std::pair(QStringLiteral("トップ"), 0)}) {
        page->AlbumTreeView->setCurrentItem(NodeNamed(name));
        EXPECT_EQ(page->SelectedAlbumFolderId(), id) << name.toStdString();
    }
}

// "上へ" walks up one level per use and is disabled at the root; on another tab it does nothing.
TEST_F(AlbumFolderTreeTest, UpFolderClimbsToTheRootOnlyOnTheAlbumTab)
{
    shop.SetFolderList("OK\n1" + S + "0" + S + "a\n2" + S + "1" + S + "b\n3" + S + "2" + S + "c");
    LogIn();
    int changes = 0;
    QObject::connect(page.get(), &TAlbumPage::AlbumTreeViewChange, [&] { ++changes; });
    page->AlbumTreeView->setCurrentItem(NodeNamed(QStringLiteral("b")));
    EXPECT_TRUE(actions.AcTUpFolder->isEnabled());

    tab = 0;
    actions.AcTUpFolder->trigger();
    EXPECT_EQ(page->AlbumTreeView->currentItem()->text(0), QStringLiteral("b"));

    tab = 3;
    actions.AcTUpFolder->trigger();
    EXPECT_EQ(page->AlbumTreeView->currentItem()->text(0), QStringLiteral("a"));
    EXPECT_TRUE(actions.AcTUpFolder->isEnabled());
    actions.AcTUpFolder->trigger();
    EXPECT_EQ(page->AlbumTreeView->currentItem()->text(0), QStringLiteral("トップ"));
    EXPECT_FALSE(actions.AcTUpFolder->isEnabled());
    EXPECT_EQ(changes, 3);
    EXPECT_EQ(page->SelectedAlbumFolderId(), 0);
}

// A reload builds everything anew with no folder selected; a failed one keeps the loaded flag.
TEST_F(AlbumFolderTreeTest, ReloadRebuildsAndAFailedReloadKeepsTheFlag)
{
    shop.SetFolderList("OK\n1" + S + "0" + S + "a");
    LogIn();
    page->AlbumTreeView->setCurrentItem(NodeNamed(QStringLiteral("a")));
    shop.SetFolderList("OK\n1" + S + "0" + S + "a\n2" + S + "0" + S + "b");
    actions.ActReload->trigger();
    EXPECT_EQ(Tree(*page->AlbumTreeView), (QStringList{QStringLiteral("トップ"), QStringLiteral(".a"), QStringLiteral(".b")}));
    EXPECT_EQ(page->AlbumTreeView->currentItem(), nullptr);
    EXPECT_TRUE(page->AlbumTreeView->topLevelItem(0)->isExpanded());

    shop.SetFolderList(QStringLiteral("broken"), 500);
    actions.ActReload->trigger();
    EXPECT_EQ(page->AlbumTreeView->topLevelItemCount(), 0);
    EXPECT_TRUE(page->AlbumFoldersLoaded);
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

// Logged out the tree is empty and no request is made; showing the tab logged in fetches it once.
TEST_F(AlbumFolderTreeTest, TabShownFetchesTheTreeOnlyWhileLoggedInAndNotLoaded)
{
    page->AlbumViewSelected();
    EXPECT_EQ(shop.server.Requests().size(), 0u);
    shop.SetFolderList("OK\n1" + S + "0" + S + "a");
    LogIn();
    EXPECT_EQ(shop.Count("/wis/wi_folder.php/s1?mode=list"), 1);
    page->AlbumViewSelected();
    EXPECT_EQ(shop.Count("/wis/wi_folder.php/s1?mode=list"), 1);

    session.SetLoggedIn(false);
    EXPECT_EQ(page->AlbumTreeView->topLevelItemCount(), 0);
    EXPECT_FALSE(page->AlbumTreeView->isEnabled());
    EXPECT_FALSE(actions.ActReload->isEnabled());
    // The flag stays set after a logout; logging in again still fetches the tree.
    EXPECT_TRUE(page->AlbumFoldersLoaded);
    LogIn();
    EXPECT_EQ(shop.Count("/wis/wi_folder.php/s1?mode=list"), 2);
    EXPECT_EQ(Tree(*page->AlbumTreeView), (QStringList{QStringLiteral("トップ"), QStringLiteral(".a")}));
}

}  // namespace
}  // namespace tovari::test
