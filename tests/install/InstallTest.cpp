#include "app/Artwork.h"
#include "tests/common/TestSupport.h"

#include <QFileInfo>
#include <QImage>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <gtest/gtest.h>

namespace tovari::test {
namespace {

const QString kAppId = QStringLiteral(TOVARI_APP_ID);
const QString kDesktopEntry = QStringLiteral("share/applications/") + kAppId + QStringLiteral(".desktop");
const QString kMetainfo = QStringLiteral("share/metainfo/") + kAppId + QStringLiteral(".metainfo.xml");

struct Finished {
    int code = -1;  // -1 when the program could not run or crashed
    QString output;
};

Finished RunToEnd(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForFinished(120'000))
        return {-1, program + QStringLiteral(": ") + process.errorString()};
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAll())};
}

// The keys of a desktop entry's main group.
QMap<QString, QString> ReadDesktopEntry(const QString& path)
{
    QMap<QString, QString> keys;
    for (const QByteArray& line : ReadFileBytes(path).split('\n')) {
        const qsizetype equals = line.indexOf('=');
        if (equals > 0 && !line.startsWith('#'))
            keys.insert(QString::fromUtf8(line.left(equals)), QString::fromUtf8(line.mid(equals + 1)));
    }
    return keys;
}

// The text of the metainfo's leaf elements, and the version of each release, by element name.
QMultiMap<QString, QString> ReadMetainfo(const QString& path)
{
    const QStringList leaves{"id", "name", "summary", "p", "launchable", "image", "caption"};
    QMultiMap<QString, QString> elements;
    QXmlStreamReader xml(ReadFileBytes(path));
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        const QString name = xml.name().toString();
        if (name == QStringLiteral("release"))
            elements.insert(name, xml.attributes().value(QStringLiteral("version")).toString());
        else if (leaves.contains(name))
            elements.insert(name, xml.readElementText(QXmlStreamReader::IncludeChildElements).simplified());
    }
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    return elements;
}

bool Near(QRgb a, QRgb b, int tolerance)
{
    return std::abs(qRed(a) - qRed(b)) <= tolerance && std::abs(qGreen(a) - qGreen(b)) <= tolerance
           && std::abs(qBlue(a) - qBlue(b)) <= tolerance && std::abs(qAlpha(a) - qAlpha(b)) <= tolerance;
}

// One install into a temporary prefix serves the whole suite.
class InstalledTree : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        prefix_ = new QTemporaryDir;
        install_ = RunToEnd(QStringLiteral(TOVARI_CMAKE), {QStringLiteral("--install"), QStringLiteral(TOVARI_BUILD_DIR),
                                                      QStringLiteral("--prefix"), prefix_->path()});
    }
    static void TearDownTestSuite()
    {
        delete prefix_;
        prefix_ = nullptr;
    }
    void SetUp() override { ASSERT_EQ(install_.code, 0) << install_.output.toStdString(); }

    static QString Path(const QString& relative) { return prefix_->filePath(relative); }

    static inline QTemporaryDir* prefix_ = nullptr;
    static inline Finished install_;
};

TEST_F(InstalledTree, HoldsTheProgramsAndTheirDesktopFiles)
{
    // The desktop entry, metainfo, man pages and service unit are read by the tests below.
    QStringList files = {QStringLiteral("share/icons/hicolor/scalable/apps/tovari.svg"),
                         QStringLiteral("lib/tovari/libtovari_localmem.so")};
    for (const char* format : {"png", "gif", "tiff", "webp", "heic", "avif"})
        files.append(QStringLiteral("lib/tovari/%1.spi").arg(QLatin1String(format)));
    for (const QString& file : QStringList{"bin/tovari", "bin/tovari-shop"} + files) {
        SCOPED_TRACE(file.toStdString());
        const QFileInfo info(Path(file));
        EXPECT_TRUE(info.isFile());
        EXPECT_GT(info.size(), 0);
        EXPECT_EQ(info.isExecutable(), file.startsWith(QLatin1String("bin/")));
    }
}

// Every theme size is drawn from the SVG, and the SVG is the window icon's picture.
TEST_F(InstalledTree, IconsComeInEveryThemeSizeAndShowTheWindowIcon)
{
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        SCOPED_TRACE(size);
        const QImage icon(Path(QStringLiteral("share/icons/hicolor/%1x%1/apps/tovari.png").arg(size)));
        ASSERT_EQ(icon.size(), QSize(size, size));
        // The corner is outside both prints.
        EXPECT_EQ(std::pair(qAlpha(icon.pixel(0, 0)), qAlpha(icon.pixel(size / 2, size / 2))), std::pair(0, 255));
    }
    const QImage icon = QImage(Path(QStringLiteral("share/icons/hicolor/32x32/apps/tovari.png")))
                            .convertToFormat(QImage::Format_ARGB32);
    const QImage window = DrawWindowIcon().convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(icon.size(), window.size());
    int different = 0;
    for (int y = 0; y < icon.height(); ++y)
        for (int x = 0; x < icon.width(); ++x)
            different += !Near(icon.pixel(x, y), window.pixel(x, y), 16);
    EXPECT_LE(different, icon.width() * icon.height() / 64);  // antialiasing may round differently
}

TEST_F(InstalledTree, DesktopEntryStartsTheProgramWithItsIconForItsPictures)
{
    const auto entry = ReadDesktopEntry(Path(kDesktopEntry));
    EXPECT_EQ(QStringList({entry.value(QStringLiteral("Type")), entry.value(QStringLiteral("Name"))}),
              QStringList({QStringLiteral("Application"), QStringLiteral("トヴァリ")}));
    EXPECT_FALSE(entry.value(QStringLiteral("Comment")).isEmpty() || entry.value(QStringLiteral("Comment[ja]")).isEmpty());
    // The program takes no arguments, so the command is the bare program, which the package installs.
    EXPECT_TRUE(QFileInfo(Path(QStringLiteral("bin/") + entry.value(QStringLiteral("Exec")))).isExecutable());
    EXPECT_TRUE(QFileInfo::exists(
        Path(QStringLiteral("share/icons/hicolor/48x48/apps/%1.png").arg(entry.value(QStringLiteral("Icon"))))));
    for (const auto& [key, value] : {std::pair("Categories", "Graphics"), std::pair("Categories", "Photography"),
                                     std::pair("MimeType", "image/jpeg"), std::pair("MimeType", "image/bmp"),
                                     std::pair("MimeType", "image/vnd.microsoft.icon"), std::pair("MimeType", "image/wmf"),
                                     std::pair("MimeType", "image/emf")})
        EXPECT_TRUE(entry.value(QLatin1String(key)).split(';').contains(QLatin1String(value))) << key << " " << value;
}

TEST_F(InstalledTree, MetainfoDescribesTheProgramAtItsVersion)
{
    const auto metainfo = ReadMetainfo(Path(kMetainfo));
    EXPECT_EQ(metainfo.value(QStringLiteral("id")), kAppId);
    EXPECT_EQ(metainfo.value(QStringLiteral("launchable")), kAppId + QStringLiteral(".desktop"));
    EXPECT_EQ(metainfo.values(QStringLiteral("release")), QStringList{QStringLiteral(TOVARI_VERSION)});
    EXPECT_TRUE(metainfo.value(QStringLiteral("image")).startsWith(QStringLiteral("https://")));
    EXPECT_GE(metainfo.values(QStringLiteral("p")).size(), 2);
    EXPECT_TRUE(metainfo.values(QStringLiteral("name")).contains(QStringLiteral("トヴァリ")));
}

// Where the validators are installed (scripts/setup.sh installs them), they accept what was installed.
TEST_F(InstalledTree, ValidatorsAcceptTheDesktopEntryAndMetainfo)
{
    const struct {
        const char* program;
        QStringList arguments;
    } checks[] = {
        {"desktop-file-validate", {Path(kDesktopEntry)}},
        // No network: the screenshot's address is checked for its form only.
        {"appstreamcli", {QStringLiteral("validate"), QStringLiteral("--no-net"), Path(kMetainfo)}},
    };
    int ran = 0;
    for (const auto& check : checks) {
        SCOPED_TRACE(check.program);
        const QString program = QStandardPaths::findExecutable(QLatin1String(check.program));
        if (program.isEmpty())
            continue;
        const Finished result = RunToEnd(program, check.arguments);
        EXPECT_EQ(result.code, 0) << result.output.toStdString();
        ++ran;
    }
    if (ran == 0)
        GTEST_SKIP() << "neither desktop-file-validate nor appstreamcli is installed";
}

TEST_F(InstalledTree, ShopRunsAsAUserServiceAndTellsItsVersion)
{
    const auto unit = ReadDesktopEntry(Path(QStringLiteral("lib/systemd/user/tovari-shop.service")));
    const QStringList command = unit.value(QStringLiteral("ExecStart")).split(' ', Qt::SkipEmptyParts);
    ASSERT_FALSE(command.isEmpty());
    EXPECT_EQ(command.first(), QStringLiteral(TOVARI_FULL_BINDIR "/tovari-shop"));
    EXPECT_TRUE(command.contains(QStringLiteral("8931")));
    EXPECT_EQ(unit.value(QStringLiteral("WantedBy")), QStringLiteral("default.target"));

    const Finished version = RunToEnd(Path(QStringLiteral("bin/tovari-shop")), {QStringLiteral("--version")});
    EXPECT_EQ(version.code, 0);
    EXPECT_EQ(version.output, QStringLiteral("tovari-shop " TOVARI_VERSION "\n"));
}

TEST_F(InstalledTree, ManPagesAreCompressedAndFilledIn)
{
    for (const char* page : {"tovari.1.gz", "tovari-shop.1.gz"}) {
        SCOPED_TRACE(page);
        const Finished text =
            RunToEnd(QStringLiteral("gzip"), {QStringLiteral("-dc"), Path(QStringLiteral("share/man/man1/") + QLatin1String(page))});
        ASSERT_EQ(text.code, 0) << text.output.toStdString();
        EXPECT_TRUE(text.output.startsWith(QStringLiteral(".TH ")));
        EXPECT_TRUE(text.output.contains(QStringLiteral("tovari " TOVARI_VERSION)));
        EXPECT_FALSE(text.output.contains(QRegularExpression(QStringLiteral("@[A-Z_]+@"))));
    }
}

}  // namespace
}  // namespace tovari::test
