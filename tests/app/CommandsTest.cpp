#include "tests/app/ProgramFixture.h"

#include "app/Helper.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QTabBar>
#include <QToolBar>
#include <QTreeWidget>

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
    const QList<QAction*> menus = f.menuBar()->actions();
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
        {Local().PcActionToolBar,
         {QStringLiteral("プリントへ追加(&U)"), QStringLiteral("Velmo.ネットの写真屋さん 注文ページへ(&O)"),
          QStringLiteral("アルバム会員ログイン(&Login)"), QStringLiteral("最新の情報に更新(&Refresh)")}},
        {Album().AlbumActionToolBar, {QStringLiteral("上へ(&F)"), QStringLiteral("更新(&R)")}},
        {(&PartOf<QToolBar>(f, QStringLiteral("OrderActionToolBar"))), {}},
        // The entry of the local pop-up follows its command's caption, which the login state sets.
        {Local().PcListPopupActionBar, {QStringLiteral("画像をプリントに追加")}},
        {Album().AlbumListPopupActionBar,
         {QStringLiteral("他のフォルダへ移動"), QStringLiteral("削除"), QStringLiteral("プリントへ追加"), QStringLiteral("-"),
          QStringLiteral("プロパティ")}},
        {Local().DummyPopupMenu, {}},
    };
    for (const auto& row : table)
        EXPECT_EQ(Captions(row.place), row.items) << row.place->objectName().toStdString();
}

// An entry runs the command it shows, from every place that shows it, and follows its state even where
// it has a caption of its own.
TEST_F(CommandsTest, EntriesRunAndFollowTheirCommands)
{
    int loginShown = 0;
    Start(DemoShopUrl(), [&](TLoginDialog&) {
        ++loginShown;
        return QDialog::Rejected;
    });
    TForm1& f = Form();
    QAction* upload = Local().PcActionToolBar->actions().at(0);
    EXPECT_FALSE(upload->isEnabled());
    f.Actions().ActFileUp->setEnabled(true);
    EXPECT_TRUE(upload->isEnabled());
    int uploads = 0;
    QObject::connect(f.Actions().ActFileUp, &QAction::triggered, [&] { ++uploads; });
    upload->trigger();
    EXPECT_EQ(uploads, 1);

    // The login service binds its command, which the menu shows and the tool bar runs; the pop-up shows
    // the command the upload binds.
    ASSERT_EQ(f.menuBar()->actions().at(0)->menu()->actions().at(0), f.Actions().ActLogin);
    f.Actions().ActLogin->trigger();
    Local().PcActionToolBar->actions().at(2)->trigger();
    EXPECT_EQ(loginShown, 2);
    EXPECT_EQ(Local().PcListPopupActionBar->actions().at(0), f.Actions().ActFileUpLoad);
    // Only the upload said a word: with nothing selected, its first check answers.
    EXPECT_EQ(dialogs.messages, QStringList{QStringLiteral("エラー: 画像を選択してください。")});
}

// What the window shows of the session: the album tab, the upload captions, then the commands that work
// and "tree" when the album tree does.
QStringList Observe(TForm1& f)
{
    const TActionManager1& a = f.Actions();
    QStringList shown{PartOf<QTabBar>(f, QStringLiteral("DockTabSet1")).tabText(3), a.ActFileUpLoad->text(),
                      a.ActFileUp->text()};
    for (const QAction* command : {a.ActLogin, a.ActLogout, a.ActRefresh, a.ActReload, a.AcTUpFolder})
        if (command->isEnabled())
            shown.append(command->objectName());
    if (PartOf<TAlbumPage>(f).AlbumTreeView->isEnabled())
        shown.append(QStringLiteral("tree"));
    return shown;
}

// The session alone decides: whoever changes it, captions, the album tab and commands follow.
TEST_F(CommandsTest, CaptionsTabAndCommandsFollowTheSession)
{
    Start();
    TSession& s = Form().Session();
    const QStringList loggedOut{QStringLiteral("アルバム"), QStringLiteral("画像をプリントに追加"),
                                QStringLiteral("プリントに追加"), QStringLiteral("ActLogin")};
    const QStringList loggedIn{QStringLiteral("山田さんのアルバム"), QStringLiteral("画像をアルバムに登録"),
                               QStringLiteral("アルバムに登録"), QStringLiteral("ActLogout"), QStringLiteral("ActRefresh"),
                               QStringLiteral("ActReload"), QStringLiteral("tree")};
    const struct {
        const char* name;
        std::function<void()> change;
        QStringList expected;
    } table[] = {
        {"first start, logged out", [] {}, loggedOut},
        {"logged in",
         [&] {
             s.SetUserName(QStringLiteral("山田"));
             s.SetLoggedIn(true);
         },
         loggedIn},
        {"transfer not ready changes no command", [&] { s.SetTransferReady(false); }, loggedIn},
        {"logged out again", [&] { s.SetLoggedIn(false); }, loggedOut},
        {"logged out, transfer not ready", [&] { s.SetTransferReady(false); }, loggedOut},
    };
    for (const auto& row : table) {
        row.change();
        EXPECT_EQ(Observe(Form()), row.expected) << row.name;
    }
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
    a.ActHelp->trigger();
    a.ActNewVersion->trigger();
    EXPECT_EQ(urlCatcher.urls, (QStringList{shop + QStringLiteral("/wis/order.php?mode=select&sid="),
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
    Local().ActRefreshExecute();
    EXPECT_EQ(Local().PcTreeView->currentIndex().data(QFileSystemModel::FilePathRole).toString(), parent);
    QFileSystemModel* model = Local().PcFolderModel;
    EXPECT_TRUE(WaitFor([&] {
        model->fetchMore(model->index(parent));
        return model->index(parent + QStringLiteral("/made-elsewhere")).isValid();
    }));
    // Keeping the same folder selected is no folder change.
    EXPECT_FALSE(Scheduler().StopTimerActive());
    EXPECT_EQ(int(RecordedTraces().count(QStringLiteral("DISP VIEW ITEMS "))), loads);
    // The tree still reports changes after its model was replaced.
    SelectPcFolder(parent + QStringLiteral("/made-elsewhere"));
    EXPECT_TRUE(Scheduler().StopTimerActive());
}

// The guide follows a first-time user; that it never goes back is the guide's own test.
TEST_F(CommandsTest, GuideFollowsAFirstTimeUser)
{
    TProgram& p = Start();
    EXPECT_TRUE(p.Form3.isVisible());
    EXPECT_EQ(p.Form3.CurrentPage, 0);
    SelectPcFolder(MakeFolder(QStringLiteral("first"), {QStringLiteral("a.jpg"), QStringLiteral("b.jpg")}));
    ASSERT_TRUE(WaitForListing());
    EXPECT_EQ(p.Form3.CurrentPage, 1);
    Local().PcListView->selectAll();
    EXPECT_EQ(p.Form3.CurrentPage, 2);
    // Closed, the guide comes back through its command.
    p.Form3.hide();
    p.Form1.Actions().ActShowNavigateWindow->trigger();
    EXPECT_TRUE(p.Form3.isVisible());
}

}  // namespace
}  // namespace tovari::test
