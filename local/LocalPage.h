#pragma once

#include "local/PcBrowser.h"
#include "platform/LoadState.h"
#include "platform/StatusGauge.h"

#include <QTimer>
#include <QWidget>
#include <functional>

class QFileSystemModel;
class QMenu;
class QSplitter;
class QToolBar;
class QTreeView;

namespace tovari {

class TBigImageView;
class TSession;
struct TActionManager1;

// View 0: the folder tree of this computer beside the thumbnail list of the chosen folder.
class TLocalPage : public QWidget {
    Q_OBJECT
public:
    struct Context {
        TSession& session;
        LoadState& pcLoadState;
        TStatusLine status;
        TBigImageView& bigImageView;
        std::function<int()> selectedTabIndex;
    };

    explicit TLocalPage(Context context, QWidget* parent = nullptr);
    ~TLocalPage() override;

    void BindActions(const TActionManager1& actions);
    // Derives the enabled state of the page's commands from the session.
    void UpdateActions();

    // Path of the folder selected in the tree; empty when none is.
    QString SelectedPcFolder() const;
    void PcLoad(const QString& folder);
    void ActRefreshExecute();
    // Gives the folder tree a freshly read model, keeping a folder selected.
    void ReadPcFolders(const QString& selected);
    // Empties the listing and stops drawing: the state the window starts in.
    void ResetListing();
    // The program is ending: no further thumbnail is drawn.
    void Shutdown() { PcImageDrawTimer.stop(); }

    TPcBrowser& Pc() { return *pc_; }

    QToolBar* PcActionToolBar = nullptr;
    QSplitter* PcSplitter = nullptr;
    QTreeView* PcTreeView = nullptr;
    QFileSystemModel* PcFolderModel = nullptr;
    TVirtualListView* PcListView = nullptr;
    QMenu* PcListPopupActionBar = nullptr;
    QMenu* DummyPopupMenu = nullptr;
    QTimer PcImageDrawTimer;

signals:
    // The selected folder changed: the scheduler lists it at its next tick.
    void PcTreeViewChange();

private:
    TSession& session_;
    TPcBrowser* pc_ = nullptr;
    QAction* actRefresh_ = nullptr;
};

// A toolbar of the view panels: text beside a 16 x 16 icon, on the bar colour.
QToolBar* MakeViewToolBar(const QString& name, const QString& title);
// A view panel: a toolbar on top of the content.
QWidget* MakeViewPanel(QToolBar* toolBar, QWidget* content);
// The thumbnail grid both lists share: 100 x 100 pictures, multi-select, a pop-up on request.
void SetUpThumbnailList(TVirtualListView* list);

}  // namespace tovari
