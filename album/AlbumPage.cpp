#include "album/AlbumPage.h"

#include "local/LocalPage.h"
#include "platform/Commands.h"
#include "platform/ImageList.h"
#include "service/Session.h"

#include <QAction>
#include <QMenu>
#include <QSplitter>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace tovari {

TAlbumPage::TAlbumPage(Context context, QWidget* parent)
    : QWidget(parent), session_(context.session), albumLoadState_(context.albumLoadState)
{
    setObjectName(QStringLiteral("AlbumView"));
    AlbumImageList = new TImageList(100, 100, 80, this);
    AlbumActionToolBar = MakeViewToolBar(QStringLiteral("AlbumActionToolBar"));
    AlbumSplitter = new QSplitter(Qt::Horizontal);
    AlbumSplitter->setHandleWidth(6);
    AlbumSplitter->setChildrenCollapsible(false);

    AlbumTreeView = new QTreeWidget;
    AlbumTreeView->setObjectName(QStringLiteral("AlbumTreeView"));
    AlbumTreeView->setHeaderHidden(true);
    AlbumTreeView->setIconSize(QSize(16, 16));
    folderIcon_.addPixmap(context.iconImageList.Pixmap(1));
    folderIcon_.addPixmap(context.iconImageList.Pixmap(2), QIcon::Selected);
    connect(AlbumTreeView, &QTreeWidget::currentItemChanged, this, [this] {
        UpdateActions();
        emit AlbumTreeViewChange();
    });

    AlbumListView = new TVirtualListView;
    AlbumListView->setObjectName(QStringLiteral("AlbumListView"));
    SetUpThumbnailList(AlbumListView);
    model_ = new TVirtualListModel(*this, this);
    AlbumListView->setModel(model_);
    AlbumListPopupActionBar = new QMenu(this);
    AlbumListPopupActionBar->setObjectName(QStringLiteral("AlbumListPopupActionBar"));
    AlbumMoveMenu = AlbumListPopupActionBar->addMenu(QStringLiteral("他のフォルダへ移動"));
    connect(AlbumListView, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        AlbumListPopupActionBar->popup(AlbumListView->viewport()->mapToGlobal(pos));
    });

    AlbumSplitter->addWidget(AlbumTreeView);
    AlbumSplitter->addWidget(AlbumListView);
    AlbumSplitter->setStretchFactor(1, 1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(AlbumActionToolBar);
    layout->addWidget(AlbumSplitter, 1);

    // The tree is filled by the member's album only; logged out it is empty from the start.
    connect(&session_, &TSession::LoggedInChanged, this, &TAlbumPage::SessionChanged);
    SessionChanged();
}

void TAlbumPage::BindActions(const TActionManager1& actions)
{
    acTUpFolder_ = actions.AcTUpFolder;
    actReload_ = actions.ActReload;
    UpdateActions();
}

void TAlbumPage::UpdateActions()
{
    const bool loggedIn = session_.LoggedIn();
    AlbumTreeView->setEnabled(loggedIn);
    if (acTUpFolder_) {
        const QTreeWidgetItem* node = AlbumTreeView->currentItem();
        acTUpFolder_->setEnabled(loggedIn && node && node->parent());
    }
    if (actReload_)
        actReload_->setEnabled(loggedIn);
}

void TAlbumPage::SessionChanged()
{
    if (!session_.LoggedIn()) {
        AlbumTreeView->clear();
        model_->Clear();
    }
    UpdateActions();
}

std::optional<int> TAlbumPage::SelectedAlbumFolderId() const
{
    // Album folders come with the member's album; until it is listed no node maps to a folder id.
    return std::nullopt;
}

void TAlbumPage::AlbumLoad(int)
{
    LoadState& state = albumLoadState_;
    if (state == LoadState::STOPED_ALBUM)
        state = LoadState::NOW_LOADING_ALBUM;
    state = state == LoadState::DO_STOP_ALBUM ? LoadState::STOPED_ALBUM : LoadState::LOAD_COMP_ALBUM;
}

}  // namespace tovari
