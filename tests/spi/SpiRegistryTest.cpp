#include "platform/FileName.h"
#include "spi/SPIBmp.h"
#include "spi/SPIs.h"
#include "tests/common/TestSupport.h"
#include "tests/spi/SpiTestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace tovari {
namespace {

using test::FakeLibrary;
using test::FakePlugin;
using test::Names;

class SpiRegistry : public ::testing::Test {
protected:
    QTemporaryDir dir;
    FakeLibrary library;
    TPictureFormats formats{false};
};

TEST_F(SpiRegistry, OnlyOneLivesAtATime)
{
    auto first = std::make_unique<TSPIs>(library, nullptr, formats);
    EXPECT_EQ(TSPIs::GetSPIs(), first.get());
    EXPECT_EQ(test::Thrown([&] { TSPIs second(library, nullptr, formats); }),
              QStringLiteral("TSPIs は複数生成できません"));
    EXPECT_EQ(TSPIs::GetSPIs(), first.get());
    EXPECT_EQ(std::tuple(first->MacBinary, first->GraphicPreview, first->SearchOptions),
              std::tuple(true, false, unsigned(spsSusieDir | spsAppDir)));
    FakePlugin a = test::ImportPlugin();
    first->Add(CreateSPI(library, library.AddFile(dir.filePath("a.spi"), a)));
    first.reset();
    EXPECT_EQ(TSPIs::GetSPIs(), nullptr);
    EXPECT_EQ(library.OpenReferences(dir.filePath("a.spi")), 0);
    TSPIs again(library, nullptr, formats);
    EXPECT_EQ(again.Count(), 0);
}

TEST_F(SpiRegistry, SearchTakesRegularMatchingFilesInNameOrder)
{
    FakePlugin plugin = test::ImportPlugin();
    const QString folder = dir.filePath("plugins");
    for (const char* name : {"b.spi", "a.spi", "C.SPI", "c.spi", ".hidden.spi", "other.dll"})
        library.AddFile(folder + "/" + name, plugin);
    // A link to a plug-in counts as a file; a folder and a pipe with the name never get opened.
    const QString target = test::WriteFile(dir.filePath("elsewhere/real.spi"), "plug-in");
    ASSERT_TRUE(QFile::link(target, folder + "/d.spi"));
    library.Add(folder + "/d.spi", plugin);
    QDir().mkpath(folder + "/folder.spi");
    ASSERT_EQ(mkfifo(NativePath(folder + "/pipe.spi").constData(), 0600), 0);

    TSPIs spis(library, nullptr, formats);
    spis.SearchOptions = 0;
    QStringList seen;
    spis.OnSearching = [&](TSPIs& sender, const QString& path, bool&) {
        EXPECT_EQ(&sender, &spis);
        seen.append(QDir(path).dirName());
        EXPECT_EQ(path, folder + "/" + seen.last());
    };
    spis.Search(folder + "/*.spi");
    EXPECT_EQ(seen, QStringList({"a.spi", "b.spi", "C.SPI", "c.spi", "d.spi"}));
    EXPECT_EQ(Names(spis), seen);

    // The same folder again adds nothing, whatever the letter case of the mask.
    spis.Search(folder + "/*.SPI");
    EXPECT_EQ(spis.Count(), 5);
    EXPECT_EQ(library.OpenCount(folder + "/a.spi"), 2);  // probe and plug-in, once
    EXPECT_EQ(spis.IndexOf(folder + "/B.SPI"), 1);
    EXPECT_EQ(spis.IndexOf(folder + "/C.SPI"), 2);
    EXPECT_EQ(spis.IndexOf(folder + "/none.spi"), -1);

    // A folder that does not exist adds nothing and raises nothing.
    spis.Search(dir.filePath("missing") + "/*.spi");
    EXPECT_EQ(spis.Count(), 5);
}

TEST_F(SpiRegistry, BareMaskVisitsTheOptionFoldersOnceEach)
{
    FakePlugin plugin = test::ImportPlugin();
    const QString shared = dir.filePath("shared"), current = dir.filePath("current");
    for (const QString& path : {shared + "/a.spi", shared + "/b.spi", current + "/c.spi"})
        library.AddFile(path, plugin);
    struct Case {
        TSPISearchOptions options;
        QStringList expected;
    };
    const Case cases[] = {
        {spsSusieDir | spsAppDir, {"a.spi", "b.spi"}},
        {spsCurrentDir, {"c.spi"}},
        {spsCurrentDir | spsAppDir, {"a.spi", "b.spi", "c.spi"}},
        {spsSystemDir | spsWindowsDir, {}},
        {0, {}},
    };
    for (const Case& k : cases) {
        TSPIs spis(library, nullptr, formats);
        spis.SearchOptions = k.options;
        QStringList visited;
        auto folder = [&](const char* name, const QString& path) {
            return [&visited, name, path] {
                visited.append(QString::fromLatin1(name));
                return path;
            };
        };
        // The viewer's folder and the program's folder are one here, written once without the slash.
        spis.SearchFolders.SusieDir = folder("susie", shared + "/");
        spis.SearchFolders.AppDir = folder("app", shared);
        spis.SearchFolders.CurrentDir = folder("current", current);
        spis.SearchFolders.SystemDir = folder("system", QString());
        spis.SearchFolders.WindowsDir = folder("windows", QString());
        spis.Search("*.spi");
        EXPECT_EQ(Names(spis), k.expected) << k.options;
        // A mask with a folder part ignores the options altogether.
        visited.clear();
        spis.Search(current + "/*.spi");
        EXPECT_TRUE(visited.isEmpty()) << k.options;
        EXPECT_GE(spis.IndexOf(current + "/c.spi"), 0);
    }
    // The platform's folders: the viewer's, system and Windows folders read nothing.
    const TSPISearchFolders p = TSPISearchFolders::Platform();
    EXPECT_EQ(QStringList({p.SusieDir(), p.AppDir(), p.CurrentDir(), p.SystemDir(), p.WindowsDir()}),
              QStringList({QString(), QCoreApplication::applicationDirPath(), QDir::currentPath(), QString(), QString()}));
}

TEST_F(SpiRegistry, HandlersVetoAndFailuresEndOrSkip)
{
    FakePlugin a = test::ImportPlugin(), b = test::ImportPlugin(), c = test::ImportPlugin(), d = test::ImportPlugin();
    const QString folder = dir.filePath("p");
    library.AddFile(folder + "/a.spi", a);
    library.AddFile(folder + "/b.spi", b);
    library.AddFile(folder + "/c.spi", c);
    library.AddFile(folder + "/d.spi", d);
    {
        // OnSearching keeps b from being opened; OnSearch destroys c again; an OnSearch error drops d only.
        TSPIs spis(library, nullptr, formats);
        spis.OnSearching = [](TSPIs&, const QString& path, bool& accept) { accept = !path.endsWith("b.spi"); };
        spis.OnSearch = [](TSPIs&, TSPI& spi, bool& accept) {
            if (spi.FileName().endsWith("d.spi"))
                throw std::runtime_error("refused");
            accept = !spi.FileName().endsWith("c.spi");
        };
        spis.Search(folder + "/*.spi");
        EXPECT_EQ(Names(spis), QStringList({"a.spi"}));
        EXPECT_EQ(library.OpenCount(folder + "/b.spi"), 0);
        EXPECT_EQ(library.OpenReferences(folder + "/c.spi"), 0);
        EXPECT_EQ(library.OpenReferences(folder + "/d.spi"), 0);
    }
    {
        // An OnSearching error ends the search as well.
        TSPIs spis(library, nullptr, formats);
        spis.OnSearching = [](TSPIs&, const QString& path, bool&) {
            if (path.endsWith("b.spi"))
                throw std::runtime_error("stop");
        };
        EXPECT_THROW(spis.Search(folder + "/*.spi"), std::runtime_error);
        EXPECT_EQ(Names(spis), QStringList({"a.spi"}));
    }
    {
        // A registration error drops that plug-in and goes on.
        TSPIs spis(library, nullptr, formats);
        TSPIs::SetGraphicClass(TGraphicClass::Of<TBitmap>());
        b.infos[2] = "*.";
        spis.Search(folder + "/*.spi");
        TSPIs::SetGraphicClass(std::nullopt);
        b.infos[2] = "*.pic";
        EXPECT_EQ(Names(spis), QStringList({"a.spi", "c.spi", "d.spi"}));
        EXPECT_EQ(library.OpenReferences(folder + "/b.spi"), 0);
    }
}

TEST_F(SpiRegistry, PatternsRegisterLastToFirstWithTheHandlersChoice)
{
    // An empty pattern (the list ending in ";") registers nothing and does not drop the plug-in.
    FakePlugin jpeg = test::ImportPlugin({"*.jpg;*.jpeg;*.jpe", "JPEG", "*.tar.gz", "Archive", "pcx;", "PCX"});
    FakePlugin archive = test::ImportPlugin({"*.lzh", "LHA"});
    archive.infos[0] = "00AM";
    archive.exports.insert({"GetArchiveInfo", "GetFileInfo", "GetFile"});
    const QString jpegPath = library.AddFile(dir.filePath("jpeg.spi"), jpeg);
    const QString archivePath = library.AddFile(dir.filePath("archive.spi"), archive);
    TSPIBitmapRegistration registration(formats);

    struct Case {
        const char* vetoed;  // the extension whose handler sets the class to none
        QStringList registered;
    };
    const Case cases[] = {
        {"", {"jpe", "jpeg", "jpg", "tar.gz", "pcx"}},
        {"jpe", {"tar.gz", "pcx"}},
        {"jpeg", {"jpe", "tar.gz", "pcx"}},
        {"tar.gz", {"jpe", "jpeg", "jpg", "pcx"}},
    };
    for (const Case& k : cases) {
        TPictureFormats local(false);
        TSPIs spis(library, nullptr, local);
        QStringList asked;
        spis.OnPictureRegister = [&](TSPIs&, TInSPI&, const QString& extension, const QString& description,
                                     std::optional<TGraphicClass>& graphicClass) {
            asked.append(extension + "=" + description);
            if (extension == QLatin1String(k.vetoed))
                graphicClass.reset();
        };
        spis.Add(CreateSPI(library, jpegPath));
        spis.Add(CreateSPI(library, archivePath));
        EXPECT_EQ(asked, QStringList({"jpe=JPEG", "jpeg=JPEG", "jpg=JPEG", "tar.gz=Archive", "pcx=PCX"})) << k.vetoed;
        QStringList registered;
        for (const TFileFormat& f : local.Formats()) {
            registered.append(f.Extension);
            EXPECT_TRUE(f.GraphicClass == TGraphicClass::Of<TSPIBitmap>());
        }
        EXPECT_EQ(registered, k.registered) << k.vetoed;
        EXPECT_EQ(spis.Count(), 2);
    }
}

TEST_F(SpiRegistry, TrialOrderPutsClaimingPluginsFirstNewestFirst)
{
    FakePlugin a = test::ImportPlugin({"*.pic", "A"}), b = test::ImportPlugin({"*.bmp", "B"}),
               c = test::ImportPlugin({"*.pic;*.pcx", "C", "*.PIC;*.x", "C2", "*.abc;", "C3"}),
               archive = test::ImportPlugin({"*.pic", "Archive"});
    archive.infos[0] = "00AM";
    archive.exports.insert({"GetArchiveInfo", "GetFileInfo", "GetFile"});
    TSPIs spis(library, nullptr, formats);
    spis.Add(CreateSPI(library, library.AddFile(dir.filePath("a.spi"), a)));
    spis.Add(CreateSPI(library, library.AddFile(dir.filePath("archive.spi"), archive)));
    spis.Add(CreateSPI(library, library.AddFile(dir.filePath("b.spi"), b)));
    spis.Add(CreateSPI(library, library.AddFile(dir.filePath("c.spi"), c)));
    struct Case {
        const char* name;
        QStringList order;
    };
    // Only the last pattern of an entry counts, empty ones aside: c claims pcx, x and abc, not pic.
    const Case cases[] = {
        {"photo.pic", {"a.spi", "b.spi", "c.spi"}},
        {"/dir.x/photo.X", {"c.spi", "a.spi", "b.spi"}},
        {"photo.pcx", {"c.spi", "a.spi", "b.spi"}},
        {"photo.abc", {"c.spi", "a.spi", "b.spi"}},
        {"photo", {"a.spi", "b.spi", "c.spi"}},
        {"/dir.pic/photo", {"a.spi", "b.spi", "c.spi"}},
        {".BMP", {"b.spi", "a.spi", "c.spi"}},
    };
    auto order = [&](const char* name, TSPIClass kind = &SPIClass<TInSPI>) {
        std::vector<TSPI*> found;
        spis.FindSPIs({kind}, name, found);
        return Names(found);
    };
    for (const Case& k : cases)
        EXPECT_EQ(order(k.name), k.order) << k.name;
    // Two claiming plug-ins: the newer first.
    c.infos[4] = "*.pic";
    spis.Delete(3);
    spis.Add(CreateSPI(library, dir.filePath("c.spi")));
    EXPECT_EQ(order("photo.pic"), QStringList({"c.spi", "a.spi", "b.spi"}));
    // Every kind is offered when asked for.
    EXPECT_EQ(order("photo.pic", &SPIClass<TSPI>), QStringList({"c.spi", "archive.spi", "a.spi", "b.spi"}));
    spis.Clear();
    EXPECT_EQ(spis.Count(), 0);
}

}  // namespace
}  // namespace tovari
