// bench-scroll DIR [EVERY]: lists DIR through the real main window (offscreen), scrolls the list from top
// to bottom and back a page at a time, drawing the thumbnails of every EVERY-th page (default 1) as
// the list's timer would, and prints the process's peak resident size.
#include "local/LocalPage.h"
#include "app/Program.h"
#include "bench/BenchSupport.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QScrollBar>
#include <QTemporaryDir>
#include <cstdio>

using namespace tovari;

namespace {

// Ticks the drawing timer's handler until every announced item has been tried; returns the count drawn.
int DrawAnnounced(TPcBrowser& pc)
{
    int drawn = 0;
    for (;;) {
        bool pending = false;
        for (int i = pc.HintStart; i <= pc.HintEnd && std::size_t(i) < pc.PcImages.size(); ++i)
            pending = pending || (pc.PcImages[std::size_t(i)].ImageIndex == -1 && !pc.PcImages[std::size_t(i)].ThumbTried);
        if (!pending)
            return drawn;
        pc.PcImageDrawTimerTimer();
        ++drawn;
    }
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench-scroll DIR [EVERY]\n");
        return 2;
    }
    bench::BenchProgram program(argc, argv);
    TForm1& form = program.Form();
    const QString dir = QString::fromLocal8Bit(argv[1]);
    const int every = argc > 2 ? std::max(1, std::atoi(argv[2])) : 1;

    QElapsedTimer clock;
    clock.start();
    TLocalPage& local = bench::PartOf<TLocalPage>(form);
    bench::PartOf<TLoadScheduler>(form).PcLoaderState() = LoadState::STOPED_PC;
    local.Pc().PcLoad(dir);
    QApplication::processEvents();
    // The test drives the drawing; the real timer would only do the same more slowly.
    local.PcImageDrawTimer.stop();
    std::printf("listed %d items in %.2f s, rss %ld MiB\n", local.Pc().Model()->rowCount(),
                clock.nsecsElapsed() / 1e9, bench::StatusKiB("VmRSS") / 1024);

    QScrollBar* bar = local.PcListView->verticalScrollBar();
    long drawn = 0;
    long page = 0;
    auto visit = [&] {
        QApplication::processEvents();
        if (page++ % every == 0)
            drawn += DrawAnnounced(local.Pc());
    };
    visit();
    while (bar->value() < bar->maximum()) {
        bar->setValue(std::min(bar->maximum(), bar->value() + bar->pageStep()));
        visit();
    }
    std::printf("down: %ld pages, %ld thumbnails, %.1f s, rss %ld MiB\n", page, drawn, clock.nsecsElapsed() / 1e9,
                bench::StatusKiB("VmRSS") / 1024);
    while (bar->value() > 0) {
        bar->setValue(std::max(0, bar->value() - bar->pageStep()));
        visit();
    }
    std::printf("back: %ld pages, %ld thumbnails, %.1f s, slots %d\n", page, drawn, clock.nsecsElapsed() / 1e9,
                local.Pc().SlotCache.SlotCount());
    std::printf("peak_rss_mib: %.1f\n", bench::StatusKiB("VmHWM") / 1024.0);
    return 0;
}
