#include "app/Unit1.h"

#include "app/Artwork.h"
#include "app/Helper.h"
#include "platform/Dialogs.h"
#include "platform/Exception.h"
#include "platform/ImageList.h"
#include "platform/Shell.h"
#include "service/LoginForm.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileSystemModel>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QSplitter>
#include <QStatusBar>
#include <QTabBar>
#include <QToolBar>
#include <QTreeView>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace tovari {

namespace {

const QColor kBarColour(247, 246, 238);

QFont PixelFont(const QString& family, int pixels)
{
    QFont f(family);
    f.setPixelSize(pixels);
    return f;
}

// A view panel: an optional toolbar on top of the content.
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

QToolBar* MakeToolBar(const QString& name)
{
    auto* bar = new QToolBar(name);
    bar->setObjectName(name);
    bar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    bar->setIconSize(QSize(16, 16));
    bar->setStyleSheet(QStringLiteral("QToolBar { background: rgb(247, 246, 238); border: none; }"));
    return bar;
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

}  // namespace

TForm1::TForm1(const Collaborators& collaborators, QWidget* parent)
    : QMainWindow(parent), Scheduler(*this), Urls(collaborators.serviceUrl),
      Service(IdHTTP1, SessionId, collaborators.dialogs),
      LoginService(Service, Urls, collaborators.loginDialog, *this, collaborators.showLoginDialog),
      dialogs_(collaborators.dialogs),
      loginDialog_(collaborators.loginDialog), navigateWindow_(collaborators.navigateWindow)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Velmo.ネットの写真屋さん トヴァリ v20080101"));
    setWindowIcon(QIcon(QPixmap::fromImage(DrawWindowIcon())));
    setFont(PixelFont(QStringLiteral("Tahoma"), 11));
    resize(613, 568);

    PcImageDrawTimer.setInterval(100);
    createWidgets();
    createActions();
    createMenus();
    FormCreate();
}

TForm1::~TForm1()
{
    PcImageDrawTimer.stop();
    Scheduler.StopTimer.stop();
}

void TForm1::createWidgets()
{
    IconImageList = new TImageList(16, 16, 4, this);
    for (int i = 0; i < 4; ++i)
        IconImageList->Add(DrawIcon(i));
    UnknownFileImage = DrawUnknownFileImage();
    FolderImage = DrawFolderImage();
    FolderUpImage = DrawFolderUpImage();
    AlbumImageList = new TImageList(100, 100, 80, this);

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto* tabStrip = new QWidget(central);
    tabStrip->setFixedHeight(25);
    auto* tabLayout = new QVBoxLayout(tabStrip);
    tabLayout->setContentsMargins(20, 0, 0, 0);
    DockTabSet1 = new QTabBar(tabStrip);
    DockTabSet1->setObjectName(QStringLiteral("DockTabSet1"));
    DockTabSet1->setFont(PixelFont(QStringLiteral("ＭＳ Ｐゴシック"), 13));
    DockTabSet1->setDrawBase(false);
    DockTabSet1->setExpanding(false);
    DockTabSet1->addTab(QStringLiteral("あなたの パ ソ コ ン"));
    DockTabSet1->addTab(QStringLiteral("　注　文　"));
    DockTabSet1->addTab(QStringLiteral("　画　像　"));
    DockTabSet1->addTab(QStringLiteral(" ア ル バ ム "));
    tabLayout->addWidget(DockTabSet1, 0, Qt::AlignLeft | Qt::AlignBottom);
    layout->addWidget(tabStrip);

    // The four views share one cell; exactly one is visible and fills the client area.
    auto* views = new QWidget(central);
    auto* grid = new QGridLayout(views);
    grid->setContentsMargins(0, 0, 0, 0);
    PcView = createPcView();
    OrderView = createOrderView();
    BigImageView = createBigImageView();
    AlbumView = createAlbumView();
    for (QWidget* view : {PcView, OrderView, BigImageView, AlbumView}) {
        grid->addWidget(view, 0, 0);
        view->hide();
    }
    layout->addWidget(views, 1);
    setCentralWidget(central);

    StatusBar1 = new QStatusBar(this);
    StatusPanel0 = new QLabel(StatusBar1);
    StatusPanel0->setMinimumWidth(50);
    StatusBar1->addWidget(StatusPanel0);
    setStatusBar(StatusBar1);
    Gauge1 = new QProgressBar(StatusBar1);
    Gauge1->setObjectName(QStringLiteral("Gauge1"));
    Gauge1->setRange(0, 100);
    Gauge1->setTextVisible(false);
    Gauge1->setStyleSheet(QStringLiteral("QProgressBar::chunk { background: blue; }"));
    Gauge1->hide();

    connect(DockTabSet1, &QTabBar::currentChanged, this, &TForm1::DockTabSet1Change);

    Pc = new TPcBrowser(
        *this, PcBrowserWidgets{PcListView, StatusBar1, Gauge1, &PcImageDrawTimer, ScrollBox1, BigImage}, this);
}

QWidget* TForm1::createPcView()
{
    PcActionToolBar = MakeToolBar(QStringLiteral("PcActionToolBar"));
    PcSplitter = new QSplitter(Qt::Horizontal);
    PcSplitter->setHandleWidth(6);
    PcSplitter->setChildrenCollapsible(false);

    PcTreeView = new QTreeView;
    PcTreeView->setObjectName(QStringLiteral("PcTreeView"));
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
    SetUpThumbnailList(PcListView);

    PcSplitter->addWidget(PcTreeView);
    PcSplitter->addWidget(PcListView);
    PcSplitter->setStretchFactor(1, 1);
    return MakeViewPanel(PcActionToolBar, PcSplitter);
}

void TForm1::ReadPcFolders(const QString& selected)
{
    QFileSystemModel* old = PcFolderModel;
    PcFolderModel = new QFileSystemModel(this);
    PcFolderModel->setFilter(QDir::AllDirs | QDir::Drives | QDir::NoDotAndDotDot);
    PcFolderModel->setRootPath(QDir::rootPath());
    QItemSelectionModel* oldSelection = PcTreeView->selectionModel();
    PcTreeView->setModel(PcFolderModel);
    delete oldSelection;
    delete old;
    for (int column = 1; column < PcFolderModel->columnCount(); ++column)
        PcTreeView->hideColumn(column);
    // Open the tree down to the home folder (or the folder that stays selected), as a file dialog would.
    const QString target = selected.isEmpty() ? QDir::homePath() : selected;
    for (QDir dir(target);;) {
        PcTreeView->expand(PcFolderModel->index(dir.absolutePath()));
        if (!dir.cdUp())
            break;
    }
    if (!selected.isEmpty()) {
        // The same folder stays selected: that is no folder change.
        const QSignalBlocker quiet(PcTreeView->selectionModel());
        PcTreeView->setCurrentIndex(PcFolderModel->index(selected));
        PcTreeView->scrollTo(PcTreeView->currentIndex());
    }
    connect(PcTreeView->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this] { PcTreeViewChange(); });
}

QWidget* TForm1::createOrderView()
{
    OrderActionToolBar = MakeToolBar(QStringLiteral("OrderActionToolBar"));
    OrderListView = new QListView;
    OrderListView->setObjectName(QStringLiteral("OrderListView"));
    return MakeViewPanel(OrderActionToolBar, OrderListView);
}

QWidget* TForm1::createBigImageView()
{
    ScrollBox1 = new QScrollArea;
    ScrollBox1->setObjectName(QStringLiteral("ScrollBox1"));
    ScrollBox1->setWidgetResizable(false);
    ScrollBox1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    BigImage = new QLabel;
    BigImage->setObjectName(QStringLiteral("BigImage"));
    BigImage->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    BigImage->setScaledContents(false);
    ScrollBox1->setWidget(BigImage);
    BigImage->installEventFilter(this);
    ScrollBox1->viewport()->installEventFilter(this);
    auto* panel = new QWidget;
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(ScrollBox1);
    return panel;
}

QWidget* TForm1::createAlbumView()
{
    AlbumActionToolBar = MakeToolBar(QStringLiteral("AlbumActionToolBar"));
    AlbumSplitter = new QSplitter(Qt::Horizontal);
    AlbumSplitter->setHandleWidth(6);
    AlbumSplitter->setChildrenCollapsible(false);

    AlbumTreeView = new QTreeWidget;
    AlbumTreeView->setObjectName(QStringLiteral("AlbumTreeView"));
    AlbumTreeView->setHeaderHidden(true);
    AlbumTreeView->setIconSize(QSize(16, 16));
    QIcon folderIcon(IconImageList->Pixmap(1));
    folderIcon.addPixmap(IconImageList->Pixmap(2), QIcon::Selected);
    auto* top = new QTreeWidgetItem(AlbumTreeView, {QStringLiteral("トップ")});
    top->setIcon(0, folderIcon);
    connect(AlbumTreeView, &QTreeWidget::currentItemChanged, this, [this] { AlbumTreeViewChange(); });

    AlbumListView = new TVirtualListView;
    AlbumListView->setObjectName(QStringLiteral("AlbumListView"));
    SetUpThumbnailList(AlbumListView);

    AlbumSplitter->addWidget(AlbumTreeView);
    AlbumSplitter->addWidget(AlbumListView);
    AlbumSplitter->setStretchFactor(1, 1);
    return MakeViewPanel(AlbumActionToolBar, AlbumSplitter);
}

void TForm1::FormCreate()
{
    PrepareDataFolder();
    LoadIniFile();
    // Qt widgets paint double-buffered already; nothing to switch on.
    StatusPanel0->clear();

    Pc->PcImages.clear();
    Pc->SlotCache.ClearSlots();
    Pc->ThumbDrawing = false;
    Pc->HintStart = 0;
    Pc->HintEnd = 0;
    CurrentView = 0;
    AlbumFoldersLoaded = false;
    Scheduler.PcLoadState = LoadState::STOPED_PC;
    Scheduler.AlbumLoadState = LoadState::STOPED_ALBUM;
    Uploading = false;
    Scheduler.StopTimer.stop();
    PcImageDrawTimer.stop();

    if (LoginService.LoginAtStartUp()) {
        if (QTreeWidgetItem* first = AlbumTreeView->topLevelItem(0))
            first->setExpanded(true);
        ViewSelect(3);
        DockTabSet1->setCurrentIndex(3);
    } else {
        ViewSelect(0);
        DockTabSet1->setCurrentIndex(0);
        if (NavigateWindow) {
            navigateWindow_.show();
            navigateWindow_.raise();
        }
    }
}

void TForm1::PrepareDataFolder()
{
    const QString root = ChooseDataRoot(DataRootCandidates());
    if (root.isEmpty())
        dialogs_.ShowMessage(QStringLiteral("データの保存用フォルダが作成出来ません。\n開発元にお問い合わせください。"));
    DataFolder = root.isEmpty() ? QStringLiteral("tovari/") : QDir(root).filePath(QStringLiteral("tovari")) + '/';
    ImageCacheFolder = DataFolder + QStringLiteral("ImageCache");
    // A fresh account may not have the data root yet (the desktop makes it on first use), so it is
    // made here; then one level each, and both folders usually exist already.
    if (!root.isEmpty())
        QDir().mkpath(root);
    bool ok = true;
    for (const QString& folder : {DataFolder, ImageCacheFolder}) {
        QDir dir;
        if (!dir.exists(folder) && !dir.mkdir(folder))
            ok = false;
    }
    if (!ok)
        dialogs_.ShowMessage(QStringLiteral("フォルダ作成エラーが発生しました"));
}

bool TForm1::FormCloseQuery()
{
    // The window closes even when the settings cannot be written; the user is told why they were not.
    try {
        SaveIniFile();
    } catch (const Exception& e) {
        dialogs_.ShowMessage(e.Message());
    }
    return true;
}

void TForm1::closeEvent(QCloseEvent* event)
{
    if (!FormCloseQuery()) {
        event->ignore();
        return;
    }
    event->accept();
    // Closing the main window ends the program, also with the guide still on screen.
    navigateWindow_.hide();
    QCoreApplication::quit();
}

bool TForm1::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonDblClick) {
        if (watched == BigImage) {
            BigImageDblClick();
            return true;
        }
        if (watched == ScrollBox1->viewport()) {
            ScrollBox1DblClick();
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void TForm1::BigImageDblClick()
{
    DockTabSet1->setCurrentIndex(CurrentView);
    if (CurrentView == 0)
        PcListView->setFocus(Qt::OtherFocusReason);
    else if (CurrentView == 3)
        AlbumListView->setFocus(Qt::OtherFocusReason);
}

void TForm1::ScrollBox1DblClick()
{
    DockTabSet1->setCurrentIndex(CurrentView);
}

void TForm1::ShowFullSizeView()
{
    DockTabSet1->setCurrentIndex(2);
    ViewSelect(2);
}

void TForm1::ExitExecute()
{
    close();
}

void TForm1::ViewSelect(int i)
{
    if (i == 3) {
        AlbumView->show();
        CurrentView = 3;
    } else {
        AlbumView->hide();
    }
    if (i == 0) {
        PcView->show();
        CurrentView = 0;
    } else {
        PcView->hide();
    }
    if (i == 1) {
        OrderView->show();
        CurrentView = 1;
        ActGoOrderExecute();
    } else {
        OrderView->hide();
    }
    if (i == 2)
        BigImageView->show();
    else
        BigImageView->hide();
}

void TForm1::DockTabSet1Change(int index)
{
    ViewSelect(index);
}

QString TForm1::OrderPageUrl() const
{
    return Urls.OrderPage(SessionId);
}

QString TForm1::StatusText() const
{
    return StatusPanel0->text();
}

void TForm1::ActGoOrderExecute()
{
    UrlJump(OrderPageUrl());
}

void TForm1::ActDispOrderPageUrlExecute()
{
    dialogs_.InputBox(QStringLiteral("注文ページへのURL"), QString(), OrderPageUrl());
}

void TForm1::ActHelpExecute()
{
    UrlJump(Urls.HelpPage());
}

void TForm1::ActNewVersionExecute()
{
    UrlJump(Urls.DownloadPage());
}

void TForm1::ActShowNavigateWindowExecute()
{
    navigateWindow_.show();
    navigateWindow_.raise();
}

void TForm1::ActRefreshExecute()
{
    // A fresh read from the top makes folders created or removed elsewhere appear or vanish.
    ReadPcFolders(SelectedPcFolder());
}

void TForm1::PcTreeViewChange()
{
    Scheduler.PcTreeViewChange();
}

void TForm1::AlbumTreeViewChange()
{
    Scheduler.AlbumTreeViewChange();
    QTreeWidgetItem* node = AlbumTreeView->currentItem();
    ActionManager1.AcTUpFolder->setEnabled(node && node->parent());
}

void TForm1::ActLoginExecute()
{
    LoginService.ActLoginExecute();
}

void TForm1::ActLogoutExecute()
{
    LoginService.ActLogoutExecute();
}

void TForm1::LoginProc()
{
    LoggedIn = true;
    ActionManager1.AcTUpFolder->setEnabled(true);
    AlbumTreeView->setEnabled(true);
    ActionManager1.ActRefresh->setEnabled(true);
    ActionManager1.ActReload->setEnabled(true);
    ActionManager1.ActFileUpLoad->setText(QStringLiteral("画像をアルバムに登録"));
    ActionManager1.ActFileUp->setText(QStringLiteral("アルバムに登録"));
    ActionManager1.ActLogin->setEnabled(false);
    ActionManager1.ActLogout->setEnabled(true);
    DockTabSet1->setTabText(3, UserName + QStringLiteral("さんのアルバム"));
}

void TForm1::LogoutProc()
{
    LoggedIn = false;
    ActionManager1.AcTUpFolder->setEnabled(false);
    AlbumTreeView->setEnabled(false);
    ActionManager1.ActRefresh->setEnabled(false);
    ActionManager1.ActReload->setEnabled(false);
    AlbumTreeView->clear();
    ActionManager1.ActFileUpLoad->setText(QStringLiteral("画像をプリントに追加"));
    ActionManager1.ActFileUp->setText(QStringLiteral("プリントに追加"));
    ActionManager1.ActLogin->setEnabled(true);
    ActionManager1.ActLogout->setEnabled(false);
    UserName.clear();
    DockTabSet1->setTabText(3, QStringLiteral("アルバム"));
}

int TForm1::SelectedTabIndex() const
{
    return DockTabSet1->currentIndex();
}

QString TForm1::SelectedPcFolder() const
{
    const QModelIndex current = PcTreeView->selectionModel()->currentIndex();
    return current.isValid() ? PcFolderModel->filePath(current) : QString();
}

std::optional<int> TForm1::SelectedAlbumFolderId() const
{
    // Album folders come with the member's album; until it is listed no node maps to a folder id.
    return std::nullopt;
}

void TForm1::PcLoad(const QString& folder)
{
    Pc->PcLoad(folder);
}

void TForm1::AlbumLoad(int)
{
    LoadState& state = Scheduler.AlbumLoadState;
    if (state == LoadState::STOPED_ALBUM)
        state = LoadState::NOW_LOADING_ALBUM;
    state = state == LoadState::DO_STOP_ALBUM ? LoadState::STOPED_ALBUM : LoadState::LOAD_COMP_ALBUM;
}

void TForm1::SetFileUpEnabled(bool enabled)
{
    ActionManager1.ActFileUp->setEnabled(enabled);
}

void TForm1::SetStatusPanelText(const QString& text)
{
    StatusPanel0->setText(text);
}

void TForm1::NavigateSetPage(int page)
{
    navigateWindow_.SetPage(page);
}

}  // namespace tovari
