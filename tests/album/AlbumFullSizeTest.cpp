#include "tests/album/AlbumTestSupport.h"

#include "platform/FileName.h"

#include <QCoreApplication>
#include <QItemSelectionModel>
#include <QMouseEvent>
#include <QScrollArea>
#include <unistd.h>

namespace tovari::test {
namespace {

class AlbumFullSizeTest : public AlbumPageTest {
protected:
    void SetUp() override
    {
        shop.SetFolderList(QStringLiteral("OK\r\n"));
        LogIn();
        QObject::connect(page.get(), &TAlbumPage::FullSizeRequested, [this] { ++fullSizeRequests; });
    }

    // Lists folder 1 with the given photos (id, name, full-size bytes); every thumbnail is fine.
    void ListPhotos(const std::vector<std::tuple<int, QString, QByteArray>>& photos)
    {
        QString reply;
        for (const auto& [id, name, bytes] : photos) {
            shop.SetThumbnail(id, {SolidJpeg(100, 75, Qt::gray)});
            shop.SetPhoto(id, {bytes});
            reply += PhotoLine(1, id, name);
        }
        shop.SetPhotoList(1, reply);
        List(1);
        ASSERT_EQ(Captions().size(), qsizetype(photos.size()));
    }

    void DoubleClickAt(const QPoint& pos, Qt::MouseButton button = Qt::LeftButton)
    {
        QWidget* viewport = page->AlbumListView->viewport();
        QMouseEvent event(QEvent::MouseButtonDblClick, QPointF(pos), QPointF(viewport->mapToGlobal(pos)), button,
                          button, Qt::NoModifier);
        QCoreApplication::sendEvent(viewport, &event);
    }

    void Select(std::initializer_list<int> rows)
    {
        QItemSelectionModel* selection = page->AlbumListView->selectionModel();
        selection->clearSelection();
        for (int row : rows)
            selection->select(page->AlbumListView->model()->index(row, 0), QItemSelectionModel::Select);
    }

    QSize Shown() const { return bigImageView.BigImage->pixmap().size(); }

    // Everything outside the cache folder that a name could reach: the entries beside it and in the folder
    // outside, and what the outside file holds.
    QStringList OutsideSnapshot() const
    {
        const auto all = QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System | QDir::Hidden;
        return QDir(sandbox.path()).entryList(all) + QDir(Outside()).entryList(all) +
               QStringList{QString::fromUtf8(ReadFileBytes(Outside() + QStringLiteral("/target.jpg")))};
    }

    int fullSizeRequests = 0;
};

TEST_F(AlbumFullSizeTest, DoubleClickShowsTheFirstSelectedPhotoAndKeepsNoFile)
{
    ListPhotos({{1, QStringLiteral("横.jpg"), SolidJpeg(300, 200, Qt::red)},
                {2, QStringLiteral("縦.jpg"), SolidJpeg(200, 300, Qt::green)},
                {3, QStringLiteral("正方形.bmp"), SolidJpeg(250, 250, Qt::darkCyan, "BMP")}});
    page->resize(800, 500);
    page->show();
    page->AlbumListView->resize(600, 400);
    QCoreApplication::processEvents();
    const QRect second = page->AlbumListView->visualRect(page->AlbumListView->model()->index(1, 0));

    // Nothing selected: the double click on empty space does nothing.
    Select({});
    DoubleClickAt(QPoint(590, 390));
    EXPECT_EQ(fullSizeRequests, 0);
    EXPECT_EQ(shop.Count("/wis/wi_image.php/s1?mode=big"), 0);

    // Several selected: the first of them, with the primary button only.
    Select({2, 1});
    DoubleClickAt(second.center(), Qt::RightButton);
    EXPECT_EQ(fullSizeRequests, 0);
    DoubleClickAt(second.center());
    EXPECT_EQ(fullSizeRequests, 1);
    EXPECT_EQ(Shown(), QSize(200, 300));
    EXPECT_EQ(shop.Count("/wis/wi_image.php/s1?mode=big&id=2"), 1);

    // Decoded by the name's extension, a bitmap as well as a JPEG.
    Select({2});
    page->AlbumListViewDblClick();
    EXPECT_EQ(Shown(), QSize(250, 250));
    EXPECT_TRUE(dialogs.messages.isEmpty());
    // Only the thumbnails stay in the cache folder.
    EXPECT_EQ(CacheFiles(), (QStringList{QStringLiteral("1.jpg"), QStringLiteral("2.jpg"), QStringLiteral("3.jpg")}));
}

// Failed requests give no message and leave no file; photos that do not decode give the message, and
// their file goes too. The view is empty rather than showing the photo shown before.
TEST_F(AlbumFullSizeTest, FailuresShowAnEmptyViewAndLeaveNoFile)
{
    ListPhotos({{1, QStringLiteral("ok.jpg"), SolidJpeg(120, 80, Qt::red)},
                {2, QStringLiteral("gone.jpg"), QByteArray()},
                {3, QStringLiteral("broken.jpg"), QByteArray("not a jpeg at all")},
                {4, QStringLiteral("拡張子なし"), SolidJpeg(10, 10, Qt::red)},
                {5, QStringLiteral("picture.png"), SolidJpeg(10, 10, Qt::red)},
                {6, QStringLiteral("failing.jpg"), SolidJpeg(10, 10, Qt::red)}});
    shop.SetPhoto(2, {QByteArray("missing"), 404});
    shop.SetPhoto(6, {SolidJpeg(10, 10, Qt::red), 200, 1});
    const struct {
        int item;
        bool message;
    } cases[] = {{1, false}, {2, true}, {3, true}, {4, true}, {5, false}};
    for (const auto& c : cases) {
        page->AlbumShowBigImage(0);
        ASSERT_EQ(Shown(), QSize(120, 80));
        dialogs.messages.clear();
        page->AlbumShowBigImage(c.item);
        EXPECT_TRUE(Shown().isEmpty()) << c.item;
        EXPECT_EQ(dialogs.messages, c.message ? QStringList{kAlbumFileErrorMessage} : QStringList()) << c.item;
        EXPECT_EQ(CacheFiles().size(), 6) << c.item << ": only the six thumbnails";
    }
    // The photo whose request failed once shows the next time.
    page->AlbumShowBigImage(5);
    EXPECT_EQ(Shown(), QSize(10, 10));
}

// A photo named like a thumbnail's cache file replaces that file and removes it; the thumbnail is
// fetched again at the next listing.
TEST_F(AlbumFullSizeTest, PhotoNamedLikeAThumbnailRemovesItAndItIsFetchedAgain)
{
    ListPhotos({{30, QStringLiteral("海.jpg"), SolidJpeg(40, 30, Qt::blue)},
                {31, QStringLiteral("30.jpg"), SolidJpeg(64, 48, Qt::red)}});
    page->AlbumShowBigImage(1);
    EXPECT_EQ(Shown(), QSize(64, 48));
    EXPECT_EQ(CacheFiles(), QStringList{QStringLiteral("31.jpg")});
    List(1);
    EXPECT_EQ(shop.ThumbnailRequests(30), 2);
    EXPECT_EQ(shop.ThumbnailRequests(31), 1);
    EXPECT_EQ(Captions().size(), 2);
}

// Names from the service never reach a path outside the cache folder, and a link inside it is never
// written through: each hostile name gets the message, and nothing is written anywhere. Which names are
// plain is the table below.
TEST_F(AlbumFullSizeTest, HostileNamesWriteNothing)
{
    WriteFile(Outside() + QStringLiteral("/target.jpg"), "keep me");
    ASSERT_EQ(::symlink(NativePath(Outside() + QStringLiteral("/target.jpg")).constData(),
                        NativePath(Cache() + QStringLiteral("/link.jpg")).constData()), 0);
    ASSERT_EQ(::symlink(NativePath(Outside() + QStringLiteral("/created.jpg")).constData(),
                        NativePath(Cache() + QStringLiteral("/dangling.jpg")).constData()), 0);
    const QStringList outsideBefore = OutsideSnapshot();
    const QStringList cacheBefore = CacheFiles();
    shop.SetPhoto(5, {SolidJpeg(20, 20, Qt::red)});

    const QString names[] = {
        QStringLiteral(".."),
        QStringLiteral("../outside/target.jpg"),
        Outside() + QStringLiteral("/absolute.jpg"),
        QStringLiteral("x") + QChar(0) + QStringLiteral("y.jpg"),
        QString(86, QChar(0x5199)) + QStringLiteral(".jpg"),  // 262 bytes in UTF-8
        QStringLiteral("link.jpg"),
        QStringLiteral("dangling.jpg"),
    };
    for (const QString& name : names) {
        SCOPED_TRACE(name.toStdString());
        dialogs.messages.clear();
        page->AlbumImages = {TAlbumImages{name, 5, 3}};
        page->AlbumShowBigImage(0);
        EXPECT_EQ(dialogs.messages, QStringList{kAlbumFileErrorMessage});
        EXPECT_EQ(OutsideSnapshot(), outsideBefore);
        EXPECT_EQ(CacheFiles(), cacheBefore);
        EXPECT_TRUE(Shown().isEmpty());
    }
    EXPECT_EQ(ReadFileBytes(Outside() + QStringLiteral("/target.jpg")), QByteArray("keep me"));
}

TEST(AlbumCacheNames, PlainNamesOnly)
{
    const std::pair<QString, bool> table[] = {
        {QStringLiteral("IMG_0001.jpg"), true},
        {QStringLiteral("海の家.jpg"), true},
        {QStringLiteral(".hidden.jpg"), true},
        {QStringLiteral("..jpg"), true},
        {QStringLiteral("a\\b.jpg"), true},
        {QString(85, QChar(0x5199)), true},
        {QString(86, QChar(0x5199)), false},
        {QString(255, QLatin1Char('a')), true},
        {QString(256, QLatin1Char('a')), false},
        {QString(), false},
        {QStringLiteral("."), false},
        {QStringLiteral(".."), false},
        {QStringLiteral("a/b"), false},
        {QStringLiteral("/"), false},
        {QStringLiteral("a\nb"), false},
        {QStringLiteral("a\x01" "b"), false},
        {QStringLiteral("tab\t"), false},
        {QStringLiteral("del\x7F"), false},
        {QStringLiteral("a") + QChar(0x85), false},
    };
    for (const auto& [name, plain] : table)
        EXPECT_EQ(IsPlainCacheFileName(name), plain) << name.toStdString();
}

}  // namespace
}  // namespace tovari::test
