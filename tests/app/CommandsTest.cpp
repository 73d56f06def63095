#include "tests/app/ProgramFixture.h"

#include "app/Helper.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QTabBar>
#include <QToolBar>

namespace tovari::test {
namespace {

using CommandsTest = ProgramTest;

QStringList Captions(const QWidget* container)
{
    QStringList out;
    for (const QAction* a : container->actions())
        out.append(a->isSeparator() ? QStringLiteral("-") : a->text());
    return out;
}

TEST_F(CommandsTest, MenusToolbarsAndPopUpsShowTheirItemsInOrder)
{
    Start();
    TForm1& f = Form();
    const QList<QAction*> menus = f.MenuBar().actions();
    ASSERT_EQ(menus.size(), 2);
    EXPECT_EQ(menus[0]->text(), QStringLiteral("操作(&S)"));
    EXPECT_EQ(menus[1]->text(), QStringLiteral("ヘルプ(&H)"));

    const struct {
        const QWidget* place;
        QStringList items;
    } table[] = {
        {menus[0]->menu(),
         {QStringLiteral("ログイン(&Login)"), QStringLiteral("ログアウト(Logo&ut)"), QStringLiteral("注文ページへ(&Order)"),
          QStringLiteral("注文ページへのURLを表示(&R)"), QStringLiteral("Susie プラグインを使う"),
          QStringLiteral("終了(E&xit)")}},
        {menus[1]->menu(),
         {QStringLiteral("ナビケーションを表示する(&N)"), QStringLiteral("最新バージョンの確認(&Z)"),
          QStringLiteral("説明ページへ(Help&page)")}},
        {f.Local().PcActionToolBar,
         {QStringLiteral("プリントへ追加(&U)"), QStringLiteral("Velmo.ネットの写真屋さん 注文ページへ(&O)"),
          QStringLiteral("アルバム会員ログイン(&Login)"), QStringLiteral("最新の情報に更新(&Refresh)")}},
        {f.Album().AlbumActionToolBar, {QStringLiteral("上へ(&F)"), QStringLiteral("更新(&R)")}},
        {(&f.OrderToolBar()), {}},
        // The entry of the local pop-up follows its command's caption, which the login state sets.
        {f.Local().PcListPopupActionBar, {QStringLiteral("画像をプリントに追加")}},
        {f.Album().AlbumListPopupActionBar,
         {QStringLiteral("他のフォルダへ移動"), QStringLiteral("削除"), QStringLiteral("プリントへ追加"), QStringLiteral("-"),
          QStringLiteral("プロパティ")}},
        {f.Local().DummyPopupMenu, {}},
    };
    for (const auto& row : table)
        EXPECT_EQ(Captions(row.place), row.items) << row.place->objectName().toStdString();
}

TEST_F(CommandsTest, ItemsWithCaptionsOfTheirOwnFollowTheirCommandsState)
{
    Start();
    QAction* command = Form().Actions().ActFileUp;
    QAction* item = Form().Local().PcActionToolBar->actions().at(0);
    EXPECT_FALSE(item->isEnabled());
    command->setEnabled(true);
    EXPECT_TRUE(item->isEnabled());
    EXPECT_EQ(item->text(), QStringLiteral("プリントへ追加(&U)"));
    int triggered = 0;
    QObject::connect(command, &QAction::triggered, [&] { ++triggered; });
    item->trigger();
    EXPECT_EQ(triggered, 1);
}

TEST_F(CommandsTest, WebPagesOpenAtTheServiceAddress)
{
    Start();
    const QString shop = DemoShopUrl();
    TForm1& f = Form();
    const TActionManager1& a = f.Actions();
    f.Session().SetSessionId(QString());
    a.ActGoOrder->trigger();
    f.Session().SetSessionId(QStringLiteral("s123"));
    a.ActGoOrder->trigger();
    f.Tabs().setCurrentIndex(1);
    a.ActHelp->trigger();
    a.ActNewVersion->trigger();
    EXPECT_EQ(urlCatcher.urls, (QStringList{shop + QStringLiteral("/wis/order.php?mode=select&sid="),
                                            shop + QStringLiteral("/wis/order.php?mode=select&sid=s123"),
                                            shop + QStringLiteral("/wis/order.php?mode=select&sid=s123"),
                                            shop + QStringLiteral("/order_help.php#0003"),
                                            shop + QStringLiteral("/download.php")}));

    a.ActDispOrderPageUrl->trigger();
    EXPECT_EQ(dialogs.inputs,
              QStringList{QStringLiteral("注文ページへのURL||") + shop + QStringLiteral("/wis/order.php?mode=select&sid=s123")});
}

TEST_F(CommandsTest, RefreshShowsFoldersMadeElsewhereAndKeepsTheSelection)
{
    Start();
    const QString parent = MakeFolder(QStringLiteral("tree"));
    SelectPcFolder(parent);
    ASSERT_TRUE(WaitForListing());
    const int loads = int(RecordedTraces().count(QStringLiteral("DISP VIEW ITEMS ")));

    MakeFolder(QStringLiteral("tree/made-elsewhere"));
    Form().Local().ActRefreshExecute();
    EXPECT_EQ(Form().Local().PcTreeView->currentIndex().data(QFileSystemModel::FilePathRole).toString(), parent);
    QFileSystemModel* model = Form().Local().PcFolderModel;
    EXPECT_TRUE(WaitFor([&] {
        model->fetchMore(model->index(parent));
        return model->index(parent + QStringLiteral("/made-elsewhere")).isValid();
    }));
    // Keeping the same folder selected is no folder change.
    EXPECT_FALSE(Form().Scheduler().StopTimer.isActive());
    EXPECT_EQ(int(RecordedTraces().count(QStringLiteral("DISP VIEW ITEMS "))), loads);
    // The tree still reports changes after its model was replaced.
    SelectPcFolder(parent + QStringLiteral("/made-elsewhere"));
    EXPECT_TRUE(Form().Scheduler().StopTimer.isActive());
}

TEST_F(CommandsTest, GuideFollowsAFirstTimeUserAndNeverGoesBack)
{
    TProgram& p = Start();
    EXPECT_TRUE(p.Form3.isVisible());
    EXPECT_EQ(p.Form3.CurrentPage, 0);
    SelectPcFolder(MakeFolder(QStringLiteral("first"), {QStringLiteral("a.jpg"), QStringLiteral("b.jpg")}));
    ASSERT_TRUE(WaitForListing());
    EXPECT_EQ(p.Form3.CurrentPage, 1);
    Form().Local().PcListView->selectAll();
    EXPECT_EQ(p.Form3.CurrentPage, 2);
    p.Form3.SetPage(3);
    SelectPcFolder(MakeFolder(QStringLiteral("second"), {QStringLiteral("c.jpg")}));
    ASSERT_TRUE(WaitForListing());
    EXPECT_EQ(p.Form3.CurrentPage, 3);
    // Closed, the guide comes back through its command.
    p.Form3.hide();
    p.Form1.Actions().ActShowNavigateWindow->trigger();
    EXPECT_TRUE(p.Form3.isVisible());
}

}  // namespace
}  // namespace tovari::test
