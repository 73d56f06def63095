#include "app/LoadScheduler.h"
#include "tests/common/TestSupport.h"

#include <gtest/gtest.h>

namespace tovari::test {
namespace {

// The window's side of the scheduler: a chosen tab and folders, and loaders that end as told.
struct FakeHost : LoadSchedulerHost {
    int tab = 0;
    QString pcFolder = QStringLiteral("/photos");
    std::optional<int> albumFolder;
    // The state a loader leaves behind when it returns; nullopt leaves the state as the call found it.
    std::optional<LoadState> pcEnd;
    std::optional<LoadState> albumEnd;
    TLoadScheduler* scheduler = nullptr;
    QStringList calls;

    int SelectedTabIndex() const override { return tab; }
    QString SelectedPcFolder() const override { return pcFolder; }
    std::optional<int> SelectedAlbumFolderId() const override { return albumFolder; }
    void PcLoad(const QString& folder) override
    {
        calls.append(QStringLiteral("PcLoad ") + folder);
        if (pcEnd)
            scheduler->PcLoaderState() = *pcEnd;
    }
    void AlbumLoad(int folderId) override
    {
        calls.append(QStringLiteral("AlbumLoad %1").arg(folderId));
        if (albumEnd)
            scheduler->AlbumLoaderState() = *albumEnd;
    }
};

enum Requests { kNone = 0, kPc = 1, kAlbum = 2, kBoth = 3 };

using S = LoadState;
const QString kAlbumStopped = QStringLiteral("STOPED_ALBUM");

TEST(LoadSchedulerTest, OneTickStartsAtMostTheLoaderOfTheShownSide)
{
    const struct {
        const char* name;
        int tab;
        int requests;  // the sides whose tree changed before the tick
        LoadState pcBefore;
        LoadState albumBefore;
        std::optional<int> albumFolder;
        std::optional<LoadState> loaderEnd;  // what the started loader leaves
        QStringList calls;
        QStringList traces;
        LoadState pcAfter;
        LoadState albumAfter;
        bool timerStillOn;
    } cases[] = {
        {"local listing that completes", 0, kPc, S::STOPED_PC, S::STOPED_ALBUM, {}, S::LOAD_COMP_PC,
         {QStringLiteral("PcLoad /photos")},
         {kAlbumStopped, QStringLiteral("DISP VIEW ITEMS "), QStringLiteral("DISP VIEW ITEMS DONE")}, S::STOPED_PC,
         S::STOPED_ALBUM, false},
        {"local listing stopped by a change tries again", 0, kPc, S::STOPED_PC, S::STOPED_ALBUM, {}, S::STOPED_PC,
         {QStringLiteral("PcLoad /photos")}, {kAlbumStopped, QStringLiteral("DISP VIEW ITEMS ")}, S::STOPED_PC,
         S::STOPED_ALBUM, true},
        // Each tick names the album side's state for the trace, whichever tab is shown.
        {"tick while the local loader runs leaves it alone", 0, kPc, S::NOW_LOADING_PC, S::NOTHING, {}, {}, {},
         {QStringLiteral("NOTHING")}, S::NOW_LOADING_PC, S::NOTHING, true},
        {"tick while the local loader stops leaves it alone", 0, kPc, S::DO_STOP_PC, S::DO_STOP_ALBUM, {}, {}, {},
         {QStringLiteral("DO_STOP_ALBUM")}, S::DO_STOP_PC, S::DO_STOP_ALBUM, true},
        {"local tab leaves the album request waiting", 0, kAlbum, S::STOPED_PC, S::STOPED_ALBUM, 7, S::LOAD_COMP_PC, {},
         {kAlbumStopped}, S::STOPED_PC, S::STOPED_ALBUM, true},
        {"album listing that completes", 3, kAlbum, S::STOPED_PC, S::STOPED_ALBUM, 7, S::LOAD_COMP_ALBUM,
         {QStringLiteral("AlbumLoad 7")}, {kAlbumStopped, QStringLiteral("Album Load Repeat?")}, S::STOPED_PC,
         S::STOPED_ALBUM, false},
        {"album listing keeps the local request waiting", 3, kBoth, S::STOPED_PC, S::STOPED_ALBUM, 7,
         S::LOAD_COMP_ALBUM, {QStringLiteral("AlbumLoad 7")}, {kAlbumStopped, QStringLiteral("Album Load Repeat?")},
         S::STOPED_PC, S::STOPED_ALBUM, true},
        {"album tab without a request lists nothing", 3, kPc, S::STOPED_PC, S::STOPED_ALBUM, 7, S::LOAD_COMP_ALBUM, {},
         {kAlbumStopped}, S::STOPED_PC, S::STOPED_ALBUM, true},
        {"album tab without a selected folder waits", 3, kAlbum, S::STOPED_PC, S::STOPED_ALBUM, {}, {}, {},
         {kAlbumStopped}, S::STOPED_PC, S::STOPED_ALBUM, true},
        {"album loader running is named and left alone", 3, kAlbum, S::STOPED_PC, S::NOW_LOADING_ALBUM, 7, {}, {},
         {QStringLiteral("NOW_LOADING_ALBUM")}, S::STOPED_PC, S::NOW_LOADING_ALBUM, true},
        {"order tab starts nothing", 1, kBoth, S::STOPED_PC, S::LOAD_COMP_ALBUM, 7, {}, {},
         {QStringLiteral("LOAD_COMP_ALBUM")}, S::STOPED_PC, S::LOAD_COMP_ALBUM, true},
        {"full-size tab starts nothing", 2, kBoth, S::STOPED_PC, S::STOPED_ALBUM, 7, {}, {}, {kAlbumStopped},
         S::STOPED_PC, S::STOPED_ALBUM, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeHost host;
        TLoadScheduler scheduler(host);
        host.scheduler = &scheduler;
        host.tab = c.tab;
        host.albumFolder = c.albumFolder;
        host.pcEnd = host.albumEnd = c.loaderEnd;
        if (c.requests & kPc)
            scheduler.PcTreeViewChange();
        if (c.requests & kAlbum)
            scheduler.AlbumTreeViewChange();
        scheduler.PcLoaderState() = c.pcBefore;
        scheduler.AlbumLoaderState() = c.albumBefore;
        RecordedTraces().clear();

        scheduler.StopTimerExecute();

        EXPECT_EQ(host.calls, c.calls);
        EXPECT_EQ(RecordedTraces(), c.traces);
        EXPECT_EQ(scheduler.PcLoadState(), c.pcAfter);
        EXPECT_EQ(scheduler.AlbumLoadState(), c.albumAfter);
        EXPECT_EQ(scheduler.StopTimerActive(), c.timerStillOn);
    }
}

TEST(LoadSchedulerTest, AFolderChangeStopsARunningLoadAndSwitchesTheTimerOn)
{
    FakeHost host;
    TLoadScheduler scheduler(host);
    scheduler.PcTreeViewChange();
    EXPECT_EQ(scheduler.PcLoadState(), LoadState::STOPED_PC);
    EXPECT_TRUE(scheduler.StopTimerActive());

    scheduler.PcLoaderState() = LoadState::NOW_LOADING_PC;
    scheduler.AlbumLoaderState() = LoadState::NOW_LOADING_ALBUM;
    scheduler.PcTreeViewChange();
    scheduler.AlbumTreeViewChange();
    EXPECT_EQ(scheduler.PcLoadState(), LoadState::DO_STOP_PC);
    EXPECT_EQ(scheduler.AlbumLoadState(), LoadState::DO_STOP_ALBUM);

    // An emptied album tree stops its listing and takes back only the album side's request.
    scheduler.AlbumTreeCleared();
    EXPECT_FALSE(scheduler.AlbumRequested());
    EXPECT_TRUE(scheduler.PcRequested());
    EXPECT_TRUE(scheduler.StopTimerActive());
    TLoadScheduler albumOnly(host);
    albumOnly.AlbumTreeViewChange();
    albumOnly.AlbumTreeCleared();
    EXPECT_FALSE(albumOnly.StopTimerActive());
}

}  // namespace
}  // namespace tovari::test
