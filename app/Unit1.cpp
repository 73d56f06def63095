#include "app/Unit1.h"

#include "album/AlbumPage.h"
#include "app/Artwork.h"
#include "app/Helper.h"
#include "app/PluginSwitch.h"
#include "local/FullSizeView.h"
#include "local/LocalPage.h"
#include "platform/Dialogs.h"
#include "platform/Exception.h"
#include "platform/Fonts.h"
#include "platform/ImageList.h"
#include "platform/Shell.h"
#include "platform/Views.h"
#include "service/LoginForm.h"
#include "spi/SPILibrary.h"
#include "upload/UploadCommand.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QLabel>
#include <QListView>
#include <QProgressBar>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTabBar>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace tovari {

// What the scheduler asks of the window: the selected tab, and the pages that list folders.
class TForm1::Loads final : public LoadSchedulerHost {
public:
    explicit Loads(TForm1& form) : form_(form) {}
    int SelectedTabIndex() const override { return form_.DockTabSet1->currentIndex(); }
    QString SelectedPcFolder() const override { return form_.local_->SelectedPcFolder(); }
    std::optional<int> SelectedAlbumFolderId() const override { return form_.album_->SelectedAlbumFolderId(); }
    void PcLoad(const QString& folder) override { form_.local_->PcLoad(folder); }
    void AlbumLoad(int folderId) override { form_.album_->AlbumLoad(folderId); }

private:
    TForm1& form_;
};

TForm1::TForm1(const Collaborators& collaborators, QWidget* parent)
    : QMainWindow(parent), dialogs_(collaborators.dialogs), navigateWindow_(collaborators.navigateWindow),
      Urls(collaborators.serviceUrl), Service(IdHTTP1, session_, collaborators.dialogs),
      LoginService(Service, Urls, collaborators.loginDialog, collaborators.showLoginDialog),
      loads_(std::make_unique<Loads>(*this)), scheduler_(new TLoadScheduler(*loads_, this))
{
    IdHTTP1.SetTimeouts(THttpClient::kConnectTimeout, collaborators.replyStallGuard);
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Velmo.ネットの写真屋さん トヴァリ v20080101"));
    setWindowIcon(QIcon(QPixmap::fromImage(DrawWindowIcon())));
    setFont(PixelFont(QStringLiteral("Tahoma"), 11));
    resize(613, 568);

    createWidgets();
    createActions();
    BindActions();
    createMenus();
    wireParts();
    FormCreate();
}

TForm1::~TForm1()
{
    // The scheduler asks the window's pages through loads_, so it goes first.
    delete scheduler_;
    // The plug-ins' picture formats go before the libraries they live in.
    delete plugins_;
}

void TForm1::createWidgets()
{
    IconImageList = new TImageList(16, 16, 4, this);
    for (int i = 0; i < 4; ++i)
        IconImageList->Add(DrawIcon(i));

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
    DockTabSet1->setAccessibleName(QStringLiteral("表示の切り替え"));
    DockTabSet1->setFont(PixelFont(QStringLiteral("ＭＳ Ｐゴシック"), 13));
    DockTabSet1->setDrawBase(false);
    DockTabSet1->setExpanding(false);
    DockTabSet1->addTab(QStringLiteral("あなたの パ ソ コ ン"));
    DockTabSet1->addTab(QStringLiteral("　注　文　"));
    DockTabSet1->addTab(QStringLiteral("　画　像　"));
    DockTabSet1->addTab(QStringLiteral(" ア ル バ ム "));
    tabLayout->addWidget(DockTabSet1, 0, Qt::AlignLeft | Qt::AlignBottom);
    layout->addWidget(tabStrip);

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setAccessibleName(QStringLiteral("状態"));
    StatusPanel0 = new QLabel(StatusBar1);
    StatusPanel0->setMinimumWidth(50);
    StatusBar1->addWidget(StatusPanel0);
    setStatusBar(StatusBar1);
    Gauge1 = new QProgressBar(StatusBar1);
    Gauge1->setAccessibleName(QStringLiteral("読み込みの進み具合"));
    Gauge1->setObjectName(QStringLiteral("Gauge1"));
    Gauge1->setRange(0, 100);
    Gauge1->setTextVisible(false);
    Gauge1->setStyleSheet(QStringLiteral("QProgressBar::chunk { background: blue; }"));
    Gauge1->hide();
    const TStatusLine status{*StatusBar1, *StatusPanel0, *Gauge1};

    // The four views share one cell; exactly one is visible and fills the client area. A blank fifth
    // page stands for "none of them".
    views_ = new QStackedWidget(central);
    bigImageView_ = new TBigImageView;
    auto selectedTab = [this] { return DockTabSet1->currentIndex(); };
    local_ = new TLocalPage({session_, scheduler_->PcLoaderState(), status, *bigImageView_, selectedTab});
    OrderActionToolBar = MakeViewToolBar(QStringLiteral("OrderActionToolBar"), QStringLiteral("注文のツールバー"));
    auto* orderList = new QListView;
    orderList->setObjectName(QStringLiteral("OrderListView"));
    orderList->setAccessibleName(QStringLiteral("注文の一覧"));
    OrderView_ = MakeViewPanel(OrderActionToolBar, orderList);
    OrderView_->setObjectName(QStringLiteral("OrderView"));
    const auto drawListPictures = [] {
        return std::vector<QImage>{DrawUnknownFileImage(), DrawFolderImage(), DrawFolderUpImage()};
    };
    album_ = new TAlbumPage({session_, scheduler_->AlbumLoaderState(), status, *bigImageView_, *IconImageList,
                             Service, Urls, [this] { return imageCacheFolder_; }, selectedTab, drawListPictures});
    for (QWidget* view : {static_cast<QWidget*>(local_), OrderView_, static_cast<QWidget*>(bigImageView_),
                          static_cast<QWidget*>(album_), new QWidget})
        views_->addWidget(view);
    layout->addWidget(views_, 1);
    setCentralWidget(central);

    upload_ = new TUploadCommand({session_, Service, Urls, dialogs_, this,
                                  [this] { return local_->Pc().AnySelected(); },
                                  [this] { return local_->Pc().UploadableEntries(); }},
                                 this);
    spiLibrary_ = std::make_unique<TNativeSPILibrary>();
    plugins_ = new TPluginSwitch(dialogs_, *spiLibrary_, this,
                                 TPluginSwitch::BundledPluginFolder(QCoreApplication::applicationDirPath()), this);
}

void TForm1::wireParts()
{
    connect(DockTabSet1, &QTabBar::currentChanged, this, &TForm1::DockTabSet1Change);
    connect(local_, &TLocalPage::PcTreeViewChange, scheduler_, &TLoadScheduler::PcTreeViewChange);
    connect(album_, &TAlbumPage::AlbumTreeViewChange, scheduler_, &TLoadScheduler::AlbumTreeViewChange);
    connect(album_, &TAlbumPage::AlbumTreeCleared, scheduler_, &TLoadScheduler::AlbumTreeCleared);

    TPcBrowser& pc = local_->Pc();
    connect(&pc, &TPcBrowser::NavigatePage, &navigateWindow_, &TForm3::SetPage);
    connect(&pc, &TPcBrowser::FullSizeRequested, this, &TForm1::ShowFullSizeView);
    connect(album_, &TAlbumPage::FullSizeRequested, this, &TForm1::ShowFullSizeView);
    connect(&pc, &TPcBrowser::UploadableCountChanged, upload_, &TUploadCommand::SetUploadableCount);
    connect(upload_, &TUploadCommand::NavigatePage, &navigateWindow_, &TForm3::SetPage);

    connect(bigImageView_, &TBigImageView::BigImageDblClick, this, &TForm1::BigImageDblClick);
    connect(bigImageView_, &TBigImageView::ScrollBox1DblClick, this, &TForm1::ScrollBox1DblClick);

    connect(&session_, &TSession::Changed, this, &TForm1::UpdateAlbumTabCaption);
    UpdateAlbumTabCaption();
}

void TForm1::FormCreate()
{
    PrepareDataFolder();
    LoadIniFile();
    plugins_->StartUp();
    // Qt widgets paint double-buffered already; nothing to switch on.
    StatusPanel0->clear();

    // Both loaders are stopped, the scheduler's timer off and no batch running since they were made.
    local_->ResetListing();
    currentView_ = kLocalTab;

    if (LoginService.LoginAtStartUp()) {
        if (QTreeWidgetItem* first = album_->AlbumTreeView->topLevelItem(0))
            first->setExpanded(true);
        ViewSelect(kAlbumTab);
        DockTabSet1->setCurrentIndex(kAlbumTab);
    } else {
        ViewSelect(kLocalTab);
        DockTabSet1->setCurrentIndex(kLocalTab);
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
    dataFolder_ = root.isEmpty() ? QStringLiteral("tovari/") : QDir(root).filePath(QStringLiteral("tovari")) + '/';
    imageCacheFolder_ = dataFolder_ + QStringLiteral("ImageCache");
    // A fresh account may not have the data root yet (the desktop makes it on first use), so it is
    // made here; then one level each, and both folders usually exist already.
    if (!root.isEmpty())
        QDir().mkpath(root);
    bool ok = true;
    for (const QString& folder : {dataFolder_, imageCacheFolder_}) {
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
    // A close can come while a batch, a listing or a scan pumps events. Work that would go on inside
    // that pumping after the window is gone is stopped here, and only a running batch asks first.
    if (!closing_) {
        if (!upload_->StopForClose()) {
            event->ignore();
            return;
        }
        closing_ = true;
        scheduler_->Shutdown();
        local_->Shutdown();
        // Written once, however often the window is asked to close while the work winds down.
        FormCloseQuery();
    }
    event->accept();
    // Closing the main window ends the program, also with the guide still on screen.
    navigateWindow_.hide();
    QCoreApplication::quit();
}

void TForm1::BigImageDblClick()
{
    DockTabSet1->setCurrentIndex(currentView_);
    if (currentView_ == kLocalTab)
        local_->PcListView->setFocus(Qt::OtherFocusReason);
    else if (currentView_ == kAlbumTab)
        album_->AlbumListView->setFocus(Qt::OtherFocusReason);
}

void TForm1::ScrollBox1DblClick()
{
    DockTabSet1->setCurrentIndex(currentView_);
}

void TForm1::ShowFullSizeView()
{
    DockTabSet1->setCurrentIndex(kFullSizeTab);
    ViewSelect(kFullSizeTab);
}

void TForm1::ExitExecute()
{
    close();
}

void TForm1::ViewSelect(int i)
{
    if (i == kAlbumTab)
        album_->AlbumViewSelected();
    if (i == kAlbumTab || i == kLocalTab || i == kOrderTab)
        currentView_ = std::int16_t(i);
    // Any other index shows the blank page that stands for none of the four views.
    views_->setCurrentIndex(i >= kLocalTab && i <= kAlbumTab ? i : kAlbumTab + 1);
    if (i == kOrderTab)
        ActGoOrderExecute();
}

void TForm1::DockTabSet1Change(int index)
{
    ViewSelect(index);
}

void TForm1::UpdateAlbumTabCaption()
{
    DockTabSet1->setTabText(kAlbumTab, session_.LoggedIn() ? session_.UserName() + QStringLiteral("さんのアルバム")
                                                   : QStringLiteral("アルバム"));
}

void TForm1::SetProgressDialog(TForm2& dialog)
{
    upload_->SetProgressDialog(dialog);
}

QString TForm1::OrderPageUrl() const
{
    return Urls.OrderPage(session_.SessionId());
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

}  // namespace tovari
