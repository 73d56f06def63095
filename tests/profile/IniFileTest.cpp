#include "platform/profile/IniFile.h"
#include "tests/common/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

namespace tovari {
namespace {

class IniFileTest : public testing::Test {
protected:
    QString Path() const { return dir.filePath(QStringLiteral("tovari.ini")); }
    TIniFile Ini(const QByteArray& bytes) { return TIniFile(test::WriteFile(Path(), bytes)); }
    QTemporaryDir dir;
};

TEST_F(IniFileTest, ReadStringReturnsTheValueOrTheDefault)
{
    const TIniFile sample = Ini("; a comment=not a key\r\n[Main]\r\nName = Value with blanks  \r\nQuoted=\"  padded  \"\r\n"
                                "Single='x'\r\nHalf=\"open\r\nEmpty=\r\nEquals=a=b\r\nDup=first\r\nDup=second\r\n"
                                "Japanese=写真屋さん\u3000\r\n[main]\r\nLater=in the second [main]\r\n[Other]\r\nName=other\r\n");
    for (const auto& [section, key, expected] :
         {std::tuple("MAIN", "nAmE", "Value with blanks"), std::tuple("Main", "Quoted", "  padded  "),
          std::tuple("Main", "Single", "x"), std::tuple("Main", "Half", "\"open"), std::tuple("Main", "Empty", ""),
          std::tuple("Main", "Equals", "a=b"), std::tuple("Main", "Dup", "first"),
          std::tuple("Main", "Japanese", "写真屋さん\u3000"),  // an ideographic space is no blank
          std::tuple("main", "Later", "<default>"),           // only the first of two sections counts
          std::tuple("Other", "Name", "other"), std::tuple("Main", "Nothing", "<default>")})
        EXPECT_EQ(sample.ReadString(section, key, "<default>"), QString::fromUtf8(expected)) << section << "/" << key;

    const QString longValue(3000, u'a');
    const QString pairAtCut = QString(2046, u'a') + QStringLiteral("😀b");
    for (const auto& [file, expected] :
         {std::pair<QByteArray, QString>("[B]\r\n[A]\rx=1\nk=mixed\r\n", "mixed"),
          std::pair<QByteArray, QString>("\xEF\xBB\xBF[A]\r\nk=bom\r\n", "bom"),
          std::pair<QByteArray, QString>("k=loose\r\n[A]\r\n", "<default>"),  // before any section
          std::pair<QByteArray, QString>("[A]\r\nk=" + longValue.toUtf8(), longValue.left(TIniFile::MaxTextLength)),
          std::pair<QByteArray, QString>("[A]\r\nk=" + pairAtCut.toUtf8(), pairAtCut.left(2048))})  // pair kept whole
        EXPECT_EQ(Ini(file).ReadString("A", "k", "<default>"), expected) << file.left(20).toStdString();
}

TEST_F(IniFileTest, MissingFileOrFolderReadsAsEmpty)
{
    EXPECT_EQ(TIniFile(Path()).ReadString("A", "k", "d"), "d");
    EXPECT_EQ(TIniFile(dir.filePath("no/such/folder/tovari.ini")).ReadInteger("A", "k", 7), 7);
    QDir(dir.path()).mkdir("tovari.ini");
    EXPECT_TRUE(TIniFile(Path()).ReadBool("A", "k", true));
}

TEST_F(IniFileTest, ReadIntegerTakesDecimalOrHexadecimalWithin32Bits)
{
    const TIniFile ini = Ini(
        "[Numbers]\r\ndec=42\r\nneg=-17\r\nplus=+8\r\nspaced=  7  \r\ndollar=$1F\r\nhex=0x1F\r\nHEXUPPER=0X1f\r\n"
        "neghex=-0x10\r\nnegdollar=-$10\r\nallbits=$FFFFFFFF\r\ntooWideHex=$100000000\r\ndollarOnly=$\r\nzeroXOnly=0x\r\n"
        "bad=12abc\r\nblankInside=1 2\r\nempty=\r\nsign=-\r\nmax=2147483647\r\nmin=-2147483648\r\n"
        "overflow=2147483648\r\nfullwidth=１２\r\nzero=0\r\n");
    for (const auto& [key, expected] :
         {std::pair("dec", 42), std::pair("neg", -17), std::pair("plus", 8), std::pair("spaced", 7), std::pair("dollar", 31),
          std::pair("hex", 31), std::pair("hexupper", 31), std::pair("neghex", -999), std::pair("negdollar", -999),
          std::pair("allbits", -1), std::pair("tooWideHex", -999), std::pair("dollarOnly", -999),
          std::pair("zeroXOnly", -999), std::pair("bad", -999), std::pair("blankInside", -999), std::pair("empty", -999),
          std::pair("sign", -999), std::pair("max", 2147483647), std::pair("min", -2147483647 - 1),
          std::pair("overflow", -999), std::pair("fullwidth", -999), std::pair("zero", 0), std::pair("missing", -999)})
        EXPECT_EQ(ini.ReadInteger("numbers", key, -999), expected) << key;

    const TIniFile bools = Ini("[B]\r\ntwo=2\r\nzero=0\r\nminus=-1\r\nhexzero=$0\r\nword=abc\r\n");
    for (const auto& [key, defaultValue, expected] :
         {std::tuple("two", false, true), std::tuple("zero", true, false), std::tuple("minus", false, true),
          std::tuple("hexzero", true, false), std::tuple("word", true, true), std::tuple("word", false, false)})
        EXPECT_EQ(bools.ReadBool("b", key, defaultValue), expected) << key << " default " << defaultValue;
}

// Only the written line changes; lines the program does not own stay byte for byte.
TEST_F(IniFileTest, WriteStringChangesOnlyItsOwnLine)
{
    struct Case {
        const char* name;
        QByteArray before;
        const char* section;
        const char* key;
        QString value;
        QByteArray after;
    };
    const Case cases[] = {
        {"new key after the last key of its section", "[A]\r\nx=1\r\n; tail\r\n\r\n[B]\r\ny=2\r\n", "a", "z", "3",
         "[A]\r\nx=1\r\nz=3\r\n; tail\r\n\r\n[B]\r\ny=2\r\n"},
        {"new key in a section without keys", "[A]\r\n[B]\r\nb=1\r\n", "A", "k", "1", "[A]\r\nk=1\r\n[B]\r\nb=1\r\n"},
        {"an empty file takes CR LF", "", "MAIN", "k", "-5", "[MAIN]\r\nk=-5\r\n"},
        {"new section after an unterminated line", "[A]\nx=1", "B", "k", "v", "[A]\nx=1\n[B]\nk=v\n"},
        {"empty value", "[A]\r\nk=old\r\n", "A", "k", "", "[A]\r\nk=\r\n"},
        {"in place, foreign lines and line ends kept",
         "; top\r\n[Main]\nforeign=keep\rWindowTop = 5\r\n# note\r\n[Other]\r\nWindowTop=9\r\n", "MAIN", "windowtop", "7",
         "; top\r\n[Main]\nforeign=keep\rWindowTop=7\r\n# note\r\n[Other]\r\nWindowTop=9\r\n"},
        {"first of duplicate keys", "[A]\r\nk=1\r\nk=2\r\n", "A", "K", "3", "[A]\r\nk=3\r\nk=2\r\n"},
        {"a CR file takes CR", "[A]\rx=1\r", "A", "k", "2", "[A]\rx=1\rk=2\r"},
        {"the first line's end wins", "[A]\nx=1\r\n", "B", "k", "2", "[A]\nx=1\r\n[B]\nk=2\n"},
        {"byte-order mark and foreign bytes kept", "\xEF\xBB\xBF[A]\r\nraw=\xFF\xFE\r\n", "A", "k", "写真",
         "\xEF\xBB\xBF[A]\r\nraw=\xFF\xFE\r\nk=写真\r\n"},
        {"outer blanks quoted", "[A]\r\n", "A", "k", "  x  ", "[A]\r\nk=\"  x  \"\r\n"},
        {"line breaks become blanks", "[A]\r\n", "A", "k", "a\r\n[B]\nb\rc", "[A]\r\nk=a [B] b c\r\n"},
    };
    for (const Case& c : cases) {
        Ini(c.before).WriteString(c.section, c.key, c.value);
        EXPECT_EQ(test::ReadFileBytes(Path()), c.after) << c.name;
    }
}

TEST_F(IniFileTest, WrittenTextsReadBackUnchanged)
{
    TIniFile ini(Path());
    for (const QString& value : {QString(), QStringLiteral("  x  "), QStringLiteral("\"q\""), QStringLiteral("'"),
                                 QStringLiteral("/home/ユーザー/spi folder"), QStringLiteral("a=b;c"), QStringLiteral("\t")}) {
        ini.WriteString("S", "k", value);
        EXPECT_EQ(ini.ReadString("S", "k", "<default>"), value);
    }
}

TEST_F(IniFileTest, NothingIsCachedBetweenWrites)
{
    TIniFile ini(Path());
    ini.WriteString("A", "one", "1");
    // Another writer changes the file in between; its change must survive and be read.
    test::WriteFile(Path(), test::ReadFileBytes(Path()) + "other=x\r\n");
    EXPECT_EQ(ini.ReadString("A", "other", ""), "x");
    ini.WriteString("A", "two", "2");
    EXPECT_EQ(test::ReadFileBytes(Path()), "[A]\r\none=1\r\nother=x\r\ntwo=2\r\n");
}

TEST_F(IniFileTest, ReplacementKeepsPermissionsAndSymbolicLink)
{
    const QString real = test::WriteFile(dir.filePath("real.ini"), "[A]\r\nk=1\r\n");
    ASSERT_EQ(::chmod(QFile::encodeName(real).constData(), 0640), 0);
    ASSERT_TRUE(QFile::link(real, Path()));
    TIniFile(Path()).WriteString("A", "k", "2");
    EXPECT_TRUE(QFileInfo(Path()).isSymLink());
    EXPECT_EQ(test::ReadFileBytes(real), "[A]\r\nk=2\r\n");
    struct stat status {};
    ASSERT_EQ(::stat(QFile::encodeName(real).constData(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0640u);
}

// A failed write raises with the path, leaves the old file whole and no temporary file behind; a full
// disk is played by a file size limit that lets writes beyond a few bytes fail.
TEST_F(IniFileTest, FailedWriteRaisesWithThePathAndLeavesTheOldFile)
{
    const std::pair<const char*, QString> cases[] = {
        {"folder is a regular file", test::WriteFile(dir.filePath("plain"), "not a folder") + "/tovari.ini"},
        {"path is a folder", test::WriteFile(dir.filePath("folder.ini/inside"), "kept").section('/', 0, -2)},
        {"disk full", test::WriteFile(Path(), "; keep me\r\n[MAIN]\r\nWindowTop=1\r\nWindowLeft=2\r\n")},
    };
    for (const auto& [name, path] : cases) {
        SCOPED_TRACE(name);
        const QStringList entriesBefore = QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        const QByteArray bytesBefore = test::ReadFileBytes(path);
        rlimit saved{};
        ::getrlimit(RLIMIT_FSIZE, &saved);
        const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        if (path == Path()) {
            rlimit limited = saved;
            limited.rlim_cur = 16;
            ::setrlimit(RLIMIT_FSIZE, &limited);
        }
        QString message = "<no exception>";
        try {
            TIniFile(path).WriteString("MAIN", "WindowTop", QString(100, u'9'));
        } catch (const EIniFileException& e) {
            message = e.Message();
        }
        ::setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previousHandler);
        EXPECT_EQ(message, path + QStringLiteral(" に書き込めません"));
        EXPECT_EQ(test::ReadFileBytes(path), bytesBefore);
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), entriesBefore)
            << "a temporary file was left behind";
    }
}

}  // namespace
}  // namespace tovari
