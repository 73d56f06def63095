#include "tests/upload/UploadFixture.h"

#include "shop/FaultProxy.h"

#include <QFile>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>
#include <QWindow>

namespace tovari::test {
namespace {

enum class Work { Upload, AlbumListing, LocalScan };
enum class CloseBy { TitleBar, ExitCommand };

struct CloseCase {
    const char* name;
    Work work;
    CloseBy by;
    Dialogs::Result answer = Dialogs::Result::Ok;  // to "転送を中断しますか？", when a batch runs
};

const QString kStopQuestion = QStringLiteral("確認: 転送を中断しますか？");

// The program runs its own event loop, as it does in use; the window is closed while work pumps events.
class ClosingTest : public UploadTest, public ::testing::WithParamInterface<CloseCase> {
protected:
    void Close(CloseBy by)
    {
        if (by == CloseBy::TitleBar)
            Form().windowHandle()->close();  // the window system's close request, as from the title bar
        else
            Form().Actions().Exit->trigger();
    }
    QString IniFile() const { return sandbox.filePath(QStringLiteral("data/tovari/tovari.ini")); }
};

TEST_P(ClosingTest, WorkStopsAtOnceAndTheProgramEnds)
{
    const CloseCase& c = GetParam();
    std::unique_ptr<shop::FaultProxy> slowShop;
    std::function<bool()> underWay;
    std::function<int()> requests = [] { return 0; };
    std::function<void()> begin;
    switch (c.work) {
    case Work::Upload:
        StartWithPhotos({"p1.jpg", "p2.jpg", "p3.jpg", "p4.jpg", "p5.jpg", "p6.jpg"});
        underWay = [&] { return server.Uploads().size() >= 2; };
        requests = [&] { return int(server.Uploads().size()); };
        begin = [&] { RunBatch(); };
        dialogs.answers = {Dialogs::Result::Ok, c.answer};
        break;
    case Work::AlbumListing: {
        // Every thumbnail comes slowly, as from a busy service.
        slowShop = std::make_unique<shop::FaultProxy>("127.0.0.1", QUrl(DemoShopUrl()).port(),
                                                      shop::ParseFaultRule("stall:30@mode=small"));
        slowShop->Start();
        ASSERT_TRUE(StartAsDemoMember(QString::fromStdString(slowShop->BaseUrl())));
        Form().show();
        underWay = [&] {
            return Scheduler().AlbumLoadState() == LoadState::NOW_LOADING_ALBUM && slowShop->Misbehaved() >= 2;
        };
        requests = [&] { return slowShop->Misbehaved(); };
        begin = [&] {
            Tabs().setCurrentIndex(3);
            Album().AlbumTreeView->setCurrentItem(AlbumNode(QStringLiteral("ペット")));
        };
        break;
    }
    case Work::LocalScan: {
        Start();
        Form().show();
        const QString big = MakeFolder(QStringLiteral("big"), NumberedFiles(QStringLiteral("p"), 3000));
        underWay = [&] { return Scheduler().PcLoadState() == LoadState::NOW_LOADING_PC; };
        begin = [&, big] { SelectPcFolder(big); };
        break;
    }
    }
    dialogs.messages.clear();
    RecordedTraces().clear();

    bool closed = false;
    int requestsAtClose = -1;
    QStringList messagesAtClose;
    QTimer watch;
    watch.setInterval(0);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (!closed && underWay()) {
            closed = true;
            requestsAtClose = requests();
            QFile::remove(IniFile());
            Close(c.by);
            messagesAtClose = dialogs.messages;
        } else if (closed && Form().isVisible() && !Command().Uploading()) {
            Close(c.by);  // the batch the user kept has ended: now the window closes for good
        }
    });
    watch.start();
    QTimer::singleShot(0, begin);
    // A hang guard of this test's own: a pending single shot would end a later test's loop.
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(2); });
    guard.start(std::chrono::seconds(60));
    const int exitCode = QCoreApplication::exec();
    watch.stop();

    EXPECT_EQ(exitCode, 0) << "the program did not end";
    ASSERT_TRUE(closed);
    EXPECT_FALSE(Form().isVisible() || program->Form2.isVisible());
    EXPECT_FALSE(Scheduler().StopTimerActive());
    const bool kept = c.answer == Dialogs::Result::Cancel;
    EXPECT_EQ(messagesAtClose.contains(kStopQuestion), c.work == Work::Upload);
    if (kept) {
        EXPECT_EQ(requests(), 6);
        EXPECT_EQ(dialogs.messages.back(), QStringLiteral("送信完了: ") + kUploadCompleteMessage);
    } else {
        // Nothing after the question: no further request, no box.
        EXPECT_EQ(requests(), requestsAtClose);
        EXPECT_EQ(dialogs.messages, messagesAtClose);
    }
    if (c.work == Work::LocalScan) {
        EXPECT_EQ(Scheduler().PcLoadState(), LoadState::STOPED_PC);
        EXPECT_EQ(Local().PcListView->model()->rowCount(), 0) << "the scan went on after the close";
        EXPECT_LE(RecordedTraces().count(QStringLiteral("Stop Loading")), 2) << "the scan read on after the close";
    }
    if (c.work == Work::AlbumListing)
        EXPECT_EQ(Scheduler().AlbumLoadState(), LoadState::STOPED_ALBUM);

    // The settings were written at the close, and only then.
    EXPECT_TRUE(QFile::exists(IniFile()));
    QFile::remove(IniFile());
    Form().close();
    EXPECT_FALSE(QFile::exists(IniFile()));
}

INSTANTIATE_TEST_SUITE_P(
    Closes, ClosingTest,
    ::testing::Values(CloseCase{"UploadByTitleBar", Work::Upload, CloseBy::TitleBar},
                      CloseCase{"UploadByExit", Work::Upload, CloseBy::ExitCommand},
                      CloseCase{"UploadKeptByTitleBar", Work::Upload, CloseBy::TitleBar, Dialogs::Result::Cancel},
                      CloseCase{"UploadKeptByExit", Work::Upload, CloseBy::ExitCommand, Dialogs::Result::Cancel},
                      CloseCase{"AlbumListingByTitleBar", Work::AlbumListing, CloseBy::TitleBar},
                      CloseCase{"AlbumListingByExit", Work::AlbumListing, CloseBy::ExitCommand},
                      CloseCase{"LocalScanByTitleBar", Work::LocalScan, CloseBy::TitleBar},
                      CloseCase{"LocalScanByExit", Work::LocalScan, CloseBy::ExitCommand}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tovari::test
