#include "tests/app/ProgramFixture.h"

#include "app/Helper.h"

#include <QSplitter>
#include <QTabBar>
#include <QTreeView>

namespace tovari::test {
namespace {

using SettingsTest = ProgramTest;

// The data folder and the image cache are made under the data root, and the settings file there gets
// every key with its default, in order, and the session the shop handed out.
TEST_F(SettingsTest, FirstStartMakesTheDataFoldersAndWritesEveryKeyWithItsDefault)
{
    Start();
    const QString data = sandbox.filePath(QStringLiteral("data/tovari/"));
    EXPECT_EQ(Form().DataFolder(), data);
    EXPECT_EQ(Form().ImageCacheFolder(), data + QStringLiteral("ImageCache"));
    EXPECT_TRUE(QDir(Form().ImageCacheFolder()).exists());
    EXPECT_TRUE(dialogs.messages.isEmpty()) << dialogs.messages.join('\n').toStdString();
    Form().show();
    ASSERT_TRUE(Form().FormCloseQuery());
    const QByteArray expected =
        "[MAIN]\r\nWindowTop=100\r\nWindowLeft=100\r\nWindowWidth=400\r\nWindowHeight=300\r\n"
        "NaviWindowTop=410\r\nNaviWindowLeft=100\r\nNavigateWindow=1\r\nPcViewWidth=100\r\nAlbumViewWidth=100\r\n"
        "[NETWORK]\r\nQmoSessionId=" + Form().Session().SessionId().toUtf8() + "\r\n[PLUGIN]\r\nSpi=0\r\nSpiFolder=\r\n";
    EXPECT_EQ(ReadFileBytes(data + "tovari.ini"), expected);
}

TEST_F(SettingsTest, ChangedWindowsAndGuideChoiceComeBackAfterARestart)
{
    Start();
    Form().show();
    Form().move(140, 120);
    Form().resize(700, 500);
    program->Form3.move(300, 50);
    program->Form3.SetShowAtStartup(false);
    Local().PcSplitter->setSizes({180, 520});
    // The shop issued this one; without the settings the next start would be given another.
    const QString issued = Form().Session().SessionId();
    ASSERT_FALSE(issued.isEmpty());
    ASSERT_TRUE(Form().FormCloseQuery());
    program.reset();
    dialogs.messages.clear();

    Start();
    Form().show();
    EXPECT_EQ(Form().pos(), QPoint(140, 120));
    EXPECT_EQ(Form().size(), QSize(700, 500));
    EXPECT_EQ(program->Form3.pos(), QPoint(300, 50));
    EXPECT_FALSE(program->Form3.ShowAtStartup());
    EXPECT_FALSE(program->Form3.isVisible());
    EXPECT_EQ(Local().PcTreeView->width(), 180);
    EXPECT_EQ(Form().Session().SessionId(), issued);
}

// A member who was logged in is back at the next start, on the album tab and without the guide.
TEST_F(SettingsTest, LoggedInMemberIsBackOnTheAlbumTabAfterARestart)
{
    ASSERT_TRUE(StartAsDemoMember());
    Form().close();
    program.reset();

    int loginShown = 0;
    Start(DemoShopUrl(), [&](TLoginDialog&) {
        ++loginShown;
        return QDialog::Rejected;
    });
    EXPECT_EQ(loginShown, 0);
    EXPECT_TRUE(Form().Session().LoggedIn());
    EXPECT_EQ(Tabs().tabText(3), QString::fromUtf8(shop::kDemoDisplayName) + QStringLiteral("さんのアルバム"));
    EXPECT_EQ(Tabs().currentIndex(), 3);
    EXPECT_TRUE(Album().isVisibleTo(&Form()));
    EXPECT_FALSE(program->Form3.isVisible());
}

TEST_F(SettingsTest, SettingsThatCannotBeWrittenAreReportedAndTheWindowStillCloses)
{
    Start();
    // A folder where the settings file should be: nothing can replace it.
    QDir().mkpath(Form().DataFolder() + "tovari.ini");
    EXPECT_TRUE(Form().FormCloseQuery());
    EXPECT_EQ(dialogs.messages, QStringList{Form().DataFolder() + QStringLiteral("tovari.ini に書き込めません")});
}

}  // namespace
}  // namespace tovari::test
