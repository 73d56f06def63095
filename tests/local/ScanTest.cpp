#include "tests/local/LocalPageFixture.h"

#include "platform/FileName.h"
#include "platform/ImageList.h"

#include <QPointer>
#include <QProgressBar>
#include <unistd.h>

namespace tovari::test {
namespace {

class ScanTest : public LocalPageTest {
protected:
    // Runs one scan the way the timer does and checks that it leaves nothing busy behind.
    void Scan(const QString& folder)
    {
        SelectPcFolder(folder);
        ASSERT_TRUE(WaitForListing());
        EXPECT_EQ(scheduler.PcLoadState(), LoadState::STOPED_PC);
        EXPECT_FALSE(gauge->isVisible());
        EXPECT_FALSE(page->PcListView->testAttribute(Qt::WA_SetCursor));
        EXPECT_TRUE(page->PcImageDrawTimer.isActive());
    }
};

TEST_F(ScanTest, ListsFilesOfAnyKindInNameOrderAndLeavesOutFoldersAndHiddenFiles)
{
    const QString folder = MakeFolder(QStringLiteral("mixed"),
                                      {QStringLiteral("b.JPG"), QStringLiteral("A.txt"), QStringLiteral("c.jpeg"),
                                       QStringLiteral(".hidden.jpg"), QStringLiteral("sub/inner.jpg"),
                                       QStringLiteral(".hiddendir/x.jpg"), QStringLiteral("写真.bmp")});
    const QString outside = MakeFolder(QStringLiteral("elsewhere"), {QStringLiteral("target.jpg")});
    ASSERT_EQ(::symlink(NativePath(outside).constData(), NativePath(folder + "/linkdir").constData()), 0);
    ASSERT_EQ(::symlink(NativePath(outside + "/target.jpg").constData(), NativePath(folder + "/link.jpg").constData()), 0);

    Scan(folder);
    const QStringList expected{QStringLiteral("A.txt"), QStringLiteral("b.JPG"), QStringLiteral("c.jpeg"),
                               QStringLiteral("link.jpg"), QStringLiteral("写真.bmp")};
    EXPECT_EQ(ListedCaptions(), expected);
    ASSERT_EQ(pc.PcImages.size(), std::size_t(expected.size()));
    for (const TPcImages& e : pc.PcImages) {
        EXPECT_EQ(e.FolderPath, folder);
        EXPECT_EQ(e.ImageIndex, -1);
        EXPECT_TRUE(e.Loadable);
        EXPECT_FALSE(e.ThumbTried);
    }
    // Three files or more bring the gauge to its end.
    EXPECT_EQ(gauge->value(), 100);
    // The list asks for items by index; one outside the listing is left alone.
    ListItemData item{QStringLiteral("untouched"), 7};
    pc.PcListViewData(5, item);
    EXPECT_EQ(std::pair(item.Caption, item.ImageIndex), std::pair(QStringLiteral("untouched"), 7));
    pc.PcListViewData(4, item);
    EXPECT_EQ(std::pair(item.Caption, item.ImageIndex), std::pair(QStringLiteral("写真.bmp"), -1));
}

TEST_F(ScanTest, EmptyAndUnreadableFoldersGiveAnEmptyList)
{
    Scan(MakeFolder(QStringLiteral("full"), {QStringLiteral("x.jpg")}));
    ASSERT_EQ(ListedCaptions(), QStringList{QStringLiteral("x.jpg")});
    // One file leaves the gauge at zero.
    EXPECT_EQ(gauge->value(), 0);

    const QString emptyFolder = MakeFolder(QStringLiteral("empty/onlysub/deeper"));
    Scan(sandbox.filePath(QStringLiteral("empty")));
    EXPECT_TRUE(ListedCaptions().isEmpty());
    EXPECT_TRUE(pc.PcImages.empty());

    // A folder that vanished after it was chosen reads as empty.
    const QString vanishing = MakeFolder(QStringLiteral("vanishing"), {QStringLiteral("v.jpg")});
    SelectPcFolder(vanishing);
    QDir(vanishing).removeRecursively();
    ASSERT_TRUE(WaitForListing());
    EXPECT_TRUE(ListedCaptions().isEmpty());
    EXPECT_EQ(scheduler.PcLoadState(), LoadState::STOPED_PC);
    EXPECT_FALSE(gauge->isVisible());
}

TEST_F(ScanTest, ImageListIsReplacedOnlyAfterAListingWithEntries)
{
    Scan(MakeFolder(QStringLiteral("first"), {QStringLiteral("1.jpg")}));
    QPointer<TImageList> afterFirst = pc.PcImageList();
    Scan(MakeFolder(QStringLiteral("nothing")));
    // The previous listing had entries: a new list, and the old one is gone rather than kept.
    EXPECT_TRUE(afterFirst.isNull());
    QPointer<TImageList> afterEmpty = pc.PcImageList();
    Scan(MakeFolder(QStringLiteral("again"), {QStringLiteral("2.jpg")}));
    EXPECT_EQ(pc.PcImageList(), afterEmpty.data());
    EXPECT_EQ(page->PcListView->model(), pc.Model());
}

TEST_F(ScanTest, NamesThatAreNotUtf8AreListedAndOpenAsTheSameFile)
{
    const QString folder = MakeFolder(QStringLiteral("raw"));
    const QByteArray rawName = QByteArray("\x8e\xca\x90\x5e") + ".jpg";  // CP932 bytes, not UTF-8
    const QByteArray path = NativePath(folder) + '/' + rawName;
    const NativeFileRemover remover(FromNativePath(path));
    FILE* f = std::fopen(path.constData(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs("raw bytes", f);
    std::fclose(f);

    Scan(folder);
    ASSERT_EQ(pc.PcImages.size(), 1u);
    const TPcImages& entry = pc.PcImages[0];
    EXPECT_EQ(NativePath(entry.FileName), rawName);
    QFile file;
    ASSERT_TRUE(OpenNativeFile(file, entry.FolderPath + '/' + entry.FileName, QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("raw bytes"));
}

}  // namespace
}  // namespace tovari::test
