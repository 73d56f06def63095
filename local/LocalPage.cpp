#include "local/LocalPage.h"

#include "platform/Commands.h"
#include "service/Session.h"

#include <QAction>
#include <QDir>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QMenu>
#include <QSignalBlocker>
#include <QSplitter>
#include <QToolBar>
#include <QTreeView>
#include <QTimer>
#include <QVBoxLayout>

namespace tovari {

namespace {

// The folder tree shows the names only. Size, type and date are left out of the model rather than
// hidden in the view, so that screen readers do not announce columns nobody sees.
class TFolderNameModel final : public QFileSystemModel {
public:
    using QFileSystemModel::QFileSystemModel;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override { return parent.column() > 0 ? 0 : 1; }
};

}  // namespace

QToolBar* MakeViewToolBar(const QString& name, const QString& title)
{
    // The title is what a screen reader announces for the bar.
    auto* bar = new QToolBar(title);
    bar->setObjectName(name);
    bar->setAccessibleName(title);
    // Qt's button for the tool buttons that do not fit has no caption of its own.
    if (auto* more = bar->findChild<QWidget*>(QStringLiteral("qt_toolbar_ext_button")))
        more->setAccessibleName(QStringLiteral("その他のボタン"));
    bar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    bar->setIconSize(QSize(16, 16));
    bar->setStyleSheet(QStringLiteral("QToolBar { background: rgb(247, 246, 238); border: none; }"));
    return bar;
}

QWidget* MakeViewPanel(QToolBar* toolBar, QWidget* content)
{
    auto* panel = new QWidget;
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(toolBar);
    layout->addWidget(content, 1);
    return panel;
}

void SetUpThumbnailList(TVirtualListView* list)
{
    list->setViewMode(QListView::IconMode);
    list->setIconSize(QSize(100, 100));
    list->setGridSize(QSize(128, 136));
    list->setUniformItemSizes(true);
    list->setMovement(QListView::Static);
    list->setResizeMode(QListView::Adjust);
    list->setLayoutMode(QListView::SinglePass);
    list->setWordWrap(false);
    list->setTextElideMode(Qt::ElideMiddle);
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list->setContextMenuPolicy(Qt::CustomContextMenu);
    list->setMouseTracking(true);
}

TLocalPage::TLocalPage(Context context, QWidget* parent) : QWidget(parent), session_(context.session)
{
    setObjectName(QStringLiteral("PcView"));
    PcImageDrawTimer.setInterval(100);

    PcActionToolBar = MakeViewToolBar(QStringLiteral("PcActionToolBar"), QStringLiteral("パソコンのツールバー"));
    PcSplitter = new QSplitter(Qt::Horizontal);
    PcSplitter->setHandleWidth(6);
    PcSplitter->setChildrenCollapsible(false);

    PcTreeView = new QTreeView;
    PcTreeView->setObjectName(QStringLiteral("PcTreeView"));
    PcTreeView->setAccessibleName(QStringLiteral("パソコンのフォルダ"));
    PcTreeView->setHeaderHidden(true);
    PcTreeView->setRootIsDecorated(false);
    PcTreeView->setSelectionMode(QAbstractItemView::SingleSelection);
    ReadPcFolders(QString());
    DummyPopupMenu = new QMenu(this);
    PcTreeView->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(PcTreeView, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        if (!DummyPopupMenu->actions().isEmpty())
            DummyPopupMenu->popup(PcTreeView->viewport()->mapToGlobal(pos));
    });

    PcListView = new TVirtualListView;
    PcListView->setObjectName(QStringLiteral("PcListView"));
    PcListView->setAccessibleName(QStringLiteral("パソコンの写真"));
    SetUpThumbnailList(PcListView);
    PcListPopupActionBar = new QMenu(this);
    PcListPopupActionBar->setObjectName(QStringLiteral("PcListPopupActionBar"));
    connect(PcListView, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { PcListPopupActionBar->popup(PcListView->viewport()->mapToGlobal(pos)); });

    PcSplitter->addWidget(PcTreeView);
    PcSplitter->addWidget(PcListView);
    PcSplitter->setStretchFactor(1, 1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(PcActionToolBar);
    layout->addWidget(PcSplitter, 1);

    pc_ = new TPcBrowser(PcBrowserContext{*PcListView, PcImageDrawTimer, context.pcLoadState, context.status,
                                          context.bigImageView, std::move(context.selectedTabIndex)},
                         this);
    connect(&session_, &TSession::Changed, this, &TLocalPage::UpdateActions);
}

TLocalPage::~TLocalPage()
{
    PcImageDrawTimer.stop();
}

void TLocalPage::BindActions(const TActionManager1& actions)
{
    actRefresh_ = actions.ActRefresh;
    connect(actRefresh_, &QAction::triggered, this, &TLocalPage::ActRefreshExecute);
    UpdateActions();
}

void TLocalPage::UpdateActions()
{
    if (actRefresh_)
        actRefresh_->setEnabled(session_.LoggedIn());
}

void TLocalPage::ReadPcFolders(const QString& selected)
{
    QFileSystemModel* old = PcFolderModel;
    PcFolderModel = new TFolderNameModel(this);
    PcFolderModel->setFilter(QDir::AllDirs | QDir::Drives | QDir::NoDotAndDotDot);
    QItemSelectionModel* oldSelection = PcTreeView->selectionModel();
    PcTreeView->setModel(PcFolderModel);
    delete oldSelection;
    delete old;
    // Open the tree down to the home folder (or the folder that stays selected), as a file dialog would.
    // Each level is read from the disk; at start-up that waits until the window is on screen. Every level
    // that comes in pushes the target down, and the model sorts the new rows on a zero timer of its own:
    // the target is scrolled to the top once the last level is in (its subfolders below it), on a timer that
    // runs after that sort.
    const auto openDownTo = [model = PcFolderModel, view = PcTreeView](const QString& target) {
        auto pending = std::make_shared<QStringList>();
        auto whenAllIn = std::make_shared<QMetaObject::Connection>();
        *whenAllIn = connect(model, &QFileSystemModel::directoryLoaded, view, [=](const QString& path) {
            if (!pending->removeAll(path) || !pending->isEmpty())
                return;
            disconnect(*whenAllIn);
            QTimer::singleShot(1, view, [=] { view->scrollTo(model->index(target), QAbstractItemView::PositionAtTop); });
        });
        model->setRootPath(QDir::rootPath());
        for (QDir dir(target);;) {
            pending->append(dir.absolutePath());
            view->expand(model->index(dir.absolutePath()));
            if (!dir.cdUp())
                break;
        }
    };
    if (selected.isEmpty())
        QTimer::singleShot(0, PcFolderModel, [openDownTo] { openDownTo(QDir::homePath()); });
    else
        openDownTo(selected);
    if (!selected.isEmpty()) {
        // The same folder stays selected: that is no folder change.
        const QSignalBlocker quiet(PcTreeView->selectionModel());
        PcTreeView->setCurrentIndex(PcFolderModel->index(selected));
    }
    connect(PcTreeView->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &TLocalPage::PcTreeViewChange);
}

QString TLocalPage::SelectedPcFolder() const
{
    const QModelIndex current = PcTreeView->selectionModel()->currentIndex();
    return current.isValid() ? PcFolderModel->filePath(current) : QString();
}

void TLocalPage::PcLoad(const QString& folder)
{
    pc_->PcLoad(folder);
}

void TLocalPage::ActRefreshExecute()
{
    // A fresh read from the top makes folders created or removed elsewhere appear or vanish.
    ReadPcFolders(SelectedPcFolder());
}

void TLocalPage::ResetListing()
{
    pc_->PcImages.clear();
    pc_->SlotCache.ClearSlots();
    pc_->ThumbDrawing = false;
    pc_->HintStart = 0;
    pc_->HintEnd = 0;
    PcImageDrawTimer.stop();
}

}  // namespace tovari
