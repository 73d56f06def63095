#pragma once

#include "app/LoadScheduler.h"
#include "platform/Commands.h"
#include "service/HttpClient.h"
#include "service/LoginService.h"
#include "service/ServiceClient.h"
#include "service/ServiceProtocol.h"
#include "service/Session.h"

#include <QMainWindow>
#include <chrono>
#include <cstdint>
#include <memory>

class QLabel;
class QListView;
class QMenu;
class QMenuBar;
class QProgressBar;
class QStackedWidget;
class QStatusBar;
class QTabBar;
class QToolBar;

namespace tovari {

class Dialogs;
class TAlbumPage;
class TBigImageView;
class TForm2;
class TForm3;
class TImageList;
class TLocalPage;
class TLoginDialog;
class TNativeSPILibrary;
class TPluginSwitch;
class TUploadCommand;

// The main window: the tab strip over four stacked views, the menus and toolbars, the status bar and
// the settings. It creates the parts, wires them together and switches between their views; each part
// serves its own commands and keeps its own state.
class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    struct Collaborators {
        Dialogs& dialogs;
        TLoginDialog& loginDialog;
        TForm3& navigateWindow;
        QString serviceUrl;
        // How the login dialog is shown; its exec() when empty.
        TLoginService::ShowLoginDialog showLoginDialog = {};
        // How long a reply may stall before it counts as a lost connection.
        std::chrono::seconds replyStallGuard = THttpClient::kStallTimeout;
    };

    explicit TForm1(const Collaborators& collaborators, QWidget* parent = nullptr);
    ~TForm1() override;

    void ViewSelect(int i);
    void DockTabSet1Change(int index);
    void ExitExecute();
    bool FormCloseQuery();

    // The last list view shown (local, order or album tab); the full-size view returns to it.
    std::int16_t CurrentView() const { return currentView_; }
    const QString& DataFolder() const { return dataFolder_; }
    const QString& ImageCacheFolder() const { return imageCacheFolder_; }
    QString OrderPageUrl() const;
    QString StatusText() const;

    // The login state that every part follows.
    TSession& Session() { return session_; }
    const TActionManager1& Actions() const { return ActionManager1; }
    // The upload command shows its progress in this dialog, made after the window.
    void SetProgressDialog(TForm2& dialog);

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

private:
    class Loads;

    void FormCreate();
    void PrepareDataFolder();
    void LoadIniFile();
    void SaveIniFile();
    void FitStoredFrame();
    void createWidgets();
    void createActions();
    void BindActions();
    void createMenus();
    void wireParts();

    // Handlers of the shell's own commands.
    void ActGoOrderExecute();
    void ActDispOrderPageUrlExecute();
    void ActHelpExecute();
    void ActNewVersionExecute();
    void ActShowNavigateWindowExecute();
    void BigImageDblClick();
    void ScrollBox1DblClick();
    void ShowFullSizeView();
    // The album tab's caption follows the login state.
    void UpdateAlbumTabCaption();

    Dialogs& dialogs_;
    TForm3& navigateWindow_;

    QString dataFolder_;
    QString imageCacheFolder_;
    std::int16_t currentView_ = 0;
    bool NavigateWindow = true;

    TSession session_;
    THttpClient IdHTTP1;
    TServiceUrls Urls;
    TServiceClient Service;
    TLoginService LoginService;
    std::unique_ptr<Loads> loads_;
    TLoadScheduler* scheduler_ = nullptr;  // a child, so that it is found among the window's parts

    TActionManager1 ActionManager1;
    QMenuBar* ActionMainMenuBar1 = nullptr;
    QTabBar* DockTabSet1 = nullptr;
    QStackedWidget* views_ = nullptr;
    TLocalPage* local_ = nullptr;
    QWidget* OrderView_ = nullptr;
    QToolBar* OrderActionToolBar = nullptr;
    TBigImageView* bigImageView_ = nullptr;
    TAlbumPage* album_ = nullptr;
    TUploadCommand* upload_ = nullptr;
    std::unique_ptr<TNativeSPILibrary> spiLibrary_;
    TPluginSwitch* plugins_ = nullptr;
    QStatusBar* StatusBar1 = nullptr;
    QLabel* StatusPanel0 = nullptr;
    QProgressBar* Gauge1 = nullptr;
    TImageList* IconImageList = nullptr;

    QSize pendingFrameSize_;  // outer size from the settings, until the frame is known
    bool closing_ = false;    // the window has agreed to close; the program is ending
};

}  // namespace tovari
