// bench-scan DIR: lists DIR through the real main window (offscreen) five times and prints the median.
#include "local/LocalPage.h"
#include "app/Program.h"
#include "bench/BenchSupport.h"
#include "platform/DirEnum.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

using tovari::bench::Median;

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench-scan DIR\n");
        return 2;
    }
    tovari::bench::BenchProgram program(argc, argv);
    tovari::TForm1& form = program.Form();
    const QString dir = QString::fromLocal8Bit(argv[1]);

    std::vector<double> plain;
    for (int run = 0; run < 2; ++run) {
        QElapsedTimer t;
        t.start();
        tovari::TDirEnum e(dir);
        tovari::TDirEnum::Entry entry;
        long long n = 0;
        while (e.Next(entry))
            ++n;
        plain.push_back(t.nsecsElapsed() / 1e9);
        std::printf("plain directory read %d: %.4f s (%lld entries)\n", run + 1, plain.back(), n);
    }

    std::vector<double> runs;
    tovari::TLoadScheduler& scheduler = tovari::bench::PartOf<tovari::TLoadScheduler>(form);
    tovari::TPcBrowser& pc = tovari::bench::PartOf<tovari::TLocalPage>(form).Pc();
    for (int run = 0; run < 5; ++run) {
        scheduler.PcLoaderState() = tovari::LoadState::STOPED_PC;
        QElapsedTimer t;
        t.start();
        pc.PcLoad(dir);
        // The list lays its items out once the scan returns; that is part of what the user waits for.
        QApplication::processEvents();
        runs.push_back(t.nsecsElapsed() / 1e9);
        std::printf("listing %d: %.4f s, %d items\n", run + 1, runs.back(), pc.Model()->rowCount());
    }
    std::printf("seconds: %.4f\n", Median(runs));
    return 0;
}
