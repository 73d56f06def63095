#include "tests/album/AlbumTestSupport.h"

#include "service/HttpClient.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTimer>

namespace tovari::test {
namespace {

// Records what the gauge goes through while a listing runs.
class GaugeWatch : public QObject {
public:
    explicit GaugeWatch(QProgressBar& gauge)
    {
        gauge.installEventFilter(this);
        QObject::connect(&gauge, &QProgressBar::valueChanged, this, [this](int v) { values.append(v); });
    }
    int shows = 0;
    int hides = 0;
    QList<int> values;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        shows += event->type() == QEvent::Show;
        hides += event->type() == QEvent::Hide;
        return false;
    }
};

class AlbumPhotoListTest : public AlbumPageTest {
protected:
    void SetUp() override
    {
        shop.SetFolderList(QStringLiteral("OK\r\n"));
        LogIn();
    }
    // A photo whose thumbnail is a solid square of the given colour.
    void AddPhoto(int id, QColor colour, int width = 100, int height = 75)
    {
        shop.SetThumbnail(id, {SolidJpeg(width, height, colour)});
    }
};

// Replies of one line or none show and hide the gauge once and leave it at zero; the list starts with
// the three pictures of the form, and a failed request after a listing leaves it empty without a word.
TEST_F(AlbumPhotoListTest, ShortRepliesShowTheGaugeAtZeroOnce)
{
    AddPhoto(17, Qt::red);
    const struct {
        const char* what;
        QString reply;
        QStringList captions;
    } cases[] = {
        {"empty reply", QString(), {}},
        {"a folder only", PhotoLine(2, 5, QStringLiteral("子フォルダ")), {}},
        {"one photo", PhotoLine(1, 17, QStringLiteral("a.jpg")), {QStringLiteral("a.jpg")}},
        {"failed request", QStringLiteral("NG"), {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        GaugeWatch watch(gauge);
        shop.SetPhotoList(7, c.reply);
        List(7);
        EXPECT_EQ(Captions(), c.captions);
        EXPECT_EQ(watch.shows, 1);
        EXPECT_EQ(watch.hides, 1);
        EXPECT_TRUE(watch.values.isEmpty() || watch.values == QList<int>{0}) << watch.values.size();
        EXPECT_EQ(gauge.value(), 0);
        EXPECT_FALSE(gauge.isVisible());
        EXPECT_EQ(state, LoadState::LOAD_COMP_ALBUM);
        ASSERT_EQ(page->AlbumImageList->Count(), 3 + c.captions.size());
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(page->AlbumImageList->Image(i).pixelColor(50, 50), formImages[i].pixelColor(50, 50));
    }
    EXPECT_TRUE(QFile::exists(Cache() + QStringLiteral("/17.jpg")));
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

// Skipped lines (other kinds, photos without a thumbnail) leave no gap: list item k shows caption,
// picture and full-size photo of one and the same reply line. The gauge follows every line, and each
// photo's thumbnail is asked for once.
TEST_F(AlbumPhotoListTest, ItemsPairWithTheirOwnLinesAcrossSkippedOnes)
{
    AddPhoto(21, Qt::red);
    AddPhoto(23, Qt::green);
    AddPhoto(24, Qt::blue);
    shop.SetPhotoList(1, PhotoLine(1, 21, QStringLiteral("赤.jpg")) + PhotoLine(2, 22, QStringLiteral("folder")) +
                             PhotoLine(1, 22, QStringLiteral("no-thumbnail.jpg")) + PhotoLine(1, 23, QStringLiteral("緑.jpg")) +
                             PhotoLine(0, 99, QStringLiteral("kind0")) + PhotoLine(1, 24, QStringLiteral("青.jpg")));
    GaugeWatch watch(gauge);
    List(1);
    EXPECT_EQ(Captions(), (QStringList{QStringLiteral("赤.jpg"), QStringLiteral("緑.jpg"), QStringLiteral("青.jpg")}));
    EXPECT_EQ(watch.values, (QList<int>{0, 20, 40, 60, 80, 100}));
    EXPECT_EQ(shop.Count("/wis/wi_image.php/s1?mode=small"), 4);
    const QColor colours[] = {Qt::red, Qt::green, Qt::blue};
    const int ids[] = {21, 23, 24};
    for (int k = 0; k < 3; ++k) {
        EXPECT_TRUE(Near(ItemColour(k), colours[k])) << k;
        EXPECT_EQ(page->AlbumImages[std::size_t(k)].Id, ids[k]);
        EXPECT_EQ(page->AlbumImages[std::size_t(k)].ImageIndex, 3 + k);
    }
    // One slot per reply line; those after the listed photos stay empty.
    ASSERT_EQ(page->AlbumImages.size(), 6u);
    EXPECT_TRUE(page->AlbumImages[3].Name.isEmpty());
    EXPECT_EQ(page->AlbumImages[5].Id, 0);
    // The photo without a thumbnail left no file behind that could pass for a cached one.
    EXPECT_FALSE(QFile::exists(Cache() + QStringLiteral("/22.jpg")));
}

TEST_F(AlbumPhotoListTest, MalformedLinesEndTheListingKeepingEarlierPhotos)
{
    AddPhoto(1, Qt::red);
    AddPhoto(2, Qt::green);
    // Which lines are bad is the protocol's own test.
    for (const QString& bad : {QStringLiteral("1<!--SEP-->02<!--SEP-->b.jpg"), QStringLiteral("1<!--SEP-->2")}) {
        shop.SetPhotoList(5, PhotoLine(1, 1, QStringLiteral("a.jpg")) + bad + "\r\n" + PhotoLine(1, 2, QStringLiteral("c.jpg")));
        List(5);
        EXPECT_EQ(Captions(), QStringList{QStringLiteral("a.jpg")}) << bad.toStdString();
        EXPECT_EQ(state, LoadState::LOAD_COMP_ALBUM);
        EXPECT_FALSE(gauge.isVisible());
    }
    EXPECT_EQ(shop.ThumbnailRequests(2), 0);
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

// An 80 x 60 thumbnail sits at (10, 20) on white; a 120 x 100 one is centred and cropped.
TEST_F(AlbumPhotoListTest, ThumbnailsAreCentredOnWhiteAndCropped)
{
    AddPhoto(1, Qt::black, 80, 60);
    AddPhoto(2, Qt::black, 120, 100);
    shop.SetPhotoList(1, PhotoLine(1, 1, QStringLiteral("small.jpg")) + PhotoLine(1, 2, QStringLiteral("wide.jpg")));
    List(1);
    ASSERT_EQ(Captions().size(), 2);
    const QImage small = page->AlbumImageList->Image(3);
    for (const auto& [x, y, white] : {std::tuple(9, 50, true), std::tuple(10, 50, false), std::tuple(89, 50, false),
                                      std::tuple(90, 50, true), std::tuple(50, 19, true), std::tuple(50, 20, false),
                                      std::tuple(50, 79, false), std::tuple(50, 80, true)})
        EXPECT_EQ(Near(small.pixelColor(x, y), Qt::white, 40), white) << x << "," << y;
    const QImage wide = page->AlbumImageList->Image(4);
    for (const auto& [x, y] : {std::pair(0, 0), std::pair(99, 99), std::pair(0, 50), std::pair(50, 0)})
        EXPECT_TRUE(Near(wide.pixelColor(x, y), Qt::black, 40)) << x << "," << y;
}

// A thumbnail request that fails, or a reply above the 4 MiB cap, leaves no file: the photo is left out now
// and asked for again at the next listing, which shows it once it comes. A thumbnail of exactly the cap (a
// picture followed by padding) is kept and shown.
TEST_F(AlbumPhotoListTest, FailedAndOversizedThumbnailsAreLeftOutWithoutAFile)
{
    const QByteArray picture = SolidJpeg(100, 75, Qt::red);
    auto padded = [&](qint64 size) { return picture + QByteArray(size - picture.size(), '\0'); };
    shop.SetThumbnail(5, {SolidJpeg(100, 75, Qt::green), 200, 1});
    shop.SetThumbnail(11, {padded(kMaxThumbnailReplyBytes + 1)});
    shop.SetThumbnail(12, {padded(kMaxThumbnailReplyBytes)});
    shop.SetPhotoList(2, PhotoLine(1, 5, QStringLiteral("a.jpg")) + PhotoLine(1, 11, QStringLiteral("over.jpg")) +
                             PhotoLine(1, 12, QStringLiteral("at.jpg")));
    List(2);
    EXPECT_EQ(Captions(), QStringList{QStringLiteral("at.jpg")});
    EXPECT_TRUE(Near(ItemColour(0), Qt::red));
    EXPECT_EQ(CacheFiles(), QStringList{QStringLiteral("12.jpg")});
    EXPECT_EQ(QFileInfo(Cache() + QStringLiteral("/12.jpg")).size(), kMaxThumbnailReplyBytes);
    List(2);
    EXPECT_EQ(Captions(), (QStringList{QStringLiteral("a.jpg"), QStringLiteral("at.jpg")}));
    EXPECT_TRUE(Near(ItemColour(0), Qt::green));
    EXPECT_EQ(shop.ThumbnailRequests(5), 2);
    EXPECT_EQ(shop.ThumbnailRequests(12), 1);
}

// A cached thumbnail that does not decode (empty, cut short) is fetched once more; when the fresh one
// does not decode either, only that photo is left out. A fetched one that does not decode is not asked
// for again in the same listing.
TEST_F(AlbumPhotoListTest, UndecodableCachedThumbnailsHealOrAreLeftOut)
{
    const QByteArray good = SolidJpeg(100, 75, Qt::blue);
    WriteFile(Cache() + QStringLiteral("/7.jpg"));
    WriteFile(Cache() + QStringLiteral("/8.jpg"), good.left(good.size() / 3));
    WriteFile(Cache() + QStringLiteral("/9.jpg"));
    AddPhoto(7, Qt::red);
    AddPhoto(8, Qt::green);
    shop.SetThumbnail(9, {QByteArray("not a jpeg")});
    shop.SetThumbnail(13, {QByteArray("not a jpeg")});
    AddPhoto(10, Qt::blue);
    shop.SetPhotoList(4, PhotoLine(1, 7, QStringLiteral("empty.jpg")) + PhotoLine(1, 8, QStringLiteral("cut.jpg")) +
                             PhotoLine(1, 9, QStringLiteral("broken.jpg")) + PhotoLine(1, 13, QStringLiteral("new.jpg")) +
                             PhotoLine(1, 13, QStringLiteral("new.jpg")) + PhotoLine(1, 10, QStringLiteral("after.jpg")));
    List(4);
    EXPECT_EQ(Captions(), (QStringList{QStringLiteral("empty.jpg"), QStringLiteral("cut.jpg"), QStringLiteral("after.jpg")}));
    EXPECT_TRUE(Near(ItemColour(0), Qt::red));
    EXPECT_TRUE(Near(ItemColour(1), Qt::green));
    EXPECT_EQ((std::vector{shop.ThumbnailRequests(7), shop.ThumbnailRequests(8), shop.ThumbnailRequests(9),
                           shop.ThumbnailRequests(13)}),
              std::vector(4, 1));
    EXPECT_FALSE(QFile::exists(Cache() + QStringLiteral("/9.jpg")));
    EXPECT_EQ(ReadFileBytes(Cache() + QStringLiteral("/7.jpg")), SolidJpeg(100, 75, Qt::red));
}

// A stop request that arrives while a listing pumps events skips the remaining lines at once.
TEST_F(AlbumPhotoListTest, StopRequestSkipsTheRemainingLines)
{
    QString reply;
    for (int id = 1; id <= 6; ++id) {
        AddPhoto(id, Qt::red);
        reply += PhotoLine(1, id, QStringLiteral("%1.jpg").arg(id));
    }
    shop.SetPhotoList(9, reply);
    RecordedTraces().clear();
    QTimer stopper;
    stopper.setInterval(0);
    QObject::connect(&stopper, &QTimer::timeout, [&] {
        if (page->AlbumListView->model()->rowCount() >= 2 && state == LoadState::NOW_LOADING_ALBUM)
            state = LoadState::DO_STOP_ALBUM;
    });
    stopper.start();
    List(9);
    const int listed = int(Captions().size());
    EXPECT_GE(listed, 2);
    EXPECT_LT(listed, 6);
    EXPECT_EQ(state, LoadState::STOPED_ALBUM);
    EXPECT_EQ(RecordedTraces().count(QStringLiteral("Stoping ALBUM Loading")), 6 - listed);
    EXPECT_EQ(shop.Count("/wis/wi_image.php/s1?mode=small"), listed);
}

}  // namespace
}  // namespace tovari::test
