#include "tests/app/ProgramFixture.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QTabBar>
#include <QToolBar>
#include <QTreeWidget>

namespace tovari::test {
namespace {

// What the window shows of the session: the album tab, the upload captions and which commands work.
struct SessionView {
    QString albumTab;
    QString fileUpLoad;
    QString fileUp;
    bool login, logout, refresh, reload, upFolder, albumTree;

    bool operator==(const SessionView&) const = default;
};

void PrintTo(const SessionView& v, std::ostream* os)
{
    *os << v.albumTab.toStdString() << " / " << v.fileUpLoad.toStdString() << " / " << v.fileUp.toStdString()
        << " login " << v.login << " logout " << v.logout << " refresh " << v.refresh << " reload " << v.reload
        << " up " << v.upFolder << " tree " << v.albumTree;
}

SessionView Observe(TForm1& f)
{
    const TActionManager1& a = f.Actions();
    return {f.Tabs().tabText(3),           a.ActFileUpLoad->text(),  a.ActFileUp->text(),
            a.ActLogin->isEnabled(),       a.ActLogout->isEnabled(), a.ActRefresh->isEnabled(),
            a.ActReload->isEnabled(),      a.AcTUpFolder->isEnabled(), f.Album().AlbumTreeView->isEnabled()};
}

const SessionView kLoggedOut{QStringLiteral("アルバム"), QStringLiteral("画像をプリントに追加"), QStringLiteral("プリントに追加"),
                             true, false, false, false, false, false};
const SessionView kLoggedIn{QStringLiteral("山田さんのアルバム"), QStringLiteral("画像をアルバムに登録"),
                            QStringLiteral("アルバムに登録"), false, true, true, true, false, true};

using SessionStateTest = ProgramTest;

// The session alone decides: whoever changes it, captions, the album tab and commands follow.
TEST_F(SessionStateTest, CaptionsTabAndCommandsFollowTheSession)
{
    Start();
    TForm1& f = Form();
    TSession& s = f.Session();
    const struct {
        const char* name;
        std::function<void()> change;
        SessionView expected;
    } table[] = {
        {"first start, logged out", [] {}, kLoggedOut},
        {"logged in",
         [&] {
             s.SetUserName(QStringLiteral("山田"));
             s.SetLoggedIn(true);
         },
         kLoggedIn},
        {"transfer not ready changes no command", [&] { s.SetTransferReady(false); }, kLoggedIn},
        {"logged out again", [&] { s.SetLoggedIn(false); }, kLoggedOut},
        {"logged out, transfer not ready", [&] { s.SetTransferReady(false); }, kLoggedOut},
    };
    for (const auto& row : table) {
        row.change();
        EXPECT_EQ(Observe(f), row.expected) << row.name;
    }
}

// "Up" needs a folder below the root, whoever selects it.
TEST_F(SessionStateTest, UpFolderFollowsTheSelectedAlbumNode)
{
    Start();
    TForm1& f = Form();
    f.Session().SetLoggedIn(true);
    QTreeWidget* tree = f.Album().AlbumTreeView;
    tree->clear();
    auto* root = new QTreeWidgetItem(tree, {QStringLiteral("トップ")});
    auto* child = new QTreeWidgetItem(root, {QStringLiteral("旅行")});
    tree->setCurrentItem(child);
    EXPECT_TRUE(f.Actions().AcTUpFolder->isEnabled());
    tree->setCurrentItem(root);
    EXPECT_FALSE(f.Actions().AcTUpFolder->isEnabled());
    tree->setCurrentItem(child);
    f.Session().SetLoggedIn(false);
    EXPECT_FALSE(f.Actions().AcTUpFolder->isEnabled());
    EXPECT_EQ(tree->topLevelItemCount(), 0);
}

// A command that a part binds runs its handler from every place that shows it.
TEST_F(SessionStateTest, LoginBoundByTheLoginServiceOpensTheDialogFromMenuAndToolbar)
{
    int shown = 0;
    Start(DemoShopUrl(), [&](TLoginDialog&) {
        ++shown;
        return QDialog::Rejected;
    });
    TForm1& f = Form();
    QAction* fromMenu = f.MenuBar().actions().at(0)->menu()->actions().at(0);
    QAction* fromToolbar = f.Local().PcActionToolBar->actions().at(2);
    ASSERT_EQ(fromMenu, f.Actions().ActLogin);
    ASSERT_EQ(fromToolbar->text(), QStringLiteral("アルバム会員ログイン(&Login)"));
    fromMenu->trigger();
    fromToolbar->trigger();
    EXPECT_EQ(shown, 2);
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

// The upload binds the pop-up's command itself: with nothing selected, its first check answers.
TEST_F(SessionStateTest, UploadBoundByItsCommandAnswersFromThePopUp)
{
    Start();
    QAction* fromPopUp = Form().Local().PcListPopupActionBar->actions().at(0);
    ASSERT_EQ(fromPopUp, Form().Actions().ActFileUpLoad);
    fromPopUp->trigger();
    EXPECT_EQ(dialogs.messages, QStringList{QStringLiteral("エラー: 画像を選択してください。")});
}

}  // namespace
}  // namespace tovari::test
