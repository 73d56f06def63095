#include "album/AlbumPage.h"

#include "album/AlbumCache.h"
#include "local/FullSizeView.h"
#include "local/LocalPage.h"
#include "platform/Commands.h"
#include "platform/Dialogs.h"
#include "platform/ImageList.h"
#include "platform/Trace.h"
#include "platform/Views.h"
#include "service/ServiceClient.h"
#include "service/ServiceProtocol.h"
#include "service/Session.h"

#include <QAction>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QSignalBlocker>
#include <QSplitter>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

namespace tovari {

namespace {

const QString kTopFolderName = QStringLiteral("トップ");
constexpr int kSlotRole = Qt::UserRole;
// How often a listing hands its new items to the list: often enough to look continuous.
constexpr qint64 kListFlushMs = 50;

// Filters the list viewport's double clicks into the page's handler, leaving the list's own handling alone.
class DoubleClickFilter : public QObject {
public:
    DoubleClickFilter(std::function<void()> handler, QObject* parent) : QObject(parent), handler_(std::move(handler)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (IsPrimaryDoubleClick(event))
            handler_();
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> handler_;
};

}  // namespace

TAlbumPage::TAlbumPage(Context context, QWidget* parent)
    : QWidget(parent), c_(std::move(context)), session_(c_.session), albumLoadState_(c_.albumLoadState)
{
    setObjectName(QStringLiteral("AlbumView"));
    AlbumImageList = new TImageList(100, 100, 80, this);
    AlbumActionToolBar = MakeViewToolBar(QStringLiteral("AlbumActionToolBar"), QStringLiteral("アルバムのツールバー"));
    AlbumSplitter = new QSplitter(Qt::Horizontal);
    AlbumSplitter->setHandleWidth(6);
    AlbumSplitter->setChildrenCollapsible(false);

    AlbumTreeView = new QTreeWidget;
    AlbumTreeView->setObjectName(QStringLiteral("AlbumTreeView"));
    AlbumTreeView->setAccessibleName(QStringLiteral("アルバムのフォルダ"));
    AlbumTreeView->setHeaderHidden(true);
    AlbumTreeView->setIconSize(QSize(16, 16));
    AlbumTreeView->setIndentation(19);
    folderIcon_.addPixmap(c_.iconImageList.Pixmap(1));
    folderIcon_.addPixmap(c_.iconImageList.Pixmap(2), QIcon::Selected);
    connect(AlbumTreeView, &QTreeWidget::currentItemChanged, this, [this] {
        UpdateActions();
        emit AlbumTreeViewChange();
    });

    AlbumListView = new TVirtualListView;
    AlbumListView->setObjectName(QStringLiteral("AlbumListView"));
    AlbumListView->setAccessibleName(QStringLiteral("アルバムの写真"));
    SetUpThumbnailList(AlbumListView);
    model_ = new TVirtualListModel(*this, this);
    model_->SetImageList(AlbumImageList);
    AlbumListView->setModel(model_);
    AlbumListView->viewport()->installEventFilter(new DoubleClickFilter([this] { AlbumListViewDblClick(); }, this));
    AlbumListPopupActionBar = new QMenu(this);
    AlbumListPopupActionBar->setObjectName(QStringLiteral("AlbumListPopupActionBar"));
    AlbumMoveMenu = AlbumListPopupActionBar->addMenu(QStringLiteral("他のフォルダへ移動"));
    AlbumMoveMenu->setObjectName(QStringLiteral("MoveToFolder"));
    connect(AlbumListView, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        AlbumListPopupActionBar->popup(AlbumListView->viewport()->mapToGlobal(pos));
    });

    AlbumSplitter->addWidget(AlbumTreeView);
    AlbumSplitter->addWidget(AlbumListView);
    AlbumSplitter->setStretchFactor(1, 1);
    AlbumSplitter->setSizes({109, 400});
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(AlbumActionToolBar);
    layout->addWidget(AlbumSplitter, 1);

    connect(&session_, &TSession::LoggedInChanged, this, &TAlbumPage::SessionChanged);
    SessionChanged();
}

void TAlbumPage::BindActions(const TActionManager1& actions)
{
    acTUpFolder_ = actions.AcTUpFolder;
    actReload_ = actions.ActReload;
    connect(acTUpFolder_, &QAction::triggered, this, &TAlbumPage::AcTUpFolderExecute);
    connect(actReload_, &QAction::triggered, this, &TAlbumPage::ActReloadExecute);
    connect(actions.ActDelete, &QAction::triggered, this, &TAlbumPage::ActDeleteExecute);
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
    if (session_.LoggedIn())
        AlbumFolderLoad();
    else
        ClearAlbumTree();
    UpdateActions();
}

void TAlbumPage::EmptyAlbumList()
{
    AlbumImages.clear();
    model_->Clear();
}

void TAlbumPage::ClearAlbumTree()
{
    {
        const QSignalBlocker quiet(AlbumTreeView);
        AlbumTreeView->clear();
    }
    AlbumFolders.clear();
    EmptyAlbumList();
    emit AlbumTreeCleared();
    UpdateActions();
}

void TAlbumPage::AlbumViewSelected()
{
    if (session_.LoggedIn() && !AlbumFoldersLoaded)
        AlbumFolderLoad();
}

QTreeWidgetItem* TAlbumPage::AddFolderNode(QTreeWidgetItem* parent, const QString& name, int slot)
{
    auto* node = new QTreeWidgetItem(QStringList{name});
    node->setIcon(0, folderIcon_);
    node->setData(0, kSlotRole, slot);
    if (parent)
        parent->addChild(node);
    else
        AlbumTreeView->addTopLevelItem(node);
    return node;
}

void TAlbumPage::AddMoveMenuEntry(const QString& caption, int slot)
{
    // A folder name is text, not a mnemonic.
    auto* entry = new QAction(QString(caption).replace(QLatin1Char('&'), QStringLiteral("&&")), AlbumMoveMenu);
    connect(entry, &QAction::triggered, this, &TAlbumPage::ActMoveToFolderExecute);
    AlbumMoveMenu->addAction(entry);
    AlbumFolders[std::size_t(slot)].MenuItem = entry;
}

void TAlbumPage::AlbumFolderLoad()
{
    ClearAlbumTree();
    try {
        QString reply;
        c_.service.GetHTTP(c_.urls.FolderList(session_.SessionId()), reply);
        const QStringList lines = SplitReplyLines(reply);
        AlbumFolders.assign(std::max<std::size_t>(1, std::size_t(lines.size())), TAlbumFolder());

        std::vector<QTreeWidgetItem*> nodes{AddFolderNode(nullptr, kTopFolderName, 0)};
        nodes.front()->setExpanded(true);
        AlbumFolders[0] = TAlbumFolder{kTopFolderName, 0, 0, nullptr};
        AlbumMoveMenu->clear();
        AddMoveMenuEntry(kTopFolderName, 0);

        for (qsizetype k = 1; k < lines.size(); ++k) {
            const std::optional<TFolderListEntry> folder = ReadFolderLine(lines[k], int(nodes.size()));
            // A bad line ends the load; the folders before it stay usable.
            if (!folder)
                return;
            AlbumFolders[std::size_t(k)] = TAlbumFolder{folder->Name, folder->Id, folder->ParentIndex, nullptr};
            nodes.push_back(AddFolderNode(nodes[std::size_t(folder->ParentIndex)], folder->Name, int(k)));
            AddMoveMenuEntry(folder->Name, int(k));
        }
        AlbumFoldersLoaded = true;
    } catch (const std::exception&) {
        // A failed folder request leaves what was built so far, without a message.
    }
}

std::optional<int> TAlbumPage::SelectedAlbumFolderId() const
{
    const QTreeWidgetItem* node = AlbumTreeView->currentItem();
    if (!node)
        return std::nullopt;
    const int slot = node->data(0, kSlotRole).toInt();
    if (slot < 0 || std::size_t(slot) >= AlbumFolders.size())
        return std::nullopt;
    return AlbumFolders[std::size_t(slot)].Id;
}

void TAlbumPage::GoUpFolder()
{
    if (c_.selectedTabIndex() != kAlbumTab)
        return;
    QTreeWidgetItem* node = AlbumTreeView->currentItem();
    if (!node || !node->parent())
        return;
    AlbumTreeView->setCurrentItem(node->parent());
    UpdateActions();
}

void TAlbumPage::AcTUpFolderExecute()
{
    GoUpFolder();
}

void TAlbumPage::ActReloadExecute()
{
    AlbumFolderLoad();
    if (QTreeWidgetItem* root = AlbumTreeView->topLevelItem(0))
        root->setExpanded(true);
}

void TAlbumPage::ActMoveToFolderExecute()
{
    // Moving photos between folders has no request in the service's protocol.
}

void TAlbumPage::ActDeleteExecute()
{
    // Deleting album photos has no request in the service's protocol.
}

bool TAlbumPage::AlbumSmallImgLoad(int photoId, std::optional<QByteArray>* fetched)
{
    Trace(QByteArray::number(photoId).constData());
    const QString path = ThumbnailCachePath(c_.imageCacheFolder(), photoId);
    if (IsReadableFile(path))
        return true;
    std::optional<QByteArray> body =
        DownloadThumbnailIntoCache(c_.service, c_.urls.SmallImage(session_.SessionId(), photoId), path);
    const bool ok = body.has_value();
    if (fetched)
        *fetched = std::move(body);
    return ok;
}

std::optional<QImage> TAlbumPage::ThumbnailCell(int photoId)
{
    const QString path = ThumbnailCachePath(c_.imageCacheFolder(), photoId);
    // A thumbnail fetched just now is decoded from memory rather than read back from its file.
    auto decode = [&](const std::optional<QByteArray>& fetched) {
        return fetched ? DecodeAlbumThumbnail(*fetched, path) : DecodeAlbumThumbnail(path);
    };
    // A cached thumbnail left empty or cut short by an earlier run is fetched once more; one fetched just
    // now that does not decode is left out, nothing stays cached, and this listing does not ask again.
    if (undecodableThumbnails_.contains(photoId))
        return std::nullopt;
    for (;;) {
        std::optional<QByteArray> fetched;
        if (!AlbumSmallImgLoad(photoId, &fetched))
            return std::nullopt;
        try {
            return decode(fetched);
        } catch (const std::exception&) {
            RemoveCacheFile(path);
            if (fetched) {
                undecodableThumbnails_.insert(photoId);
                return std::nullopt;
            }
        }
    }
}

void TAlbumPage::AlbumLoad(int folderId)
{
    LoadState& state = albumLoadState_;
    EmptyAlbumList();
    undecodableThumbnails_.clear();
    AlbumImageList->Clear();
    if (state == LoadState::STOPED_ALBUM)
        state = LoadState::NOW_LOADING_ALBUM;

    QProgressBar& gauge = c_.status.Gauge1;
    ShowGaugeInStatusBar(gauge, c_.status.StatusBar1);
    if (listPictures_.empty())
        listPictures_ = c_.drawListPictures();
    for (const QImage& image : listPictures_)
        AlbumImageList->Add(image);

    // List item k shows slot k: slots are filled in the order photos are listed, so a skipped line
    // leaves no gap and each item's caption, picture and full-size photo come from one line.
    std::size_t listed = 0;
    // The list takes new items at most every kListFlushMs: laying out and painting it for every line
    // would cost more than the line itself. The first photo shows at once.
    QElapsedTimer sinceFlush;
    auto showListed = [&] {
        const std::size_t shown = std::size_t(model_->rowCount());
        // A list emptied while events were pumped (a logout) takes nothing more.
        if (listed > shown && listed <= AlbumImages.size())
            model_->AppendItems(int(listed - shown));
        sinceFlush.start();
    };
    try {
        QString reply;
        c_.service.GetHTTP(c_.urls.FolderImages(session_.SessionId(), folderId), reply);
        const QStringList lines = SplitReplyLines(reply);
        const qsizetype count = lines.size();
        AlbumImages.assign(std::size_t(count), TAlbumImages());
        for (qsizetype i = 0; i < count; ++i) {
            if (count > 1)
                gauge.setValue(int(qint64(i) * 100 / (count - 1)));
            if (state == LoadState::DO_STOP_ALBUM) {
                Trace("Stoping ALBUM Loading");
                continue;
            }
            TPhotoListEntry photo;
            const TPhotoLineKind kind = ReadPhotoLine(lines[i], int(i), photo);
            if (kind == TPhotoLineKind::Bad)
                break;
            if (kind == TPhotoLineKind::Photo) {
                if (const std::optional<QImage> cell = ThumbnailCell(photo.Id)) {
                    int t = 0;
                    {
                        // A new picture changes no listed item; the list hears of it with its item.
                        const QSignalBlocker quiet(AlbumImageList);
                        t = AlbumImageList->Add(*cell);
                    }
                    // Whatever empties the list (a logout, a fresh tree) stops the listing first, and
                    // nothing pumps events between the stop check above and here.
                    AlbumImages[listed++] = TAlbumImages{photo.Name, photo.Id, t};
                    if (!sinceFlush.isValid() || sinceFlush.elapsed() >= kListFlushMs)
                        showListed();
                }
            }
            QCoreApplication::processEvents();
        }
    } catch (const std::exception&) {
        // The listing ends where it failed and keeps the photos listed so far, without a message.
    }
    showListed();

    gauge.hide();
    state = state == LoadState::DO_STOP_ALBUM ? LoadState::STOPED_ALBUM : LoadState::LOAD_COMP_ALBUM;
}

void TAlbumPage::AlbumListViewData(int index, ListItemData& item)
{
    if (AlbumImages.empty() || index < 0 || std::size_t(index) >= AlbumImages.size())
        return;
    const TAlbumImages& image = AlbumImages[std::size_t(index)];
    item.Caption = image.Name;
    item.ImageIndex = image.ImageIndex;
}

void TAlbumPage::AlbumListViewDblClick()
{
    const QModelIndexList selected = AlbumListView->selectionModel()->selectedIndexes();
    if (selected.isEmpty())
        return;
    int first = selected.front().row();
    for (const QModelIndex& index : selected)
        first = std::min(first, index.row());
    AlbumShowBigImage(first);
}

void TAlbumPage::ShowFileError()
{
    c_.service.MessageDialogs().ShowMessage(kAlbumFileErrorMessage);
}

void TAlbumPage::AlbumShowBigImage(int k)
{
    QLabel& bigImage = *c_.bigImageView.BigImage;
    bigImage.move(0, 0);
    if (k < 0 || std::size_t(k) >= AlbumImages.size())
        return;
    const TAlbumImages photo = AlbumImages[std::size_t(k)];
    try {
        emit FullSizeRequested();
        c_.bigImageView.ScrollHome();
        // Until the photo is in, the view shows nothing rather than the photo shown before.
        c_.bigImageView.ClearPicture();
        // The name comes from the service: it may only ever name a plain file inside the cache folder.
        if (!IsPlainCacheFileName(photo.Name)) {
            ShowFileError();
            return;
        }
        const QString path = c_.imageCacheFolder() + QLatin1Char('/') + photo.Name;
        if (!DownloadIntoCache(c_.service, c_.urls.BigImage(session_.SessionId(), photo.Id), path))
            return;
        // Full-size photos are never kept: the file goes whether it decoded or not.
        try {
            LoadFullSizeImage(bigImage, path);
        } catch (...) {
            RemoveCacheFile(path);
            throw;
        }
        RemoveCacheFile(path);
    } catch (const std::exception&) {
        ShowFileError();
    }
}

}  // namespace tovari
