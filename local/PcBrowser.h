#pragma once

#include "local/FullSizeView.h"
#include "local/ImgCache.h"
#include "local/PcImages.h"
#include "platform/ImageList.h"
#include "platform/LoadState.h"
#include "platform/StatusGauge.h"
#include "platform/VirtualList.h"

#include <QObject>
#include <QPointer>

#include <functional>

class QTimer;

namespace tovari {

class TImageList;

// What the local photo browser works with; the widgets belong to the local page and the shell.
struct PcBrowserContext {
    TVirtualListView& PcListView;
    QTimer& PcImageDrawTimer;
    // The scheduler's state of the local side.
    LoadState& PcLoadState;
    TStatusLine Status;
    TBigImageView& BigImageView;
    // The index of the tab that is selected; thumbnails are drawn only while it is 0.
    std::function<int()> SelectedTabIndex;
};

// The local side: listing one folder into the virtual photo list and drawing its thumbnails.
class TPcBrowser : public QObject, public VirtualListItemSource {
    Q_OBJECT
public:
    explicit TPcBrowser(PcBrowserContext context, QObject* parent = nullptr);

    // Scans a folder and rebuilds the listing; pumps events while it reads the folder.
    void PcLoad(const QString& folder);

    void PcListViewData(int index, ListItemData& item);
    void PcListViewDataHint(int startIndex, int endIndex);
    void PcListViewKeyDown(int key, Qt::KeyboardModifiers shift);
    void PcListViewKeyUp();
    void PcListViewSelectItem();
    void PcListViewMouseMove();
    // Counts the selected items that can be sent, and brings the count, status bar and guide in line.
    void PcFileUpRefresh();
    void PcListViewDblClick();
    // Whether any item is selected, whether it can be sent or not.
    bool AnySelected() const;
    // Rows of the uploadable selection, first to last.
    std::vector<int> UploadableSelection() const;

    // Draws at most one thumbnail a tick, of an item the list announced it shows.
    void PcImageDrawTimerTimer();
    void PcDispSmallImage(std::int32_t index);
    // Shows the file of an entry at its natural size in the full-size view.
    void PcShowBigImage(std::int32_t index);

    TVirtualListModel* Model() const { return model_; }
    TImageList* PcImageList() const { return pcImageList_; }

    // Copies of the entries of the uploadable selection, first to last.
    TPcImageArray UploadableEntries() const;
    std::size_t UploadableCount() const { return UploadableSelection().size(); }

    TPcImageArray PcImages;
    TImgCache SlotCache;
    bool ThumbDrawing = false;
    std::int32_t HintStart = 0;
    std::int32_t HintEnd = 0;

signals:
    // The count of selected items that can be sent, told at every count of the selection.
    void UploadableCountChanged(int count);
    // Moves the navigation guide forward to a page (never back).
    void NavigatePage(int page);
    // Asks for the full-size view to be shown; it is filled right after.
    void FullSizeRequested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ItemData(int index, ListItemData& item) override { PcListViewData(index, item); }
    void ReplaceImageList();
    // The slot a new thumbnail goes into: a fresh one, or that of the oldest thumbnail off screen.
    std::int32_t StoreThumbnail(std::int32_t index, const QImage& cell);

    PcBrowserContext c_;
    TVirtualListModel* model_;
    QPointer<TImageList> pcImageList_;
};

// Entries a folder listing takes: files that are not hidden.
bool IsListedEntry(bool directory, bool hidden);

}  // namespace tovari
