// Uploads every photo of a folder through the real upload command to the shop at the given URL, and
// has curl post the same files with the same two parts to the same shop in one invocation (one
// connection). Prints both throughputs, the window's peak resident memory above idle, and the ratio.
#include "bench/BenchSupport.h"

#include "local/LocalPage.h"
#include "service/ServiceProtocol.h"
#include "upload/UploadCommand.h"

#include <QAction>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>

#include <cstdio>

using namespace tovari;

namespace {

// Answers every question with OK, as a user who confirms the batch would; keeps the last box.
class AnsweringDialogs : public Dialogs {
public:
    void ShowMessage(const QString& text) override { last = text; }
    Result MessageBox(QWidget*, const QString& text, const QString& caption, Buttons, Icon) override
    {
        last = caption + QStringLiteral(": ") + text;
        return Result::Ok;
    }
    QString InputBox(const QString&, const QString&, const QString& text) override { return text; }
    std::optional<QString> BrowseForFolder(QWidget*, const QString&, const QString&) override { return std::nullopt; }
    QString last;
};

double CurlSeconds(const QString& uploadUrl, const QStringList& files)
{
    QStringList args;
    for (const QString& file : files) {
        if (!args.isEmpty())
            args << QStringLiteral("--next");
        args << QStringLiteral("-s") << QStringLiteral("-o") << QStringLiteral("/dev/null") << QStringLiteral("-H")
             << QStringLiteral("Expect:") << QStringLiteral("-F") << QStringLiteral("mode=upload") << QStringLiteral("-F")
             << QStringLiteral("file1=@%1;type=image/jpeg").arg(file) << uploadUrl;
    }
    QProcess curl;
    QElapsedTimer timer;
    timer.start();
    curl.start(QStringLiteral("curl"), args);
    if (!curl.waitForFinished(-1) || curl.exitCode() != 0) {
        std::fprintf(stderr, "curl failed: %s\n", curl.readAllStandardError().constData());
        std::exit(1);
    }
    return double(timer.nsecsElapsed()) / 1e9;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench-upload SHOP_URL PHOTO_FOLDER [ROUNDS]\n");
        return 2;
    }
    const bench::BenchEnvironment environment;
    QApplication app(argc, argv);
    const QString shopUrl = QString::fromLocal8Bit(argv[1]);
    const QString folder = QDir(QString::fromLocal8Bit(argv[2])).absolutePath();
    const int rounds = argc > 3 ? std::max(1, std::atoi(argv[3])) : 3;

    AnsweringDialogs dialogs;
    TProgram program(dialogs, shopUrl);
    program.Form3.hide();
    program.Form1.resize(1000, 700);
    program.Form1.show();
    TForm1& form = program.Form1;
    if (!form.Session().TransferReady()) {
        std::fprintf(stderr, "no session from %s\n", argv[1]);
        return 1;
    }
    TLocalPage& local = bench::PartOf<TLocalPage>(form);
    local.PcLoad(folder);
    // The files are random bytes under photo names: no thumbnail is tried, so all stay uploadable.
    local.PcImageDrawTimer.stop();
    local.PcListView->selectAll();
    QApplication::processEvents();

    QStringList files;
    qint64 bytes = 0;
    for (const TPcImages& entry : local.Pc().UploadableEntries()) {
        files << entry.FolderPath + '/' + entry.FileName;
        bytes += QFileInfo(files.back()).size();
    }
    const QString uploadUrl = TServiceUrls(shopUrl).Upload(form.Session().SessionId());

    std::vector<double> ours, theirs;
    long idleKiB = 0, peakAboveIdleKiB = 0;
    for (int round = 0; round < rounds; ++round) {
        QApplication::processEvents();
        idleKiB = bench::StatusKiB("VmRSS");
        const bool peakReset = bench::ResetPeak();
        QElapsedTimer timer;
        timer.start();
        form.Actions().ActFileUp->trigger();
        ours.push_back(double(timer.nsecsElapsed()) / 1e9);
        const long peak = peakReset ? bench::StatusKiB("VmHWM") : -1;
        peakAboveIdleKiB = std::max(peakAboveIdleKiB, peak - idleKiB);
        if (bench::PartOf<TUploadCommand>(form).LastTally().Sent != int(files.size())) {
            std::fprintf(stderr, "the batch did not send everything: %s\n", qPrintable(dialogs.last));
            return 1;
        }
        local.PcListView->selectAll();
        theirs.push_back(CurlSeconds(uploadUrl, files));
    }

    const double mib = double(bytes) / (1024.0 * 1024.0);
    const double oursRate = mib / bench::Median(ours);
    const double curlRate = mib / bench::Median(theirs);
    std::printf("photos: %lld, %.1f MiB per batch, %d rounds (medians)\n", static_cast<long long>(files.size()), mib,
                rounds);
    std::printf("upload_command: %.3f s, %.1f MiB/s\n", bench::Median(ours), oursRate);
    std::printf("curl: %.3f s, %.1f MiB/s\n", bench::Median(theirs), curlRate);
    std::printf("idle_rss: %.1f MiB, peak_above_idle: %.1f MiB (goal <= 16)\n", double(idleKiB) / 1024.0,
                double(peakAboveIdleKiB) / 1024.0);
    std::printf("ratio_vs_curl: %.2f\n", oursRate / curlRate);
    return 0;
}
