#include "local/PcBrowser.h"

#include "local/FullSizeView.h"
#include "local/Thumbnail.h"
#include "platform/DirEnum.h"
#include "platform/ImageList.h"
#include "platform/ScopeExit.h"
#include "platform/StatusGauge.h"
#include "platform/Trace.h"
#include "platform/Views.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QScrollArea>
#include <QScrollBar>
#include <QStatusBar>
#include <QTimer>
#include <algorithm>

namespace tovari {

namespace {

constexpr int kThumbSize = kThumbnailSide;
constexpr int kImageListGrowBy = 80;
constexpr std::int32_t kMaxSlots = 80;

bool NameLess(const TPcImages& a, const TPcImages& b)
{
    const int c = QString::compare(a.FileName, b.FileName, Qt::CaseInsensitive);
    return c != 0 ? c < 0 : a.FileName < b.FileName;
}

}  // namespace

bool IsListedEntry(bool directory, bool hidden)
{
    return !directory && !hidden;
}

TPcBrowser::TPcBrowser(PcBrowserContext context, QObject* parent)
    : QObject(parent), c_(std::move(context)), model_(new TVirtualListModel(*this, this)),
      pcImageList_(new TImageList(kThumbSize, kThumbSize, kImageListGrowBy, this))
{
    model_->SetImageList(pcImageList_);
    c_.PcListView.setModel(model_);
    connect(&c_.PcListView, &TVirtualListView::DataHint, this, &TPcBrowser::PcListViewDataHint);
    connect(c_.PcListView.selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &TPcBrowser::PcListViewSelectItem);
    c_.PcListView.installEventFilter(this);
    c_.PcListView.viewport()->installEventFilter(this);
    connect(&c_.PcImageDrawTimer, &QTimer::timeout, this, &TPcBrowser::PcImageDrawTimerTimer);
}

bool TPcBrowser::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::KeyPress: {
        const auto* key = static_cast<QKeyEvent*>(event);
        PcListViewKeyDown(key->key(), key->modifiers());
        break;
    }
    case QEvent::KeyRelease:
        PcListViewKeyUp();
        break;
    case QEvent::MouseMove:
        PcListViewMouseMove();
        break;
    case QEvent::MouseButtonDblClick:
        if (watched == c_.PcListView.viewport() && IsPrimaryDoubleClick(event))
            PcListViewDblClick();
        break;
    default:
        break;
    }
    // The list's own handling of every event goes on.
    return QObject::eventFilter(watched, event);
}

void TPcBrowser::PcListViewKeyDown(int key, Qt::KeyboardModifiers shift)
{
    const Qt::KeyboardModifiers relevant = shift & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
    if (relevant != Qt::ControlModifier)
        return;
    if (key == Qt::Key_A)
        c_.PcListView.selectAll();
    else if (key == Qt::Key_D)
        c_.PcListView.clearSelection();
}

void TPcBrowser::PcListViewKeyUp()
{
    PcFileUpRefresh();
}

void TPcBrowser::PcListViewSelectItem()
{
    PcFileUpRefresh();
}

void TPcBrowser::PcListViewMouseMove()
{
    if (!c_.PcListView.hasFocus())
        c_.PcListView.setFocus(Qt::MouseFocusReason);
}

bool TPcBrowser::AnySelected() const
{
    return c_.PcListView.selectionModel()->hasSelection();
}

std::vector<int> TPcBrowser::UploadableSelection() const
{
    std::vector<int> rows;
    const QItemSelectionModel* selection = c_.PcListView.selectionModel();
    const int count = model_->Count();
    for (const QModelIndex& index : selection->selectedIndexes()) {
        const int row = index.row();
        if (row < count && std::size_t(row) < PcImages.size() && PcImages[std::size_t(row)].Loadable)
            rows.push_back(row);
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

TPcImageArray TPcBrowser::UploadableEntries() const
{
    TPcImageArray entries;
    for (const int row : UploadableSelection())
        entries.push_back(PcImages[std::size_t(row)]);
    return entries;
}

void TPcBrowser::PcFileUpRefresh()
{
    const std::size_t count = UploadableSelection().size();
    // Told every time, not only on a change: the upload command is enabled after a batch whatever the
    // selection, and this count is what brings it back in line.
    emit UploadableCountChanged(int(count));
    if (count == 0) {
        c_.Status.StatusPanel0.setText(QString());
        return;
    }
    c_.Status.StatusPanel0.setText(QString::number(count) + QStringLiteral("個選択中 "));
    emit NavigatePage(kGuidePhotosSelected);
}

void TPcBrowser::ReplaceImageList()
{
    // The old list goes at once: keeping every replaced list until exit would grow with each scan.
    TImageList* old = pcImageList_;
    pcImageList_ = new TImageList(kThumbSize, kThumbSize, kImageListGrowBy, this);
    model_->SetImageList(pcImageList_);
    delete old;
}

void TPcBrowser::PcLoad(const QString& folder)
{
    LoadState& state = c_.PcLoadState;
    if (state == LoadState::STOPED_PC)
        state = LoadState::NOW_LOADING_PC;

    ShowGaugeInStatusBar(c_.Status.Gauge1, c_.Status.StatusBar1);
    c_.PcListView.setCursor(Qt::BusyCursor);

    // However the scan ends, the state leaves "loading" and the gauge and busy cursor go away.
    const ScopeExit finish([&] {
        const bool stopped = state == LoadState::DO_STOP_PC;
        state = stopped ? LoadState::STOPED_PC : LoadState::LOAD_COMP_PC;
        c_.Status.Gauge1.hide();
        c_.PcListView.unsetCursor();
        // A stopped listing is followed by the next one, or by the end of the program: nothing to draw.
        if (!stopped)
            c_.PcImageDrawTimer.start();
        // A new listing resets the list, which drops the selection without a word: the count, the
        // status bar and the upload command must not go on offering what is no longer selected.
        PcFileUpRefresh();
        emit NavigatePage(kGuideFolderListed);
    });

    if (!PcImages.empty())
        ReplaceImageList();
    PcImages.clear();
    try {
        SlotCache.ClearSlots();
        model_->Clear();
        pcImageList_->Clear();
        c_.PcImageDrawTimer.stop();
    } catch (...) {
        // Emptying the old listing may fail only in ways that do not affect the new one.
    }

    std::size_t n = 0;
    {
        TDirEnum dir(folder);
        TDirEnum::Entry entry;
        while (dir.Next(entry))
            if (IsListedEntry(entry.directory, entry.hidden))
                ++n;
    }

    // The second pass may see a different folder: it fills at most the n records counted before and
    // keeps only those it filled.
    PcImages.resize(n);
    std::size_t filled = 0;
    {
        TDirEnum dir(folder);
        TDirEnum::Entry entry;
        while (dir.Next(entry)) {
            if (filled < n && IsListedEntry(entry.directory, entry.hidden)) {
                TPcImages& image = PcImages[filled++];
                image.FileName = entry.name;
                image.FolderPath = folder;
            }
            QCoreApplication::processEvents();
            // A stopped scan reads no further: a large folder would keep the program busy for nothing.
            if (state == LoadState::DO_STOP_PC)
                break;
        }
    }
    PcImages.resize(filled);
    // A raw directory read comes in no useful order; users expect names in order, regardless of case.
    std::sort(PcImages.begin(), PcImages.end(), NameLess);

    const long long count = static_cast<long long>(PcImages.size());
    int listed = 0;
    for (long long k = 0; k < count; ++k) {
        SetGaugeProgress(c_.Status.Gauge1, k, count);
        if (state == LoadState::DO_STOP_PC) {
            Trace("Stop Loading");
            continue;
        }
        ++listed;
        PcImages[std::size_t(k)].ImageIndex = -1;
        PcImages[std::size_t(k)].Loadable = true;
    }
    // The list does not pump events while items are added, so adding them in one step looks the same.
    model_->AppendItems(listed);
}

void TPcBrowser::PcListViewData(int index, ListItemData& item)
{
    if (PcImages.empty() || index < 0 || std::size_t(index) >= PcImages.size())
        return;
    const TPcImages& image = PcImages[std::size_t(index)];
    item.Caption = image.FileName;
    item.ImageIndex = image.ImageIndex;
}

void TPcBrowser::PcListViewDataHint(int startIndex, int endIndex)
{
    HintStart = startIndex;
    HintEnd = endIndex;
}

}  // namespace tovari

namespace tovari {

void TPcBrowser::PcListViewDblClick()
{
    const QModelIndexList selected = c_.PcListView.selectionModel()->selectedIndexes();
    if (selected.isEmpty())
        return;
    int first = selected.front().row();
    for (const QModelIndex& index : selected)
        first = std::min(first, index.row());
    c_.BigImageView.ScrollHome();
    PcShowBigImage(first);
}

void TPcBrowser::PcImageDrawTimerTimer()
{
    if (ThumbDrawing || c_.SelectedTabIndex() != kLocalTab || model_->Count() == 0)
        return;
    const std::int32_t last = std::min<std::int32_t>(HintEnd, std::int32_t(PcImages.size()) - 1);
    for (std::int32_t i = std::max<std::int32_t>(HintStart, 0); i <= last; ++i) {
        const TPcImages& entry = PcImages[std::size_t(i)];
        if (entry.ImageIndex == -1 && !entry.ThumbTried) {
            PcDispSmallImage(i);
            return;
        }
    }
}

void TPcBrowser::PcDispSmallImage(std::int32_t index)
{
    if (index < 0 || std::size_t(index) >= PcImages.size())
        return;
    ThumbDrawing = true;
    const ScopeExit done([&] { ThumbDrawing = false; });
    const QString path = PcImages[std::size_t(index)].FolderPath + '/' + PcImages[std::size_t(index)].FileName;
    const ThumbnailResult thumb = MakeThumbnail(path);
    TPcImages& entry = PcImages[std::size_t(index)];
    entry.Loadable = thumb.loadable;
    if (thumb.ready)
        entry.ImageIndex = StoreThumbnail(index, thumb.cell);
    entry.ThumbTried = true;
}

std::int32_t TPcBrowser::StoreThumbnail(std::int32_t index, const QImage& cell)
{
    const std::int32_t useOrder = SlotCache.MaxUseOrder() + 1;
    if (SlotCache.SlotCount() < kMaxSlots) {
        const std::int32_t slot = pcImageList_->Add(cell);
        SlotCache.AddSlot(index, slot, useOrder);
        return slot;
    }
    // Each entry holds at most one slot, so the oldest slot whose entry lies off screen is the
    // oldest-filled off-screen entry.
    TImageListCache* victim = nullptr;
    for (std::int32_t k = 0; k < SlotCache.SlotCount(); ++k) {
        TImageListCache& e = SlotCache.Slot(k);
        const bool offScreen = e.ItemIndex < HintStart || e.ItemIndex > HintEnd;
        if (offScreen && (!victim || e.UseOrder < victim->UseOrder))
            victim = &e;
    }
    if (!victim) {
        // Every slot is on screen (a very large window): hold one more rather than leave an item blank.
        const std::int32_t slot = pcImageList_->Add(cell);
        SlotCache.AddSlot(index, slot, useOrder);
        return slot;
    }
    if (victim->ItemIndex >= 0 && std::size_t(victim->ItemIndex) < PcImages.size()) {
        TPcImages& old = PcImages[std::size_t(victim->ItemIndex)];
        old.ThumbTried = false;
        old.ImageIndex = -1;
    }
    pcImageList_->Replace(victim->ImageListIndex, cell);
    victim->ItemIndex = index;
    victim->UseOrder = useOrder;
    return victim->ImageListIndex;
}

void TPcBrowser::PcShowBigImage(std::int32_t index)
{
    c_.BigImageView.BigImage->move(0, 0);
    if (index < 0 || std::size_t(index) >= PcImages.size() || !PcImages[std::size_t(index)].Loadable)
        return;
    const TPcImages& entry = PcImages[std::size_t(index)];
    // The entry's own folder is the tree's folder whenever this listing is on screen, and can never
    // name a different file.
    const QString path = entry.FolderPath + '/' + entry.FileName;
    try {
        emit FullSizeRequested();
        c_.BigImageView.BigImage->move(0, 0);
        QCoreApplication::processEvents();
        LoadFullSizeImage(*c_.BigImageView.BigImage, path);
    } catch (const std::exception&) {
        // A file that vanished or does not decode leaves the view on the previous picture.
    }
}

}  // namespace tovari
