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

class AlbumFolderTreeTest : public AlbumPageTest {
protected:
    QTreeWidgetItem* NodeNamed(const QString& name) const
    {
        const QList<QTreeWidgetItem*> found = page->AlbumTreeView->findItems(name, Qt::MatchExactly | Qt::MatchRecursive);
        return found.isEmpty() ? nullptr : found.front();
    }
};

// Each reply as it builds tree, folder table and move-to-folder submenu, and whether the load counts as
// complete. A bad line ends the load there, keeping what came before it; which lines are bad is the
// protocol's own test.
TEST_F(AlbumFolderTreeTest, RepliesBuildTreeTableAndSubmenuUpToTheFirstBadLine)
{
    using Slots = std::vector<std::pair<int, int>>;  // id and parent index of every slot, empty ones too
    struct Case {
        const char* what;
        QString reply;
        int status;
        QStringList tree;
        Slots folders;
        bool loaded;
    };
    const Case cases[] = {
        {"one line: the root alone", QStringLiteral("OK\r\n"), 200, {QStringLiteral("トップ")}, {{0, 0}}, true},
        {"no lines at all", QString(), 200, {QStringLiteral("トップ")}, {{0, 0}}, true},
        {"three levels, later siblings after earlier subtrees",
         "OK\n1" + S + "0" + S + "a\n2" + S + "1" + S + "b\n3" + S + "2" + S + "c\n4" + S + "1" + S + "d\n5" + S + "0" + S + "e",
         200,
         {QStringLiteral("トップ"), QStringLiteral(".a"), QStringLiteral("..b"), QStringLiteral("...c"),
          QStringLiteral("..d"), QStringLiteral(".e")},
         {{0, 0}, {1, 0}, {2, 1}, {3, 2}, {4, 1}, {5, 0}}, true},
        {"parent named later ends the load",
         "OK\n1" + S + "0" + S + "a\n2" + S + "3" + S + "b\n3" + S + "0" + S + "c", 200,
         {QStringLiteral("トップ"), QStringLiteral(".a")}, {{0, 0}, {1, 0}, {0, 0}, {0, 0}}, false},
        {"HTTP error: no tree at all", QStringLiteral("OK\n1") + S + "0" + S + "a", 500, {}, {}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        page->AlbumFoldersLoaded = false;
        shop.SetFolderList(c.reply, c.status);
        LogIn();
        EXPECT_EQ(Tree(*page->AlbumTreeView), c.tree);
        Slots table;
        for (const TAlbumFolder& folder : page->AlbumFolders)
            table.emplace_back(folder.Id, folder.ParentIndex);
        EXPECT_EQ(table, c.folders);
        EXPECT_EQ(page->AlbumFoldersLoaded, c.loaded);
        EXPECT_TRUE(dialogs.messages.isEmpty());
        if (c.tree.isEmpty())
            continue;
        // The submenu is flat, in reply order, one entry per folder node, each stored in its slot.
        QStringList expectedMenu, menu;
        for (const QString& node : c.tree)
            expectedMenu.append(QString(node).remove(QRegularExpression(QStringLiteral("^\\.+"))));
        for (qsizetype k = 0; k < page->AlbumMoveMenu->actions().size(); ++k) {
            menu.append(page->AlbumMoveMenu->actions().at(k)->text());
            EXPECT_EQ(page->AlbumFolders.at(std::size_t(k)).MenuItem, page->AlbumMoveMenu->actions().at(k));
        }
        EXPECT_EQ(menu, expectedMenu);
        EXPECT_TRUE(page->AlbumTreeView->topLevelItem(0)->isExpanded());
    }
}

// "上へ" walks up one level per use and is disabled at the root; on another tab it does nothing.
TEST_F(AlbumFolderTreeTest, UpFolderClimbsToTheRootOnlyOnTheAlbumTab)
{
    shop.SetFolderList("OK\n10" + S + "0" + S + "a\n20" + S + "1" + S + "b\n30" + S + "2" + S + "c");
    LogIn();
    EXPECT_EQ(page->SelectedAlbumFolderId(), std::nullopt);
    int changes = 0;
    QObject::connect(page.get(), &TAlbumPage::AlbumTreeViewChange, [&] { ++changes; });
    page->AlbumTreeView->setCurrentItem(NodeNamed(QStringLiteral("b")));
    EXPECT_TRUE(actions.AcTUpFolder->isEnabled());
    EXPECT_EQ(page->SelectedAlbumFolderId(), 20);

    tab = 0;
    actions.AcTUpFolder->trigger();
    EXPECT_EQ(page->AlbumTreeView->currentItem()->text(0), QStringLiteral("b"));

    tab = 3;
    actions.AcTUpFolder->trigger();
    EXPECT_EQ(page->AlbumTreeView->currentItem()->text(0), QStringLiteral("a"));
    EXPECT_EQ(page->SelectedAlbumFolderId(), 10);
    EXPECT_TRUE(actions.AcTUpFolder->isEnabled());
    actions.AcTUpFolder->trigger();
    EXPECT_EQ(page->AlbumTreeView->currentItem()->text(0), QStringLiteral("トップ"));
    EXPECT_FALSE(actions.AcTUpFolder->isEnabled());
    EXPECT_EQ(changes, 3);
    EXPECT_EQ(page->SelectedAlbumFolderId(), 0);
}

// Logged out the tree is empty and no request is made; showing the tab logged in fetches it once. A
// reload builds everything anew with no folder selected; a failed one, like a logout, keeps the flag.
TEST_F(AlbumFolderTreeTest, TreeIsFetchedOnceWhileLoggedInAndAgainOnReload)
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

}  // namespace
}  // namespace tovari::test
