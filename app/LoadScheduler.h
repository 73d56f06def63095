#pragma once

#include "platform/LoadState.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <optional>

namespace tovari {

// What the scheduler needs of the main window.
class LoadSchedulerHost {
public:
    virtual ~LoadSchedulerHost() = default;
    virtual int SelectedTabIndex() const = 0;
    // Path of the folder selected in the local tree; empty when none is.
    virtual QString SelectedPcFolder() const = 0;
    // Id of the album folder whose tree node is selected; nothing when no node is.
    virtual std::optional<int> SelectedAlbumFolderId() const = 0;
    virtual void PcLoad(const QString& folder) = 0;
    virtual void AlbumLoad(int folderId) = 0;
};

// Starts the folder loaders from a timer, so that a folder change during a load stops that load
// first and the newest selection is listed next. Each side keeps its own request until its tab is
// shown, so a folder chosen just before switching tabs is still listed.
class TLoadScheduler : public QObject {
    Q_OBJECT
public:
    explicit TLoadScheduler(LoadSchedulerHost& host, QObject* parent = nullptr);

    void PcTreeViewChange();
    void AlbumTreeViewChange();
    // The album tree was emptied (logout, a fresh read of the tree): a running album listing stops
    // and the album side has nothing left to list. The local side is untouched.
    void AlbumTreeCleared();
    void StopTimerExecute();
    // The program is ending: running loads stop at their next item and nothing starts again.
    void Shutdown();

    bool PcRequested() const { return pcRequested_; }
    bool AlbumRequested() const { return albumRequested_; }
    LoadState PcLoadState() const { return pcLoadState_; }
    LoadState AlbumLoadState() const { return albumLoadState_; }
    // On while a side still has a folder to list.
    bool StopTimerActive() const { return stopTimer_.isActive(); }

    // The states the two loaders keep up to date while they run; each is handed to its loader when the
    // window is made, and the scheduler asks a running load to stop through it.
    LoadState& PcLoaderState() { return pcLoadState_; }
    LoadState& AlbumLoaderState() { return albumLoadState_; }

private:
    void StopTimerTick();
    void EnableStopTimer();
    // The timer runs only while a side still has a folder to list.
    void StopTimerWhenIdle();

    LoadSchedulerHost& host_;
    bool pcRequested_ = false;
    bool albumRequested_ = false;
    bool shutDown_ = false;
    LoadState pcLoadState_ = LoadState::STOPED_PC;
    LoadState albumLoadState_ = LoadState::STOPED_ALBUM;
    QTimer stopTimer_;
};

// The debug name of an album load state; nullptr for values that have none.
const char* AlbumLoadStateName(LoadState state);

}  // namespace tovari
