#include "spi/SPIs.h"
#include "tests/common/TestSupport.h"
#include "tests/spi/SpiTestSupport.h"

#include <QDir>
#include <QTemporaryDir>
#include <cstring>
#include <gtest/gtest.h>

namespace tovari {
namespace {

using test::FakeLibrary;
using test::FakePlugin;

const QString kPath = QStringLiteral("/plugins/fake.spi");

TEST(SpiBinding, KindFollowsTheVersionTextExactly)
{
    struct Case {
        const char* version;  // nullptr: the plug-in has no text under number 0
        const char* kind;
        bool enabled;
    };
    const Case cases[] = {
        {"00IN", "in", true},   {"00AM", "am", true},    {"00XN", "xn", false}, {"00in", "plain", false},
        {"00INX", "plain", false}, {"", "plain", false}, {nullptr, "plain", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.version ? c.version : "(none)");
        FakeLibrary library;
        FakePlugin plugin = test::ImportPlugin();
        plugin.exports.insert({"GetArchiveInfo", "GetFileInfo", "GetFile"});
        plugin.infos.remove(0);
        if (c.version)
            plugin.infos[0] = c.version;
        library.Add(kPath, plugin);
        std::unique_ptr<TSPI> spi = CreateSPI(library, kPath);
        ASSERT_TRUE(spi);
        const char* kind = dynamic_cast<TInSPI*>(spi.get())   ? "in"
                           : dynamic_cast<TAmSPI*>(spi.get()) ? "am"
                           : dynamic_cast<TXnSPI*>(spi.get()) ? "xn"
                                                              : "plain";
        EXPECT_EQ(std::tuple(QString::fromLatin1(kind), spi->Enabled(), spi->APIVersion()),
                  std::tuple(QString::fromLatin1(c.kind), c.enabled, QString::fromLatin1(c.version ? c.version : "")));
        // The probe's reference is closed; the result keeps exactly one.
        EXPECT_EQ(std::pair(library.OpenCount(kPath), library.OpenReferences(kPath)), std::pair(2, 1));
        spi.reset();
        EXPECT_EQ(library.OpenReferences(kPath), 0);
    }
}

TEST(SpiBinding, MissingEntryPointsNameTheFirstOneTheKindNeeds)
{
    struct Case {
        const char* version;
        std::set<std::string> exports;
        const char* missing;
    };
    const Case cases[] = {
        {"00IN", {"IsSupported", "GetPictureInfo", "GetPicture"}, "GetPluginInfo"},
        {"00IN", {"GetPluginInfo", "GetPictureInfo", "GetPicture"}, "IsSupported"},
        {"00IN", {"GetPluginInfo", "IsSupported", "GetPicture"}, "GetPictureInfo"},
        {"00IN", {"GetPluginInfo", "IsSupported", "GetPictureInfo"}, "GetPicture"},
        {"00AM", {"GetPluginInfo", "IsSupported", "GetFileInfo", "GetFile"}, "GetArchiveInfo"},
        {"00AM", {"GetPluginInfo", "IsSupported", "GetArchiveInfo", "GetFile"}, "GetFileInfo"},
        {"00AM", {"GetPluginInfo", "IsSupported", "GetArchiveInfo", "GetFileInfo"}, "GetFile"},
        {"00AM", {"GetPluginInfo", "GetArchiveInfo", "GetFileInfo", "GetFile"}, "IsSupported"},
    };
    for (const Case& c : cases) {
        FakeLibrary library;
        FakePlugin plugin = test::ImportPlugin();
        plugin.infos[0] = c.version;
        plugin.exports = c.exports;
        library.Add(kPath, plugin);
        EXPECT_EQ(test::Thrown<ESPIInvalidAPI>([&] { CreateSPI(library, kPath); }),
                  QStringLiteral("%1は[%2]では使えないSusie Plugin APIです").arg(c.missing, kPath));
        EXPECT_EQ(library.OpenReferences(kPath), 0) << c.missing;
    }
}

TEST(SpiBinding, InformationPairsStopAtTheFirstGap)
{
    struct Case {
        QMap<int, QByteArray> infos;
        QStringList extensions;
        QStringList descriptions;
    };
    const Case cases[] = {
        {{{2, "*.a"}, {3, "A"}, {4, "*.b"}}, {"*.a"}, {"A"}},
        {{{2, "*.a"}, {3, "A"}, {4, "*.b"}, {5, "B"}, {7, "D"}}, {"*.a", "*.b"}, {"A", "B"}},
        {{{3, "A"}}, {}, {}},
    };
    for (const Case& c : cases) {
        FakeLibrary library;
        FakePlugin plugin;
        plugin.infos = c.infos;
        plugin.infos[0] = "00IN";
        plugin.infos[1] = "Name 1.0";
        library.Add(kPath, plugin);
        std::unique_ptr<TSPI> spi = CreateSPI(library, kPath);
        EXPECT_EQ(spi->PluginName(), QStringLiteral("Name 1.0"));
        EXPECT_EQ(std::pair(spi->Extensions(), spi->Descriptions()), std::pair(c.extensions, c.descriptions));
    }
}

TEST(SpiBinding, TextsAreReadNoFurtherThanTheBuffer)
{
    // One plug-in fills the whole buffer without a NUL and claims more than it holds; one stops early.
    struct Case {
        int claimed;
        int written;
        bool terminate;
        int expected;
    };
    const Case cases[] = {{1000, 256, false, 256}, {300, 256, false, 256}, {5, 255, true, 255}, {3, 3, true, 3}};
    for (const Case& c : cases) {
        FakeLibrary library;
        FakePlugin plugin;
        int seenLength = 0;
        plugin.pluginInfo = [&](int number, char* buffer, int length) {
            seenLength = length;
            if (number > 1)
                return 0;
            if (number == 0) {
                std::strcpy(buffer, "00IN");
                return 4;
            }
            std::memset(buffer, 'n', std::size_t(c.written));
            if (c.terminate)
                buffer[c.written] = '\0';
            return c.claimed;
        };
        library.Add(kPath, plugin);
        std::unique_ptr<TSPI> spi = CreateSPI(library, kPath);
        EXPECT_EQ(seenLength, 255);
        EXPECT_EQ(spi->PluginName(), QString(c.expected, QLatin1Char('n'))) << c.claimed;
    }
}

TEST(SpiBinding, FileNameIsTheModulePathOrTheNameGiven)
{
    FakeLibrary library;
    FakePlugin reporting = test::ImportPlugin();
    FakePlugin silent = test::ImportPlugin();
    library.Add(QStringLiteral("/a/reporting.spi"), reporting, true);
    library.Add(QStringLiteral("relative/silent.spi"), silent, false);
    EXPECT_EQ(CreateSPI(library, QStringLiteral("/a/reporting.spi"))->FileName(), QStringLiteral("/a/reporting.spi"));
    EXPECT_EQ(CreateSPI(library, QStringLiteral("relative/silent.spi"))->FileName(), QStringLiteral("relative/silent.spi"));

    // A file that does not load: nothing from CreateSPI, the exact message from the constructor.
    EXPECT_EQ(CreateSPI(library, QStringLiteral("/a/none.spi")), nullptr);
    EXPECT_EQ(test::Thrown<ESPIFOpenErrorSPI>([&] { TSPI::Create<TSPI>(library, QStringLiteral("/a/none.spi")); }),
              QStringLiteral("/a/none.spi:Susie Pluginがロードできませんでした"));
}

TEST(SpiBinding, NativeLibraryRefusesNonLibrariesAndKeepsLongPaths)
{
    QTemporaryDir dir;
    const QString path = test::WriteFile(dir.filePath(QStringLiteral("text.spi")), "not a library");
    TNativeSPILibrary library;
    EXPECT_EQ(library.Open(path), nullptr);
    EXPECT_EQ(CreateSPI(library, path), nullptr);
    // A plug-in deeper than 255 bytes keeps its whole path as its name.
    const QString deep = dir.filePath(QString(100, QLatin1Char('d')) + "/" + QString(100, QLatin1Char('e')) + "/" +
                                      QString(100, QLatin1Char('f')));
    ASSERT_TRUE(QDir().mkpath(deep));
    ASSERT_TRUE(QFile::copy(QStringLiteral(TOVARI_PLUGIN_DIR "/png.spi"), deep + "/png.spi"));
    const std::unique_ptr<TSPI> spi = CreateSPI(library, deep + "/png.spi");
    ASSERT_NE(spi, nullptr);
    EXPECT_EQ(spi->FileName(), deep + "/png.spi");
}

}  // namespace
}  // namespace tovari
