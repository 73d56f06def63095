#include "tests/app/ProgramFixture.h"

#include "shop/DemoAlbum.h"

#include <QAbstractItemModel>
#include <QCoreApplication>
#include <QLineEdit>
#include <QTabBar>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <map>

namespace tovari::test {
namespace {

using SchedulerTest = ProgramTest;

// A folder left before the next tick, or chosen away while a scan pumps events (three in a row here), is
// never listed, not even in part; only the last one chosen is.
TEST_F(SchedulerTest, OnlyTheLastChosenFolderIsEverListed)
{
    Start();
    const auto count = [](const QString& trace) { return int(RecordedTraces().count(trace)); };
    // Every caption that is ever added to the list, to prove stale folders never show.
    QStringList everListed;
    QObject::connect(Local().PcListView->model(), &QAbstractItemModel::rowsInserted,
                     [&](const QModelIndex&, int first, int last) {
                         for (int i = first; i <= last; ++i)
                             everListed.append(Local().PcListView->model()->index(i, 0).data().toString());
                     });
    RecordedTraces().clear();
    SelectPcFolder(MakeFolder(QStringLiteral("left"), {QStringLiteral("left.jpg")}));
    SelectPcFolder(MakeFolder(QStringLiteral("chosen"), {QStringLiteral("chosen.jpg")}));
    ASSERT_TRUE(WaitForListing());
    EXPECT_EQ(everListed, QStringList{QStringLiteral("chosen.jpg")});
    EXPECT_EQ(count(QStringLiteral("DISP VIEW ITEMS ")), 1);

    // Choosing the local tab again lists nothing anew: no timer runs that could start a load.
    Tabs().setCurrentIndex(2);
    Tabs().setCurrentIndex(0);
    QCoreApplication::processEvents();
    EXPECT_FALSE(Scheduler().StopTimerActive());
    EXPECT_EQ(count(QStringLiteral("DISP VIEW ITEMS ")), 1);

    const QString big = MakeFolder(QStringLiteral("big"), NumberedFiles(QStringLiteral("big"), 400));
    // The scan pumps events while it reads the folder; these choices arrive in the middle of it.
    QStringList pending{MakeFolder(QStringLiteral("second"), {QStringLiteral("second.jpg")}),
                        MakeFolder(QStringLiteral("third"), {QStringLiteral("third.jpg")}),
                        MakeFolder(QStringLiteral("last"), {QStringLiteral("last.jpg")})};
    QTimer chooser;
    chooser.setInterval(0);
    QObject::connect(&chooser, &QTimer::timeout, [&] {
        if (Scheduler().PcLoadState() == LoadState::STOPED_PC || pending.isEmpty())
            return;
        SelectPcFolder(pending.takeFirst());
    });
    chooser.start();
    SelectPcFolder(big);
    ASSERT_TRUE(WaitFor([&] { return pending.isEmpty(); }));
    chooser.stop();
    ASSERT_TRUE(WaitForListing());

    EXPECT_EQ(ListedCaptions(), QStringList{QStringLiteral("last.jpg")});
    EXPECT_TRUE(everListed.filter(QStringLiteral("big")).isEmpty());
    // A stopped scan reads no further into the folder.
    EXPECT_LT(count(QStringLiteral("Stop Loading")), 400);
    EXPECT_EQ(Scheduler().PcLoadState(), LoadState::STOPED_PC);
}

// The demo member logged in, for the album side of the scheduler.
class AlbumSchedulerTest : public ProgramTest {
protected:
    void SetUp() override
    {
        ProgramTest::SetUp();
        ASSERT_TRUE(StartAsDemoMember());
        QObject::connect(Album().AlbumListView->model(), &QAbstractItemModel::modelReset, [this] { ++albumListings; });
    }

    int AlbumItems() { return Album().AlbumListView->model()->rowCount(); }

    int albumListings = 0;
};

// The scheduler's tick also runs while a loader pumps events: an album folder chosen during a local
// scan is listed before that scan ends.
TEST_F(AlbumSchedulerTest, AlbumListingStartsWhileALocalScanRuns)
{
    const QString big = MakeFolder(QStringLiteral("big"), NumberedFiles(QStringLiteral("p"), 300));
    bool choseAlbum = false;
    bool listedDuringScan = false;
    QTimer during;
    during.setInterval(0);
    QObject::connect(&during, &QTimer::timeout, [&] {
        if (choseAlbum || Scheduler().PcLoadState() != LoadState::NOW_LOADING_PC)
            return;
        choseAlbum = true;
        Tabs().setCurrentIndex(3);
        Album().AlbumTreeView->setCurrentItem(AlbumNode(QStringLiteral("家族")));
        // Still inside the scan's pumping: the album listing must come from a tick delivered here.
        listedDuringScan = WaitFor([&] { return AlbumItems() == 2; }, std::chrono::seconds(5)) &&
                           Scheduler().PcLoadState() == LoadState::NOW_LOADING_PC;
    });
    during.start();
    SelectPcFolder(big);
    ASSERT_TRUE(WaitFor([&] { return choseAlbum; }));
    during.stop();
    EXPECT_TRUE(listedDuringScan);
    ASSERT_TRUE(WaitForListing());
    EXPECT_EQ(ListedCaptions().size(), 300);
    EXPECT_EQ(Scheduler().PcLoadState(), LoadState::STOPED_PC);
    EXPECT_EQ(Scheduler().AlbumLoadState(), LoadState::STOPED_ALBUM);
}

// A key held down in the tree changes the folder faster than the timer ticks; the tick keeps its
// phase, so the folder under the cursor is listed every 100 ms instead of never until release.
TEST_F(AlbumSchedulerTest, HeldKeyListsTheCurrentFolderEveryTick)
{
    Tabs().setCurrentIndex(3);
    QTreeWidget* tree = Album().AlbumTreeView;
    tree->expandAll();
    tree->setCurrentItem(tree->topLevelItem(0));
    ASSERT_TRUE(WaitForListing());
    const int before = albumListings;

    int presses = 0;
    bool down = true;
    QTimer repeat;
    repeat.setInterval(30);
    QObject::connect(&repeat, &QTimer::timeout, [&] {
        QTreeWidgetItem* current = tree->currentItem();
        if (down && !tree->itemBelow(current))
            down = false;
        else if (!down && !tree->itemAbove(current))
            down = true;
        QTest::keyClick(tree, down ? Qt::Key_Down : Qt::Key_Up);
        ++presses;
    });
    repeat.start();
    ASSERT_TRUE(WaitFor([&] { return presses >= 40; }, std::chrono::seconds(30)));
    repeat.stop();
    // About 1.2 s of changes: a dozen ticks, of which a good part must have listed.
    EXPECT_GE(albumListings - before, 3);

    // After the release the folder under the cursor is the one listed.
    ASSERT_TRUE(WaitForListing());
    const std::map<QString, int> photosIn{{QStringLiteral("トップ"), 0},  {QStringLiteral("家族"), 2},
                                          {QStringLiteral("2007年 夏"), 4}, {QStringLiteral("海水浴"), 6},
                                          {QStringLiteral("夕焼け"), 3},  {QStringLiteral("誕生日"), 3},
                                          {QStringLiteral("旅行"), 2},    {QStringLiteral("京都"), 6},
                                          {QStringLiteral("北海道"), 4},  {QStringLiteral("ペット"), 8}};
    EXPECT_EQ(AlbumItems(), photosIn.at(tree->currentItem()->text(0))) << tree->currentItem()->text(0).toStdString();
}

// A fresh read of the tree or a logout while a listing pumps its events stops that listing, keeps none
// of its photos and leaves the scheduler at rest. Emptying the album tree is no change of the local
// folder: the local listing and its selection stay.
TEST_F(AlbumSchedulerTest, TreeEmptiedDuringAListingEndsSettled)
{
    SelectPcFolder(MakeFolder(QStringLiteral("five"), NumberedFiles(QStringLiteral("p"), 5)));
    ASSERT_TRUE(WaitForListing());
    Local().PcListView->selectAll();
    ASSERT_EQ(Form().StatusText(), QStringLiteral("5個選択中 "));
    RecordedTraces().clear();
    Tabs().setCurrentIndex(3);
    for (QAction* action : {Form().Actions().ActReload, Form().Actions().ActLogout}) {
        int pumpsWithOneItem = 0;
        bool done = false;
        QTimer during;
        during.setInterval(0);
        // The second photo is in but not yet shown (the list takes new items in batches): the moment
        // when an emptied list could still be handed the photos listed since.
        QObject::connect(&during, &QTimer::timeout, [&] {
            if (!done && Scheduler().AlbumLoadState() == LoadState::NOW_LOADING_ALBUM && AlbumItems() == 1 &&
                ++pumpsWithOneItem == 2) {
                done = true;
                action->trigger();
            }
        });
        during.start();
        Album().AlbumTreeView->setCurrentItem(AlbumNode(QStringLiteral("ペット")));
        ASSERT_TRUE(WaitFor([&] { return done; })) << action->objectName().toStdString();
        ASSERT_TRUE(WaitForListing());
        during.stop();
        EXPECT_EQ(Scheduler().AlbumLoadState(), LoadState::STOPED_ALBUM);
        EXPECT_EQ(AlbumItems(), 0) << action->objectName().toStdString();
        EXPECT_EQ(Album().AlbumImages.size(), 0u);
    }
    ASSERT_FALSE(Form().Session().LoggedIn());
    Tabs().setCurrentIndex(0);
    ASSERT_TRUE(WaitForListing());
    EXPECT_EQ(RecordedTraces().count(QStringLiteral("DISP VIEW ITEMS ")), 0);
    EXPECT_EQ(Local().PcListView->selectionModel()->selectedIndexes().size(), 5);
    EXPECT_EQ(Form().StatusText(), QStringLiteral("5個選択中 "));
}

}  // namespace
}  // namespace tovari::test
