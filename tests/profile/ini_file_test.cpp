#include "platform/profile/IniFile.h"
#include "tests/common/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <csignal>
#include <functional>
#include <optional>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

namespace tovari {
namespace {

QByteArray ReadBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

class IniFileTest : public testing::Test {
protected:
    QString IniPath() const { return dir.filePath(QStringLiteral("tovari.ini")); }
    QString Write(const QByteArray& bytes) { return test::WriteFile(IniPath(), bytes); }

    QTemporaryDir dir;
};

// ---- reading -------------------------------------------------------------------------------------------

const QByteArray kStringSample = "; a comment=not a key\r\n"
                                 "[Main]\r\n"
                                 "Name = Value with blanks  \r\n"
                                 "Quoted=\"  padded  \"\r\n"
                                 "Single='x'\r\n"
                                 "Half=\"open\r\n"
                                 "Empty=\r\n"
                                 "Equals=a=b\r\n"
                                 "Dup=first\r\n"
                                 "Dup=second\r\n"
                                 "Japanese=写真屋さん\u3000\r\n"
                                 "[main]\r\n"
                                 "Later=in the second [main]\r\n"
                                 "[Other]\r\n"
                                 "Name=other\r\n";

struct ReadStringCase {
    const char* name;
    QByteArray file;
    const char* section;
    const char* key;
    QString expected;
};

void PrintTo(const ReadStringCase& c, std::ostream* os)
{
    *os << c.name;
}

class ReadString : public IniFileTest, public testing::WithParamInterface<ReadStringCase> {};

TEST_P(ReadString, ReturnsValueOrDefault)
{
    const ReadStringCase& c = GetParam();
    Write(c.file);
    EXPECT_EQ(TIniFile(IniPath()).ReadString(c.section, c.key, QStringLiteral("<default>")), c.expected);
}

const QString kLongValue = QString(3000, u'a');
const QString kPairAtCut = QString(2046, u'a') + QStringLiteral("😀b");

INSTANTIATE_TEST_SUITE_P(
    IniFile, ReadString,
    testing::Values(
        ReadStringCase{"blanks_trimmed", kStringSample, "Main", "Name", "Value with blanks"},
        ReadStringCase{"section_and_key_ignore_case", kStringSample, "MAIN", "nAmE", "Value with blanks"},
        ReadStringCase{"enclosing_double_quotes_dropped", kStringSample, "Main", "Quoted", "  padded  "},
        ReadStringCase{"enclosing_single_quotes_dropped", kStringSample, "Main", "Single", "x"},
        ReadStringCase{"unbalanced_quote_kept", kStringSample, "Main", "Half", "\"open"},
        ReadStringCase{"empty_value_is_not_missing", kStringSample, "Main", "Empty", ""},
        ReadStringCase{"value_keeps_later_equals", kStringSample, "Main", "Equals", "a=b"},
        ReadStringCase{"first_of_duplicate_keys", kStringSample, "Main", "Dup", "first"},
        ReadStringCase{"ideographic_space_is_value", kStringSample, "Main", "Japanese", "写真屋さん\u3000"},
        ReadStringCase{"only_first_of_duplicate_sections", kStringSample, "main", "Later", "<default>"},
        ReadStringCase{"key_of_other_section", kStringSample, "Other", "Name", "other"},
        ReadStringCase{"missing_key", kStringSample, "Main", "Nothing", "<default>"},
        ReadStringCase{"missing_section", kStringSample, "NETWORK", "Name", "<default>"},
        ReadStringCase{"lf_lines", "[A]\nk=lf\n", "A", "k", "lf"},
        ReadStringCase{"cr_lines", "[A]\rj=0\rk=cr", "A", "k", "cr"},
        ReadStringCase{"mixed_lines", "[B]\r\n[A]\rx=1\nk=mixed\r\n", "A", "k", "mixed"},
        ReadStringCase{"byte_order_mark", "\xEF\xBB\xBF[A]\r\nk=bom\r\n", "A", "k", "bom"},
        ReadStringCase{"key_before_any_section", "k=loose\r\n[A]\r\n", "A", "k", "<default>"},
        ReadStringCase{"long_text_cut", "[A]\r\nk=" + kLongValue.toUtf8(), "A", "k", kLongValue.left(2047)},
        ReadStringCase{"cut_keeps_surrogate_pair", "[A]\r\nk=" + kPairAtCut.toUtf8(), "A", "k",
                       kPairAtCut.left(2048)}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(IniFileTest, MissingFileOrFolderReadsAsEmpty)
{
    EXPECT_EQ(TIniFile(IniPath()).ReadString("A", "k", "d"), "d");
    EXPECT_EQ(TIniFile(dir.filePath("no/such/folder/tovari.ini")).ReadInteger("A", "k", 7), 7);
    // A folder where the file should be is not readable either.
    QDir(dir.path()).mkdir("tovari.ini");
    EXPECT_TRUE(TIniFile(IniPath()).ReadBool("A", "k", true));
}

const QByteArray kNumberSample =
    "[Numbers]\r\ndec=42\r\nneg=-17\r\nplus=+8\r\nspaced=  7  \r\ndollar=$1F\r\nhex=0x1F\r\nHEXUPPER=0X1f\r\n"
    "neghex=-0x10\r\nnegdollar=-$10\r\nallbits=$FFFFFFFF\r\ntooWideHex=$100000000\r\ndollarOnly=$\r\nzeroXOnly=0x\r\n"
    "bad=12abc\r\nblankInside=1 2\r\nempty=\r\nsign=-\r\nmax=2147483647\r\nmin=-2147483648\r\n"
    "overflow=2147483648\r\nfullwidth=１２\r\nzero=0\r\n";

struct ReadIntegerCase {
    const char* section;
    const char* key;
    int expected;  // the default is -999
};

void PrintTo(const ReadIntegerCase& c, std::ostream* os)
{
    *os << c.key;
}

class ReadInteger : public IniFileTest, public testing::WithParamInterface<ReadIntegerCase> {};

TEST_P(ReadInteger, ParsesOrGivesDefault)
{
    Write(kNumberSample);
    const ReadIntegerCase& c = GetParam();
    EXPECT_EQ(TIniFile(IniPath()).ReadInteger(c.section, c.key, -999), c.expected) << c.key;
}

INSTANTIATE_TEST_SUITE_P(
    IniFile, ReadInteger,
    testing::Values(ReadIntegerCase{"Numbers", "dec", 42}, ReadIntegerCase{"numbers", "DEC", 42},
                    ReadIntegerCase{"Numbers", "neg", -17}, ReadIntegerCase{"Numbers", "plus", 8},
                    ReadIntegerCase{"Numbers", "spaced", 7}, ReadIntegerCase{"Numbers", "dollar", 31},
                    ReadIntegerCase{"Numbers", "hex", 31}, ReadIntegerCase{"Numbers", "hexupper", 31},
                    ReadIntegerCase{"Numbers", "neghex", -999}, ReadIntegerCase{"Numbers", "negdollar", -999},
                    ReadIntegerCase{"Numbers", "allbits", -1}, ReadIntegerCase{"Numbers", "tooWideHex", -999},
                    ReadIntegerCase{"Numbers", "dollarOnly", -999}, ReadIntegerCase{"Numbers", "zeroXOnly", -999},
                    ReadIntegerCase{"Numbers", "bad", -999}, ReadIntegerCase{"Numbers", "blankInside", -999},
                    ReadIntegerCase{"Numbers", "empty", -999}, ReadIntegerCase{"Numbers", "sign", -999},
                    ReadIntegerCase{"Numbers", "max", 2147483647}, ReadIntegerCase{"Numbers", "min", -2147483647 - 1},
                    ReadIntegerCase{"Numbers", "overflow", -999}, ReadIntegerCase{"Numbers", "fullwidth", -999},
                    ReadIntegerCase{"Numbers", "zero", 0}, ReadIntegerCase{"Nowhere", "dec", -999}));

TEST_F(IniFileTest, ReadBoolComparesTheIntegerWithZero)
{
    Write("[B]\r\ntwo=2\r\nzero=0\r\nminus=-1\r\nhexzero=$0\r\nword=abc\r\nempty=\r\n");
    const TIniFile ini(IniPath());
    struct Case {
        const char* key;
        bool defaultValue;
        bool expected;
    };
    for (const Case& c : {Case{"two", false, true}, Case{"zero", true, false}, Case{"minus", false, true},
                          Case{"hexzero", true, false}, Case{"word", true, true}, Case{"word", false, false},
                          Case{"empty", true, true}, Case{"missing", true, true}, Case{"missing", false, false}}) {
        EXPECT_EQ(ini.ReadBool("b", c.key, c.defaultValue), c.expected) << c.key << " default " << c.defaultValue;
    }
}

// ---- writing -------------------------------------------------------------------------------------------

TEST_F(IniFileTest, WritesIntoANewFileInOrderWithCrLf)
{
    TIniFile ini(IniPath());
    ini.WriteInteger("MAIN", "WindowTop", 100);
    ini.WriteInteger("MAIN", "WindowLeft", -5);
    ini.WriteBool("MAIN", "NavigateWindow", true);
    ini.WriteString("NETWORK", "QmoSessionId", "");
    ini.WriteBool("PLUGIN", "Spi", false);
    ini.WriteString("MAIN", "PcViewWidth", "120");
    EXPECT_EQ(ReadBytes(IniPath()), QByteArray("[MAIN]\r\n"
                                               "WindowTop=100\r\n"
                                               "WindowLeft=-5\r\n"
                                               "NavigateWindow=1\r\n"
                                               "PcViewWidth=120\r\n"
                                               "[NETWORK]\r\n"
                                               "QmoSessionId=\r\n"
                                               "[PLUGIN]\r\n"
                                               "Spi=0\r\n"));
}

struct WriteCase {
    const char* name;
    QByteArray before;
    const char* section;
    const char* key;
    QString value;
    QByteArray after;
};

void PrintTo(const WriteCase& c, std::ostream* os)
{
    *os << c.name;
}

class WriteString : public IniFileTest, public testing::WithParamInterface<WriteCase> {};

TEST_P(WriteString, ChangesOnlyItsOwnLine)
{
    const WriteCase& c = GetParam();
    Write(c.before);
    TIniFile(IniPath()).WriteString(c.section, c.key, c.value);
    EXPECT_EQ(ReadBytes(IniPath()), c.after);
}

INSTANTIATE_TEST_SUITE_P(
    IniFile, WriteString,
    testing::Values(
        WriteCase{"new_key_after_last_key_of_its_section", "[A]\r\nx=1\r\n; tail\r\n\r\n[B]\r\ny=2\r\n", "a", "z", "3",
                  "[A]\r\nx=1\r\nz=3\r\n; tail\r\n\r\n[B]\r\ny=2\r\n"},
        WriteCase{"new_key_in_section_without_keys", "[A]\r\n[B]\r\nb=1\r\n", "A", "k", "1",
                  "[A]\r\nk=1\r\n[B]\r\nb=1\r\n"},
        WriteCase{"new_section_at_end_after_unterminated_line", "[A]\nx=1", "B", "k", "v", "[A]\nx=1\n[B]\nk=v\n"},
        WriteCase{"empty_file", "", "A", "k", "v", "[A]\r\nk=v\r\n"},
        WriteCase{"empty_value", "[A]\r\nk=old\r\n", "A", "k", "", "[A]\r\nk=\r\n"},
        WriteCase{"in_place_keeps_foreign_lines_and_line_ends",
                  "; top\r\n[Main]\nforeign=keep\rWindowTop = 5\r\n# note\r\n[Other]\r\nWindowTop=9\r\n", "MAIN",
                  "windowtop", "7",
                  "; top\r\n[Main]\nforeign=keep\rWindowTop=7\r\n# note\r\n[Other]\r\nWindowTop=9\r\n"},
        WriteCase{"first_of_duplicate_keys", "[A]\r\nk=1\r\nk=2\r\n", "A", "K", "3", "[A]\r\nk=3\r\nk=2\r\n"},
        WriteCase{"cr_file_takes_cr", "[A]\rx=1\r", "A", "k", "2", "[A]\rx=1\rk=2\r"},
        WriteCase{"line_end_of_first_line_wins", "[A]\nx=1\r\n", "B", "k", "2", "[A]\nx=1\r\n[B]\nk=2\n"},
        WriteCase{"bom_and_foreign_bytes_kept", "\xEF\xBB\xBF[A]\r\nraw=\xFF\xFE\r\n", "A", "k", "写真",
                  "\xEF\xBB\xBF[A]\r\nraw=\xFF\xFE\r\nk=写真\r\n"},
        WriteCase{"outer_blanks_quoted", "[A]\r\n", "A", "k", "  x  ", "[A]\r\nk=\"  x  \"\r\n"},
        WriteCase{"line_breaks_become_blanks", "[A]\r\n", "A", "k", "a\r\n[B]\nb\rc", "[A]\r\nk=a [B] b c\r\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(IniFileTest, WrittenTextsReadBackUnchanged)
{
    TIniFile ini(IniPath());
    for (const QString& value : {QString(), QStringLiteral("  x  "), QStringLiteral("\"q\""), QStringLiteral("'"),
                                 QStringLiteral("/home/ユーザー/spi folder"), QStringLiteral("a=b;c"),
                                 QStringLiteral("\t")}) {
        ini.WriteString("S", "k", value);
        EXPECT_EQ(ini.ReadString("S", "k", "<default>"), value);
    }
}

TEST_F(IniFileTest, NothingIsCachedBetweenWrites)
{
    TIniFile ini(IniPath());
    ini.WriteString("A", "one", "1");
    // Another writer changes the file in between; its change must survive and be read.
    Write(ReadBytes(IniPath()) + "other=x\r\n");
    EXPECT_EQ(ini.ReadString("A", "other", ""), "x");
    ini.WriteString("A", "two", "2");
    EXPECT_EQ(ReadBytes(IniPath()), QByteArray("[A]\r\none=1\r\nother=x\r\ntwo=2\r\n"));
}

TEST_F(IniFileTest, ReplacementKeepsPermissionsAndSymbolicLink)
{
    const QString real = dir.filePath("real.ini");
    test::WriteFile(real, "[A]\r\nk=1\r\n");
    ASSERT_EQ(::chmod(QFile::encodeName(real).constData(), 0640), 0);
    ASSERT_TRUE(QFile::link(real, IniPath()));

    TIniFile(IniPath()).WriteString("A", "k", "2");

    EXPECT_TRUE(QFileInfo(IniPath()).isSymLink());
    EXPECT_EQ(ReadBytes(real), QByteArray("[A]\r\nk=2\r\n"));
    struct stat status {};
    ASSERT_EQ(::stat(QFile::encodeName(real).constData(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0640u);
}

// ---- failed writes -------------------------------------------------------------------------------------

// Lets writes that extend a file beyond a few bytes fail as on a full disk, for the life of the object.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limited = saved_;
        limited.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limited);
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previousHandler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit saved_{};
    void (*previousHandler_)(int) = nullptr;
};

struct FailedWriteCase {
    const char* name;
    // Prepares the folder and returns the path to write to.
    std::function<QString(const QTemporaryDir&)> prepare;
    bool diskFull;
};

void PrintTo(const FailedWriteCase& c, std::ostream* os)
{
    *os << c.name;
}

class FailedWrite : public testing::TestWithParam<FailedWriteCase> {};

TEST_P(FailedWrite, RaisesWithThePathAndLeavesTheOldFile)
{
    QTemporaryDir dir;
    const QString path = GetParam().prepare(dir);
    const QStringList entriesBefore = QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    const QByteArray bytesBefore = ReadBytes(path);

    std::optional<QString> message;
    {
        std::optional<FileSizeLimit> limit;
        if (GetParam().diskFull)
            limit.emplace(16);
        try {
            TIniFile(path).WriteString("MAIN", "WindowTop", QString(100, u'9'));
        } catch (const EIniFileException& e) {
            message = e.Message();
        }
    }

    ASSERT_TRUE(message.has_value()) << "the write was reported as done";
    EXPECT_EQ(*message, path + QStringLiteral(" に書き込めません"));
    EXPECT_EQ(ReadBytes(path), bytesBefore);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), entriesBefore)
        << "a temporary file was left behind";
}

INSTANTIATE_TEST_SUITE_P(
    IniFile, FailedWrite,
    testing::Values(
        FailedWriteCase{"folder_is_a_regular_file",
                        [](const QTemporaryDir& dir) {
                            test::WriteFile(dir.filePath("tovari"), "not a folder");
                            return dir.filePath("tovari/tovari.ini");
                        },
                        false},
        FailedWriteCase{"path_is_a_folder",
                        [](const QTemporaryDir& dir) {
                            test::WriteFile(dir.filePath("tovari.ini/inside"), "kept");
                            return dir.filePath("tovari.ini");
                        },
                        false},
        FailedWriteCase{"disk_full",
                        [](const QTemporaryDir& dir) {
                            return test::WriteFile(dir.filePath("tovari.ini"),
                                                   "; keep me\r\n[MAIN]\r\nWindowTop=1\r\nWindowLeft=2\r\n");
                        },
                        true}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tovari
