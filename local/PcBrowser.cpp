#include "local/PcBrowser.h"

#include "platform/DirEnum.h"
#include "platform/ImageList.h"
#include "platform/StatusGauge.h"
#include "platform/Trace.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QProgressBar>
#include <QStatusBar>
#include <QTimer>
#include <algorithm>

namespace tovari {

namespace {

constexpr int kThumbSize = 100;
constexpr int kImageListGrowBy = 80;

// Runs a function when the scope ends, however it ends.
template <typename F>
class ScopeExit {
public:
    explicit ScopeExit(F f) : f_(std::move(f)) {}
    ~ScopeExit() { f_(); }
    ScopeExit(const ScopeExit&) = delete;
    ScopeExit& operator=(const ScopeExit&) = delete;

private:
    F f_;
};

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

TPcBrowser::TPcBrowser(PcBrowserHost& host, const PcBrowserWidgets& widgets, QObject* parent)
    : QObject(parent), host_(host), w_(widgets), model_(new TVirtualListModel(*this, this)),
      pcImageList_(new TImageList(kThumbSize, kThumbSize, kImageListGrowBy, this))
{
    model_->SetImageList(pcImageList_);
    w_.PcListView->setModel(model_);
    connect(w_.PcListView, &TVirtualListView::DataHint, this, &TPcBrowser::PcListViewDataHint);
    connect(w_.PcListView->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &TPcBrowser::PcListViewSelectItem);
    w_.PcListView->installEventFilter(this);
    w_.PcListView->viewport()->installEventFilter(this);
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
        w_.PcListView->selectAll();
    else if (key == Qt::Key_D)
        w_.PcListView->clearSelection();
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
    if (!w_.PcListView->hasFocus())
        w_.PcListView->setFocus(Qt::MouseFocusReason);
}

std::vector<int> TPcBrowser::UploadableSelection() const
{
    std::vector<int> rows;
    const QItemSelectionModel* selection = w_.PcListView->selectionModel();
    const int count = model_->Count();
    for (const QModelIndex& index : selection->selectedIndexes()) {
        const int row = index.row();
        if (row < count && std::size_t(row) < PcImages.size() && PcImages[std::size_t(row)].Loadable)
            rows.push_back(row);
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

void TPcBrowser::PcFileUpRefresh()
{
    const std::size_t count = UploadableSelection().size();
    if (count == 0) {
        host_.SetFileUpEnabled(false);
        host_.SetStatusPanelText(QString());
        return;
    }
    host_.SetFileUpEnabled(true);
    host_.SetStatusPanelText(QString::number(count) + QStringLiteral("個選択中 "));
    host_.NavigateSetPage(2);
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
    LoadState& state = host_.PcLoadState();
    if (state == LoadState::STOPED_PC)
        state = LoadState::NOW_LOADING_PC;

    ShowGaugeInStatusBar(*w_.Gauge1, *w_.StatusBar1);
    w_.PcListView->setCursor(Qt::BusyCursor);

    // However the scan ends, the state leaves "loading" and the gauge and busy cursor go away.
    const ScopeExit finish([&] {
        state = state == LoadState::DO_STOP_PC ? LoadState::STOPED_PC : LoadState::LOAD_COMP_PC;
        w_.Gauge1->hide();
        w_.PcListView->unsetCursor();
        w_.PcImageDrawTimer->start();
        host_.NavigateSetPage(1);
    });

    if (!PcImages.empty())
        ReplaceImageList();
    PcImages.clear();
    try {
        SlotCache.ClearSlots();
        model_->Clear();
        pcImageList_->Clear();
        w_.PcImageDrawTimer->stop();
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
        }
    }
    PcImages.resize(filled);
    // A raw directory read comes in no useful order; users expect names in order, regardless of case.
    std::sort(PcImages.begin(), PcImages.end(), NameLess);

    const long long count = static_cast<long long>(PcImages.size());
    int listed = 0;
    for (long long k = 0; k < count; ++k) {
        SetGaugeProgress(*w_.Gauge1, k, count);
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
