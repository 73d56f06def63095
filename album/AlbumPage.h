#pragma once

#include "platform/LoadState.h"
#include "platform/StatusGauge.h"
#include "platform/VirtualList.h"

#include <QIcon>
#include <QImage>
#include <QWidget>
#include <optional>

class QMenu;
class QSplitter;
class QToolBar;
class QTreeWidget;

namespace tovari {

class TBigImageView;
class TImageList;
class TSession;
struct TActionManager1;

// View 3: the member's album folder tree beside the photo list of the chosen album folder.
class TAlbumPage : public QWidget, private VirtualListItemSource {
    Q_OBJECT
public:
    struct Context {
        TSession& session;
        LoadState& albumLoadState;
        TStatusLine status;
        TBigImageView& bigImageView;
        // The 16 x 16 icons of the tree: 1 a folder, 2 a selected folder.
        const TImageList& iconImageList;
    };

    explicit TAlbumPage(Context context, QWidget* parent = nullptr);

    void BindActions(const TActionManager1& actions);
    // Derives the enabled state of the page's commands from the session and the tree's selection.
    void UpdateActions();

    // Id of the album folder whose tree node is selected; nothing when no node is.
    std::optional<int> SelectedAlbumFolderId() const;
    void AlbumLoad(int folderId);

    QToolBar* AlbumActionToolBar = nullptr;
    QSplitter* AlbumSplitter = nullptr;
    QTreeWidget* AlbumTreeView = nullptr;
    TVirtualListView* AlbumListView = nullptr;
    QMenu* AlbumListPopupActionBar = nullptr;
    QMenu* AlbumMoveMenu = nullptr;
    TImageList* AlbumImageList = nullptr;

signals:
    // The selected album folder changed: the scheduler lists it at its next tick.
    void AlbumTreeViewChange();

private:
    void ItemData(int, ListItemData&) override {}
    // Follows the login state: the tree is usable while logged in, empty otherwise.
    void SessionChanged();

    TSession& session_;
    LoadState& albumLoadState_;
    TVirtualListModel* model_ = nullptr;
    QAction* acTUpFolder_ = nullptr;
    QAction* actReload_ = nullptr;
    QIcon folderIcon_;
};

}  // namespace tovari
