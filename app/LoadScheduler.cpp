#include "app/LoadScheduler.h"

#include "platform/Trace.h"

namespace tovari {

TLoadScheduler::TLoadScheduler(LoadSchedulerHost& host, QObject* parent) : QObject(parent), host_(host)
{
    StopTimer.setInterval(100);
    connect(&StopTimer, &QTimer::timeout, this, &TLoadScheduler::StopTimerExecute);
}

void TLoadScheduler::PcTreeViewChange()
{
    if (PcLoadState != LoadState::STOPED_PC)
        PcLoadState = LoadState::DO_STOP_PC;
    StopTimer.start();
}

void TLoadScheduler::AlbumTreeViewChange()
{
    if (AlbumLoadState != LoadState::STOPED_ALBUM)
        AlbumLoadState = LoadState::DO_STOP_ALBUM;
    StopTimer.start();
}

const char* AlbumLoadStateName(LoadState state)
{
    switch (state) {
    case LoadState::NOTHING: return "NOTHING";
    case LoadState::NOW_LOADING_ALBUM: return "NOW_LOADING_ALBUM";
    case LoadState::LOAD_COMP_ALBUM: return "LOAD_COMP_ALBUM";
    case LoadState::DO_STOP_ALBUM: return "DO_STOP_ALBUM";
    case LoadState::STOPED_ALBUM: return "STOPED_ALBUM";
    default: return nullptr;
    }
}

// Runs re-entrantly when a loader pumps events: a loader that is running or stopping is left alone.
void TLoadScheduler::StopTimerExecute()
{
    if (const char* name = AlbumLoadStateName(AlbumLoadState))
        Trace(name);

    const int tab = host_.SelectedTabIndex();
    if (tab == 3) {
        if (AlbumLoadState == LoadState::STOPED_ALBUM) {
            if (const std::optional<int> id = host_.SelectedAlbumFolderId())
                host_.AlbumLoad(*id);
        }
        if (AlbumLoadState == LoadState::LOAD_COMP_ALBUM) {
            Trace("Album Load Repeat?");
            AlbumLoadState = LoadState::STOPED_ALBUM;
            StopTimer.stop();
        }
    } else if (tab == 0) {
        if (PcLoadState == LoadState::STOPED_PC) {
            Trace("DISP VIEW ITEMS ");
            host_.PcLoad(host_.SelectedPcFolder());
        }
        if (PcLoadState == LoadState::LOAD_COMP_PC) {
            Trace("DISP VIEW ITEMS DONE");
            PcLoadState = LoadState::STOPED_PC;
            StopTimer.stop();
        }
    }
}

}  // namespace tovari
