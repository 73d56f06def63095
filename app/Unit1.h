#pragma once

#include "app/LoadScheduler.h"
#include "local/PcBrowser.h"
#include "service/HttpClient.h"
#include "service/LoginService.h"
#include "service/ServiceClient.h"
#include "service/ServiceProtocol.h"

#include <QImage>
#include <QMainWindow>
#include <QTimer>
#include <cstdint>

class QAction;
class QFileSystemModel;
class QLabel;
class QListView;
class QMenu;
class QMenuBar;
class QProgressBar;
class QScrollArea;
class QSplitter;
class QStatusBar;
class QTabBar;
class QToolBar;
class QTreeView;
class QTreeWidget;

namespace tovari {

class Dialogs;
class TForm3;
class TImageList;
class TLoginDialog;

// Every command of the main window; menus, toolbars and pop-ups only show these.
struct TActionManager1 {
    QAction* ActLogin = nullptr;
    QAction* ActLogout = nullptr;
    QAction* ActRefresh = nullptr;
    QAction* Exit = nullptr;
    QAction* ActGoOrder = nullptr;
    QAction* ActDispOrderPageUrl = nullptr;
    QAction* ActSusiePlugin = nullptr;
    QAction* ActHelp = nullptr;
    QAction* ActShowNavigateWindow = nullptr;
    QAction* ActNewVersion = nullptr;
    QAction* AcTUpFolder = nullptr;
    QAction* ActReload = nullptr;
    QAction* ActFileUpLoad = nullptr;
    QAction* ActFileUp = nullptr;
    QAction* ActDelete = nullptr;
    QAction* ActGoAddPrint = nullptr;
    QAction* ActAlbumImageProperty = nullptr;
};

// The main window: four stacked views chosen by a tab strip, and the state they share.
class TForm1 : public QMainWindow, private LoadSchedulerHost, private PcBrowserHost, private TLoginHost {
    Q_OBJECT
public:
    struct Collaborators {
        Dialogs& dialogs;
        TLoginDialog& loginDialog;
        TForm3& navigateWindow;
        QString serviceUrl;
        // How the login dialog is shown; its exec() when empty.
        TLoginService::ShowLoginDialog showLoginDialog = {};
    };

    explicit TForm1(const Collaborators& collaborators, QWidget* parent = nullptr);
    ~TForm1() override;

    void ViewSelect(int i);
    void DockTabSet1Change(int index);
    void ExitExecute();
    bool FormCloseQuery();

    // Shared state.
    QString DataFolder;
    QString ImageCacheFolder;
    std::int16_t CurrentView = 0;
    bool AlbumFoldersLoaded = false;
    QString SessionId;
    bool NavigateWindow = true;
    bool SpiEnabled = false;
    QString SpiFolder;
    bool LoggedIn = false;
    QString UserName;
    bool TransferReady = false;
    bool Uploading = false;

    // Widgets and parts, owned by the window.
    TActionManager1 ActionManager1;
    QMenuBar* ActionMainMenuBar1 = nullptr;
    QTabBar* DockTabSet1 = nullptr;
    QWidget* PcView = nullptr;
    QWidget* OrderView = nullptr;
    QWidget* BigImageView = nullptr;
    QWidget* AlbumView = nullptr;
    QToolBar* PcActionToolBar = nullptr;
    QToolBar* OrderActionToolBar = nullptr;
    QToolBar* AlbumActionToolBar = nullptr;
    QTreeView* PcTreeView = nullptr;
    QFileSystemModel* PcFolderModel = nullptr;
    QSplitter* PcSplitter = nullptr;
    TVirtualListView* PcListView = nullptr;
    QListView* OrderListView = nullptr;
    QScrollArea* ScrollBox1 = nullptr;
    QLabel* BigImage = nullptr;
    QTreeWidget* AlbumTreeView = nullptr;
    QSplitter* AlbumSplitter = nullptr;
    TVirtualListView* AlbumListView = nullptr;
    QStatusBar* StatusBar1 = nullptr;
    QLabel* StatusPanel0 = nullptr;
    QProgressBar* Gauge1 = nullptr;
    QMenu* PcListPopupActionBar = nullptr;
    QMenu* AlbumListPopupActionBar = nullptr;
    QMenu* AlbumMoveMenu = nullptr;
    QMenu* DummyPopupMenu = nullptr;
    QImage UnknownFileImage;
    QImage FolderImage;
    QImage FolderUpImage;
    TImageList* IconImageList = nullptr;
    TImageList* AlbumImageList = nullptr;
    QTimer PcImageDrawTimer;
    TLoadScheduler Scheduler;
    TPcBrowser* Pc = nullptr;

    THttpClient IdHTTP1;
    TServiceUrls Urls;
    TServiceClient Service;
    TLoginService LoginService;

    QString OrderPageUrl() const;
    QString StatusText() const;

    // Handlers of the shell's own commands.
    void ActGoOrderExecute();
    void ActDispOrderPageUrlExecute();
    void ActHelpExecute();
    void ActNewVersionExecute();
    void ActShowNavigateWindowExecute();
    void ActRefreshExecute();

    void PcTreeViewChange();
    void AlbumTreeViewChange();
    void BigImageDblClick();
    void ScrollBox1DblClick();

    void ActLoginExecute();
    void ActLogoutExecute();
    // TLoginHost: the switches between the logged-out and the logged-in window.
    void LoginProc() override;
    void LogoutProc() override;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void FormCreate();
    void PrepareDataFolder();
    void LoadIniFile();
    void SaveIniFile();
    void createWidgets();
    void createActions();
    void createMenus();
    QWidget* createPcView();
    // Gives the folder tree a freshly read model, keeping a folder selected.
    void ReadPcFolders(const QString& selected);
    QWidget* createOrderView();
    QWidget* createBigImageView();
    QWidget* createAlbumView();

    // LoadSchedulerHost
    int SelectedTabIndex() const override;
    QString SelectedPcFolder() const override;
    std::optional<int> SelectedAlbumFolderId() const override;
    void PcLoad(const QString& folder) override;
    void AlbumLoad(int folderId) override;
    // PcBrowserHost
    LoadState& PcLoadState() override { return Scheduler.PcLoadState; }
    void NavigateSetPage(int page) override;
    void SetFileUpEnabled(bool enabled) override;
    void SetStatusPanelText(const QString& text) override;
    void ShowFullSizeView() override;
    // TLoginHost
    void SetUserName(const QString& userName) override { UserName = userName; }
    void SetTransferReady(bool ready) override { TransferReady = ready; }

    Dialogs& dialogs_;
    TLoginDialog& loginDialog_;
    TForm3& navigateWindow_;
    QSize pendingFrameSize_;  // outer size from the settings, until the frame is known
};

}  // namespace tovari
