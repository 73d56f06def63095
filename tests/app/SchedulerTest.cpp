#include "tests/app/ProgramFixture.h"

#include <QAbstractItemModel>
#include <QCoreApplication>
#include <QTabBar>
#include <QTimer>

namespace tovari::test {
namespace {

class SchedulerTest : public ProgramTest {
protected:
    void SetUp() override
    {
        ProgramTest::SetUp();
        RecordedTraces().clear();
        Start();
        // Every caption that is ever added to the list, to prove stale folders never show.
        QObject::connect(Form().Local().PcListView->model(), &QAbstractItemModel::rowsInserted,
                [this](const QModelIndex&, int first, int last) {
                    for (int i = first; i <= last; ++i)
                        everListed.append(Form().Local().PcListView->model()->index(i, 0).data().toString());
                });
    }

    QStringList NumberedFiles(const QString& prefix, int count)
    {
        QStringList names;
        for (int i = 0; i < count; ++i)
            names.append(QStringLiteral("%1%2.jpg").arg(prefix).arg(i, 4, 10, QChar('0')));
        return names;
    }

    static int Count(const QString& trace) { return int(RecordedTraces().count(trace)); }

    QStringList everListed;
};

TEST_F(SchedulerTest, CompletedLoadStopsTheTimerAndIsNotRepeated)
{
    const QString folder = MakeFolder(QStringLiteral("one"), {QStringLiteral("a.jpg"), QStringLiteral("b.jpg")});
    SelectPcFolder(folder);
    EXPECT_TRUE(Form().Scheduler().StopTimer.isActive());
    ASSERT_TRUE(WaitForListing());
    EXPECT_EQ(ListedCaptions(), (QStringList{QStringLiteral("a.jpg"), QStringLiteral("b.jpg")}));
    EXPECT_EQ(Form().Scheduler().PcLoadState, LoadState::STOPED_PC);
    EXPECT_EQ(Count(QStringLiteral("DISP VIEW ITEMS ")), 1);
    EXPECT_EQ(Count(QStringLiteral("DISP VIEW ITEMS DONE")), 1);

    // Choosing the same tab again lists nothing anew: no timer runs that could start a load.
    Form().Tabs().setCurrentIndex(2);
    Form().Tabs().setCurrentIndex(0);
    QCoreApplication::processEvents();
    EXPECT_FALSE(Form().Scheduler().StopTimer.isActive());
    EXPECT_EQ(Count(QStringLiteral("DISP VIEW ITEMS ")), 1);
}

TEST_F(SchedulerTest, FolderLeftBeforeTheNextTickIsNeverListed)
{
    const QString left = MakeFolder(QStringLiteral("left"), {QStringLiteral("left.jpg")});
    const QString chosen = MakeFolder(QStringLiteral("chosen"), {QStringLiteral("chosen.jpg")});
    SelectPcFolder(left);
    SelectPcFolder(chosen);
    ASSERT_TRUE(WaitForListing());
    EXPECT_EQ(everListed, QStringList{QStringLiteral("chosen.jpg")});
    EXPECT_EQ(Count(QStringLiteral("DISP VIEW ITEMS ")), 1);
}

TEST_F(SchedulerTest, ThreeFoldersChosenDuringAScanEndWithTheLastListed)
{
    const QString big = MakeFolder(QStringLiteral("big"), NumberedFiles(QStringLiteral("big"), 400));
    const QString second = MakeFolder(QStringLiteral("second"), {QStringLiteral("second.jpg")});
    const QString third = MakeFolder(QStringLiteral("third"), {QStringLiteral("third.jpg")});
    const QString last = MakeFolder(QStringLiteral("last"), {QStringLiteral("last.jpg")});

    // The scan pumps events while it reads the folder; these choices arrive in the middle of it.
    QStringList pending{second, third, last};
    QTimer chooser;
    chooser.setInterval(0);
    QObject::connect(&chooser, &QTimer::timeout, [&] {
        if (Form().Scheduler().PcLoadState == LoadState::STOPED_PC || pending.isEmpty())
            return;
        SelectPcFolder(pending.takeFirst());
    });
    chooser.start();
    SelectPcFolder(big);
    ASSERT_TRUE(WaitFor([&] { return pending.isEmpty(); }));
    chooser.stop();
    ASSERT_TRUE(WaitForListing());

    EXPECT_EQ(ListedCaptions(), QStringList{QStringLiteral("last.jpg")});
    EXPECT_FALSE(everListed.contains(QStringLiteral("big0000.jpg")));
    EXPECT_GE(Count(QStringLiteral("Stop Loading")), 400);
    EXPECT_EQ(Form().Scheduler().PcLoadState, LoadState::STOPED_PC);
}

TEST_F(SchedulerTest, ChangeMadeOnTheAlbumTabIsListedWhenTheLocalTabIsChosen)
{
    const QString folder = MakeFolder(QStringLiteral("later"), {QStringLiteral("later.jpg")});
    Form().Tabs().setCurrentIndex(3);
    SelectPcFolder(folder);
    // The timer keeps ticking on the album tab, naming the album state each time, but lists nothing.
    ASSERT_TRUE(WaitFor([] { return Count(QStringLiteral("STOPED_ALBUM")) >= 3; }));
    EXPECT_TRUE(ListedCaptions().isEmpty());
    EXPECT_TRUE(Form().Scheduler().StopTimer.isActive());

    Form().Tabs().setCurrentIndex(0);
    ASSERT_TRUE(WaitForListing());
    EXPECT_EQ(ListedCaptions(), QStringList{QStringLiteral("later.jpg")});
}

TEST(LoadStateNames, AlbumStatesHaveDebugNamesAndLocalOnesNone)
{
    const std::pair<LoadState, const char*> table[] = {
        {LoadState::NOTHING, "NOTHING"},
        {LoadState::NOW_LOADING_ALBUM, "NOW_LOADING_ALBUM"},
        {LoadState::LOAD_COMP_ALBUM, "LOAD_COMP_ALBUM"},
        {LoadState::DO_STOP_ALBUM, "DO_STOP_ALBUM"},
        {LoadState::STOPED_ALBUM, "STOPED_ALBUM"},
        {LoadState::NOW_LOADING_PC, nullptr},
        {LoadState::STOPED_PC, nullptr},
    };
    for (const auto& [state, name] : table) {
        const char* actual = AlbumLoadStateName(state);
        EXPECT_EQ(actual ? std::string(actual) : std::string("<none>"), name ? std::string(name) : "<none>");
    }
}

}  // namespace
}  // namespace tovari::test
