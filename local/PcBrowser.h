#pragma once

#include "local/ImgCache.h"
#include "local/PcImages.h"
#include "platform/ImageList.h"
#include "platform/LoadState.h"
#include "platform/VirtualList.h"

#include <QObject>
#include <QPointer>

class QLabel;
class QProgressBar;
class QScrollArea;
class QStatusBar;
class QTimer;

namespace tovari {

class TImageList;

// What the local photo browser needs of the main window.
class PcBrowserHost {
public:
    virtual ~PcBrowserHost() = default;
    virtual LoadState& PcLoadState() = 0;
    virtual int SelectedTabIndex() const = 0;
    // Moves the navigation guide forward to a page (never back).
    virtual void NavigateSetPage(int page) = 0;
    virtual void SetFileUpEnabled(bool enabled) = 0;
    virtual void SetStatusPanelText(const QString& text) = 0;
    // Selects the tab of the full-size view and the view itself.
    virtual void ShowFullSizeView() = 0;
};

// The main window's widgets that the local browser works with; all owned by the main window.
struct PcBrowserWidgets {
    TVirtualListView* PcListView = nullptr;
    QStatusBar* StatusBar1 = nullptr;
    QProgressBar* Gauge1 = nullptr;
    QTimer* PcImageDrawTimer = nullptr;
    QScrollArea* ScrollBox1 = nullptr;
    QLabel* BigImage = nullptr;
};

// The local side of the main window: listing one folder into the virtual photo list.
class TPcBrowser : public QObject, public VirtualListItemSource {
    Q_OBJECT
public:
    TPcBrowser(PcBrowserHost& host, const PcBrowserWidgets& widgets, QObject* parent = nullptr);

    // Scans a folder and rebuilds the listing; pumps events while it reads the folder.
    void PcLoad(const QString& folder);

    void PcListViewData(int index, ListItemData& item);
    void PcListViewDataHint(int startIndex, int endIndex);
    void PcListViewKeyDown(int key, Qt::KeyboardModifiers shift);
    void PcListViewKeyUp();
    void PcListViewSelectItem();
    void PcListViewMouseMove();
    // Counts the selected items that can be sent, and brings the command, status bar and guide in line.
    void PcFileUpRefresh();
    void PcListViewDblClick();
    // Rows of the uploadable selection, first to last.
    std::vector<int> UploadableSelection() const;

    // Draws at most one thumbnail a tick, of an item the list announced it shows.
    void PcImageDrawTimerTimer();
    void PcDispSmallImage(std::int32_t index);
    // Shows the file of an entry at its natural size in the full-size view.
    void PcShowBigImage(std::int32_t index);

    TVirtualListModel* Model() const { return model_; }
    TImageList* PcImageList() const { return pcImageList_; }

    TPcImageArray PcImages;
    TImgCache SlotCache;
    bool ThumbDrawing = false;
    std::int32_t HintStart = 0;
    std::int32_t HintEnd = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ItemData(int index, ListItemData& item) override { PcListViewData(index, item); }
    void ReplaceImageList();
    // The slot a new thumbnail goes into: a fresh one, or that of the oldest thumbnail off screen.
    std::int32_t StoreThumbnail(std::int32_t index, const QImage& cell);

    PcBrowserHost& host_;
    PcBrowserWidgets w_;
    TVirtualListModel* model_;
    QPointer<TImageList> pcImageList_;
};

// Entries a folder listing takes: files that are not hidden.
bool IsListedEntry(bool directory, bool hidden);

}  // namespace tovari
