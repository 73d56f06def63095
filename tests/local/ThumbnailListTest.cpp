#include "tests/app/ProgramFixture.h"

#include "platform/ImageList.h"

#include <QImage>
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>
#include <QTabBar>
#include <QTest>
#include <set>
#include <sys/stat.h>

namespace tovari::test {
namespace {

class ThumbnailListTest : public ProgramTest {
protected:
    void SetUp() override
    {
        ProgramTest::SetUp();
        Start();
        program->Form3.hide();
        Form().resize(800, 600);
        Form().show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&Form()));
    }
    TPcBrowser& Pc() { return Local().Pc(); }

    QString Picture(const QString& folder, const QString& name, QSize size, QColor colour)
    {
        QDir().mkpath(folder);
        QImage image(size, QImage::Format_RGB32);
        image.fill(colour);
        const QString path = folder + '/' + name;
        EXPECT_TRUE(image.save(path, "BMP"));
        return path;
    }

    QString PhotoFolder(const QString& name, int count)
    {
        const QString folder = sandbox.filePath(name);
        for (int i = 0; i < count; ++i)
            Picture(folder, QStringLiteral("p%1.bmp").arg(i, 3, 10, QChar('0')), QSize(40, 30),
                    QColor::fromHsv((i * 7) % 360, 200, 200));
        return folder;
    }

    void List(const QString& folder)
    {
        SelectPcFolder(folder);
        ASSERT_TRUE(WaitForListing());
        ASSERT_TRUE(WaitFor([&] { return Pc().HintEnd > 0 || Pc().PcImages.size() <= 1; }));
    }

    // Runs ticks until every item in the announced range has been tried.
    void DrawVisible()
    {
        for (int guard = 0; guard < 1000; ++guard) {
            bool pending = false;
            for (int i = Pc().HintStart; i <= Pc().HintEnd && std::size_t(i) < Pc().PcImages.size(); ++i)
                pending = pending || (Pc().PcImages[i].ImageIndex == -1 && !Pc().PcImages[i].ThumbTried);
            if (!pending)
                return;
            Pc().PcImageDrawTimerTimer();
        }
        FAIL() << "thumbnails never finished";
    }

    // Every entry with a picture owns exactly one slot, and no slot is shared.
    void ExpectSlotsConsistent()
    {
        std::set<int> usedSlots;
        for (std::size_t i = 0; i < Pc().PcImages.size(); ++i) {
            const TPcImages& e = Pc().PcImages[i];
            TImageListCache* slot = Pc().SlotCache.FindByItem(int(i));
            if (e.ImageIndex >= 0) {
                ASSERT_NE(slot, nullptr) << i;
                EXPECT_EQ(slot->ImageListIndex, e.ImageIndex) << i;
                EXPECT_TRUE(usedSlots.insert(e.ImageIndex).second) << i;
            } else {
                EXPECT_EQ(slot, nullptr) << i;
            }
        }
    }

    int WithThumbnail(int from, int to)
    {
        const auto first = Pc().PcImages.begin() + from;
        return int(std::count_if(first, first + (to - from + 1), [](const TPcImages& e) { return e.ImageIndex >= 0; }));
    }
};

// A picture's thumbnail is the picture fitted on white, and the list shows it. Files that do not decode
// are tried once and marked. A named pipe under a picture's name would block the window for good once
// opened: it is listed, never opened, and undecodable. A link to a picture is the picture.
TEST_F(ThumbnailListTest, ThumbnailsOfPicturesAndFilesThatDoNotDecode)
{
    const QString folder = sandbox.filePath(QStringLiteral("bad"));
    WriteFile(folder + QStringLiteral("/notes.jpg"), "this is text, not a photo");
    WriteFile(folder + QStringLiteral("/readme.txt"), "no decoder for this");
    Picture(folder, QStringLiteral("good.bmp"), QSize(400, 200), Qt::red);
    ASSERT_TRUE(QFile::link(folder + QStringLiteral("/good.bmp"), folder + QStringLiteral("/link.bmp")));
    ASSERT_EQ(::mkfifo(QFile::encodeName(folder + QStringLiteral("/x.jpg")).constData(), 0600), 0);
    List(folder);
    DrawVisible();
    ASSERT_EQ(Pc().PcImages.size(), 5u);
    for (const TPcImages& e : Pc().PcImages) {
        const bool picture = e.FileName.endsWith(QStringLiteral(".bmp"));
        EXPECT_TRUE(e.ThumbTried) << e.FileName.toStdString();
        EXPECT_EQ(e.Loadable, picture) << e.FileName.toStdString();
        EXPECT_EQ(e.ImageIndex >= 0, picture) << e.FileName.toStdString();
    }
    EXPECT_EQ(Pc().SlotCache.SlotCount(), 2);
    Pc().PcImageDrawTimerTimer();
    EXPECT_EQ(Pc().SlotCache.SlotCount(), 2);
    EXPECT_FALSE(Pc().ThumbDrawing);

    // 400 x 200 becomes 100 x 50 with 25 white rows above and below.
    const QImage cell = Pc().PcImageList()->Image(Pc().PcImages[0].ImageIndex);
    ASSERT_EQ(cell.size(), QSize(100, 100));
    EXPECT_EQ(cell.pixelColor(50, 25), QColor(Qt::red));
    EXPECT_EQ(cell.pixelColor(50, 24), QColor(Qt::white));
    const QVariant decoration = Pc().Model()->index(0, 0).data(Qt::DecorationRole);
    EXPECT_EQ(decoration.value<QPixmap>().toImage().pixelColor(50, 50), QColor(Qt::red));
}

TEST_F(ThumbnailListTest, NothingIsDrawnWhileAnotherTabIsCurrent)
{
    List(PhotoFolder(QStringLiteral("tabs"), 5));
    Tabs().setCurrentIndex(2);
    for (int i = 0; i < 10; ++i)
        Pc().PcImageDrawTimerTimer();
    EXPECT_EQ(Pc().SlotCache.SlotCount(), 0);
    Tabs().setCurrentIndex(0);
    // The real timer carries on once the local view is back.
    EXPECT_TRUE(WaitFor([&] { return Pc().SlotCache.SlotCount() == 5; }));
}

TEST_F(ThumbnailListTest, ScrollingReusesTheOldestOffScreenSlotsAndRedrawsOnReturn)
{
    List(PhotoFolder(QStringLiteral("many"), 200));
    Local().PcImageDrawTimer.stop();  // ticks are driven by the test from here on
    const int firstPageEnd = Pc().HintEnd;
    ASSERT_GT(firstPageEnd, 5);
    ASSERT_LT(firstPageEnd, 79) << "the window shows too many items for this test";
    DrawVisible();

    QScrollBar* bar = Local().PcListView->verticalScrollBar();
    while (bar->value() < bar->maximum()) {
        bar->setValue(std::min(bar->maximum(), bar->value() + bar->pageStep()));
        DrawVisible();
        ASSERT_LE(Pc().SlotCache.SlotCount(), 80);
        ExpectSlotsConsistent();
    }
    EXPECT_EQ(Pc().SlotCache.SlotCount(), 80);
    EXPECT_EQ(Pc().PcImageList()->Count(), 80);
    // The first page was drawn first, so it went first; the last page is all there.
    EXPECT_EQ(WithThumbnail(0, firstPageEnd), 0);
    EXPECT_EQ(WithThumbnail(Pc().HintStart, Pc().HintEnd), Pc().HintEnd - Pc().HintStart + 1);
    for (int i = 0; i <= firstPageEnd; ++i)
        EXPECT_FALSE(Pc().PcImages[std::size_t(i)].ThumbTried) << i;

    bar->setValue(0);
    DrawVisible();
    EXPECT_EQ(WithThumbnail(0, firstPageEnd), firstPageEnd + 1);
    EXPECT_EQ(Pc().SlotCache.SlotCount(), 80);
    ExpectSlotsConsistent();
}

TEST_F(ThumbnailListTest, AllSlotsOnScreenHoldsMoreRatherThanLeaveItemsBlank)
{
    List(PhotoFolder(QStringLiteral("wall"), 120));
    Local().PcImageDrawTimer.stop();
    // A list that claims every item is on screen, as a very large window would.
    Pc().PcListViewDataHint(0, 119);
    DrawVisible();
    EXPECT_EQ(WithThumbnail(0, 119), 120);
    EXPECT_EQ(Pc().SlotCache.SlotCount(), 120);
    ExpectSlotsConsistent();
}

class FullSizeViewTest : public ThumbnailListTest {};

TEST_F(FullSizeViewTest, FirstSelectedOpensAtNaturalSizeFromTheTopLeftAndReturnsToTheList)
{
    const QString folder = sandbox.filePath(QStringLiteral("big"));
    Picture(folder, QStringLiteral("a_large.bmp"), QSize(3000, 2000), Qt::darkGreen);
    const QString yellow = Picture(sandbox.path(), QStringLiteral("yellow.bmp"), QSize(50, 40), Qt::yellow);
    ASSERT_TRUE(QFile::link(yellow, folder + QStringLiteral("/b_small.bmp")));
    const QString gone = Picture(folder, QStringLiteral("c_gone.bmp"), QSize(30, 20), Qt::blue);
    WriteFile(folder + QStringLiteral("/d.jpg"), "not a photo");
    List(folder);
    DrawVisible();
    TVirtualListView* list = Local().PcListView;
    auto select = [&](std::initializer_list<int> rows) {
        list->clearSelection();
        for (int row : rows)
            list->selectionModel()->select(list->model()->index(row, 0), QItemSelectionModel::Select);
    };
    QLabel* photo = BigImages().BigImage;

    select({0});
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(list->model()->index(0, 0)).center());
    EXPECT_EQ(Tabs().currentIndex(), 2);
    EXPECT_TRUE(BigImages().isVisible());
    EXPECT_EQ(photo->size(), QSize(3000, 2000));
    EXPECT_EQ(photo->pos(), QPoint(0, 0));
    QScrollArea* box = BigImages().ScrollBox1;
    ASSERT_TRUE(WaitFor([&] { return box->horizontalScrollBar()->maximum() > 0; }));
    EXPECT_GT(box->verticalScrollBar()->maximum(), 0);
    box->horizontalScrollBar()->setValue(box->horizontalScrollBar()->maximum());
    box->verticalScrollBar()->setValue(box->verticalScrollBar()->maximum());

    // Back to the list with a double click on the photo, focus in the list.
    QTest::mouseDClick(photo, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(Tabs().currentIndex(), 0);
    EXPECT_TRUE(Local().isVisible());
    EXPECT_TRUE(WaitFor([&] { return list->hasFocus(); }));

    // With two selected, the one first in the list opens, whichever was clicked; a link opens as its
    // picture, at the top-left again, small and not centred.
    select({2, 1});
    Pc().PcListViewDblClick();
    EXPECT_EQ(photo->size(), QSize(50, 40));
    EXPECT_EQ(photo->pos(), QPoint(0, 0));
    EXPECT_EQ(box->horizontalScrollBar()->value(), 0);
    EXPECT_EQ(box->verticalScrollBar()->value(), 0);
    EXPECT_EQ(photo->pixmap().toImage().pixelColor(10, 10), QColor(Qt::yellow));

    // A double click beside the photo also returns.
    QTest::mouseDClick(box->viewport(), Qt::LeftButton, {}, QPoint(300, 300));
    EXPECT_EQ(Tabs().currentIndex(), 0);

    // A file gone since the listing leaves the picture shown before.
    QFile::remove(gone);
    Pc().PcShowBigImage(2);
    EXPECT_EQ(Tabs().currentIndex(), 2);
    EXPECT_EQ(photo->pixmap().toImage().pixelColor(10, 10), QColor(Qt::yellow));

    // An undecodable entry, or nothing selected, opens nothing.
    Tabs().setCurrentIndex(0);
    for (const auto& rows : {std::initializer_list<int>{3}, std::initializer_list<int>{}}) {
        select(rows);
        Pc().PcListViewDblClick();
        EXPECT_EQ(Tabs().currentIndex(), 0);
    }
}

}  // namespace
}  // namespace tovari::test
