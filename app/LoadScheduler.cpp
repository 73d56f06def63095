#include "app/LoadScheduler.h"

#include "platform/Trace.h"
#include "platform/Views.h"

namespace tovari {

TLoadScheduler::TLoadScheduler(LoadSchedulerHost& host, QObject* parent) : QObject(parent), host_(host)
{
    stopTimer_.setInterval(100);
    // A timer never fires again while its own timeout is being delivered, so a tick that ran a loader
    // straight from there would block every later tick until the loader ends. Queued, the tick runs
    // from the event queue instead, and the loader's pumping delivers the next ones re-entrantly.
    connect(&stopTimer_, &QTimer::timeout, this, &TLoadScheduler::StopTimerTick, Qt::QueuedConnection);
}

void TLoadScheduler::StopTimerTick()
{
    // A tick still queued when the timer was switched off belongs to no request any more.
    if (stopTimer_.isActive())
        StopTimerExecute();
}

void TLoadScheduler::EnableStopTimer()
{
    if (shutDown_)
        return;
    // Switching on a running timer keeps its phase: a stream of folder changes (a key held down in a
    // tree) must not keep pushing the next tick away.
    if (!stopTimer_.isActive())
        stopTimer_.start();
}

void TLoadScheduler::StopTimerWhenIdle()
{
    if (!pcRequested_ && !albumRequested_)
        stopTimer_.stop();
}

void TLoadScheduler::PcTreeViewChange()
{
    if (pcLoadState_ != LoadState::STOPED_PC)
        pcLoadState_ = LoadState::DO_STOP_PC;
    pcRequested_ = true;
    EnableStopTimer();
}

void TLoadScheduler::AlbumTreeViewChange()
{
    if (albumLoadState_ != LoadState::STOPED_ALBUM)
        albumLoadState_ = LoadState::DO_STOP_ALBUM;
    albumRequested_ = true;
    EnableStopTimer();
}

void TLoadScheduler::AlbumTreeCleared()
{
    if (albumLoadState_ != LoadState::STOPED_ALBUM)
        albumLoadState_ = LoadState::DO_STOP_ALBUM;
    albumRequested_ = false;
    StopTimerWhenIdle();
}

void TLoadScheduler::Shutdown()
{
    shutDown_ = true;
    if (pcLoadState_ != LoadState::STOPED_PC)
        pcLoadState_ = LoadState::DO_STOP_PC;
    if (albumLoadState_ != LoadState::STOPED_ALBUM)
        albumLoadState_ = LoadState::DO_STOP_ALBUM;
    pcRequested_ = albumRequested_ = false;
    stopTimer_.stop();
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
    if (const char* name = AlbumLoadStateName(albumLoadState_))
        Trace(name);

    const int tab = host_.SelectedTabIndex();
    // A request is taken when its load starts; a change during that load makes a new one.
    if (tab == kAlbumTab) {
        if (albumLoadState_ == LoadState::STOPED_ALBUM && albumRequested_) {
            if (const std::optional<int> id = host_.SelectedAlbumFolderId()) {
                albumRequested_ = false;
                host_.AlbumLoad(*id);
            }
        }
        if (albumLoadState_ == LoadState::LOAD_COMP_ALBUM) {
            Trace("Album Load Repeat?");
            albumLoadState_ = LoadState::STOPED_ALBUM;
            StopTimerWhenIdle();
        }
    } else if (tab == kLocalTab) {
        if (pcLoadState_ == LoadState::STOPED_PC && pcRequested_) {
            Trace("DISP VIEW ITEMS ");
            pcRequested_ = false;
            host_.PcLoad(host_.SelectedPcFolder());
        }
        if (pcLoadState_ == LoadState::LOAD_COMP_PC) {
            Trace("DISP VIEW ITEMS DONE");
            pcLoadState_ = LoadState::STOPED_PC;
            StopTimerWhenIdle();
        }
    }
}

}  // namespace tovari
