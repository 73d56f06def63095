#pragma once

#include "platform/LoadState.h"
#include "platform/StatusGauge.h"
#include "platform/VirtualList.h"

#include <QByteArray>
#include <QIcon>
#include <QImage>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <optional>
#include <unordered_set>
#include <vector>

class QAction;
class QMenu;
class QSplitter;
class QToolBar;
class QTreeWidget;
class QTreeWidgetItem;

namespace tovari {

class TBigImageView;
class TImageList;
class TServiceClient;
class TServiceUrls;
class TSession;
struct TActionManager1;

// One album folder. Slot k of the folder table is the tree node whose depth-first position is k.
struct TAlbumFolder {
    QString Name;
    std::int32_t Id = 0;
    std::int32_t ParentIndex = 0;
    QAction* MenuItem = nullptr;  // its entry in the move-to-folder submenu, which owns it
};

// One photo of the listed album folder.
struct TAlbumImages {
    QString Name;
    std::int32_t Id = 0;
    std::int32_t ImageIndex = 0;
};

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
        TServiceClient& service;
        const TServiceUrls& urls;
        // Where thumbnails are cached and full-size photos pass through; known once the window has
        // prepared its data folder.
        std::function<QString()> imageCacheFolder;
        std::function<int()> selectedTabIndex;
        // Draws the three 100 x 100 pictures that open every thumbnail list: unknown file, folder,
        // folder up. Asked once, at the first listing, so that start-up does not draw them.
        std::function<std::vector<QImage>()> drawListPictures;
    };

    explicit TAlbumPage(Context context, QWidget* parent = nullptr);

    void BindActions(const TActionManager1& actions);
    // Derives the enabled state of the page's commands from the session and the tree's selection.
    void UpdateActions();

    // The album tab is being shown: the folder tree is fetched once per login the first time.
    void AlbumViewSelected();

    void AlbumFolderLoad();
    void GoUpFolder();
    void AcTUpFolderExecute();
    void ActReloadExecute();

    // Id of the album folder whose tree node is selected; nothing when no node is.
    std::optional<int> SelectedAlbumFolderId() const;
    void AlbumLoad(int folderId);
    // fetched, when given, receives the thumbnail's bytes if they were downloaded just now.
    bool AlbumSmallImgLoad(int photoId, std::optional<QByteArray>* fetched = nullptr);

    void AlbumListViewDblClick();
    void AlbumShowBigImage(int k);
    // The pop-up's album commands need requests the service does not offer; they do nothing.
    void ActMoveToFolderExecute();
    void ActDeleteExecute();

    std::vector<TAlbumFolder> AlbumFolders;
    bool AlbumFoldersLoaded = false;
    std::vector<TAlbumImages> AlbumImages;

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
    // The tree was emptied: no folder is selected any more, and a running listing must stop.
    void AlbumTreeCleared();
    // A photo is about to be shown at full size: the window switches to the image view.
    void FullSizeRequested();

private:
    void ItemData(int index, ListItemData& item) override { AlbumListViewData(index, item); }
    void AlbumListViewData(int index, ListItemData& item);
    // Follows the login state: logging in empties the list and fetches the tree, logging out empties both.
    void SessionChanged();
    void EmptyAlbumList();
    // Empties the tree and the list; that is no folder change, but it ends the listing of the old one.
    void ClearAlbumTree();
    QTreeWidgetItem* AddFolderNode(QTreeWidgetItem* parent, const QString& name, int slot);
    void AddMoveMenuEntry(const QString& caption, int slot);
    // The list picture of a photo's thumbnail, downloading it when it is not cached; a cached file that
    // does not decode is fetched once more. Nothing when the photo has no usable thumbnail.
    std::optional<QImage> ThumbnailCell(int photoId);
    void ShowFileError();

    Context c_;
    TSession& session_;
    LoadState& albumLoadState_;
    TVirtualListModel* model_ = nullptr;
    QAction* acTUpFolder_ = nullptr;
    QAction* actReload_ = nullptr;
    QIcon folderIcon_;
    std::unordered_set<int> undecodableThumbnails_;  // of the running listing
    std::vector<QImage> listPictures_;  // drawn at the first listing
};

// Shown when a full-size album photo cannot be stored or decoded.
inline const QString kAlbumFileErrorMessage =
    QStringLiteral("ファイルが開けませんでした。\r\nファイルの形式を確認してみてください。");

}  // namespace tovari
