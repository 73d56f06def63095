#include "platform/Cp932.h"
#include "service/ServiceProtocol.h"

#include <gtest/gtest.h>

namespace tovari {
namespace {

struct SplitCase {
    const char* name;
    QString text;
    QStringList expected;
};

class ReplyLines : public testing::TestWithParam<SplitCase> {};

TEST_P(ReplyLines, SplitAtEveryKindOfBreakWithoutATrailingEmptyLine)
{
    EXPECT_EQ(SplitReplyLines(GetParam().text), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ReplyLines,
    testing::Values(SplitCase{"empty", "", {}}, SplitCase{"word", "OK", {"OK"}},
                    SplitCase{"wordAndBreak", "OK\r\n", {"OK"}}, SplitCase{"loneBreak", "\n", {""}},
                    SplitCase{"mixedBreaks", "a\r\nb\nc\rd", {"a", "b", "c", "d"}},
                    SplitCase{"emptyLineInside", "a\n\nb", {"a", "", "b"}},
                    SplitCase{"twoBreaksAtEnd", "a\n\n", {"a", ""}},
                    SplitCase{"lfThenCrIsTwoBreaks", "a\n\rb", {"a", "", "b"}},
                    SplitCase{"crThenCrLf", "a\r\r\nb", {"a", "", "b"}}),
    [](const auto& info) { return std::string(info.param.name); });

class ReplyFields : public testing::TestWithParam<SplitCase> {};

TEST_P(ReplyFields, SeparatorEndsAFieldButAddsNoneAtTheEnd)
{
    EXPECT_EQ(SplitReplyFields(GetParam().text), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ReplyFields,
    testing::Values(SplitCase{"empty", "", {}}, SplitCase{"three", "1<!--SEP-->17<!--SEP-->a.jpg", {"1", "17", "a.jpg"}},
                    SplitCase{"trailingSeparator", "5<!--SEP-->0<!--SEP-->", {"5", "0"}},
                    SplitCase{"leadingSeparator", "<!--SEP-->x", {"", "x"}},
                    SplitCase{"emptyFieldInside", "a<!--SEP--><!--SEP-->b", {"a", "", "b"}},
                    SplitCase{"brokenSeparator", "a<!--SEP--b", {"a<!--SEP--b"}},
                    SplitCase{"japanese", "3<!--SEP-->旅行 2008", {"3", "旅行 2008"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ReplyInteger, DecimalWithOptionalSignWithin32Bits)
{
    EXPECT_EQ(ParseReplyInteger("17"), 17);
    EXPECT_EQ(ParseReplyInteger("-3"), -3);
    EXPECT_EQ(ParseReplyInteger("+4"), 4);
    EXPECT_EQ(ParseReplyInteger("007"), 7);
    EXPECT_EQ(ParseReplyInteger("2147483647"), 2147483647);
    EXPECT_EQ(ParseReplyInteger("-2147483648"), std::numeric_limits<int>::min());
    for (const char* bad : {"", "-", "+", " 1", "1 ", "12a", "0x10", "2147483648", "-2147483649", "99999999999999999999"})
        EXPECT_EQ(ParseReplyInteger(QString::fromUtf8(bad)), std::nullopt) << bad;
    EXPECT_EQ(ParseReplyInteger(QStringLiteral("１２")), std::nullopt);  // full-width digits
}

TEST(ReplyText, FirstLineAndTrailingBreaks)
{
    EXPECT_EQ(FirstReplyLine("NG\r\nreason"), "NG");
    EXPECT_EQ(FirstReplyLine("NG"), "NG");
    EXPECT_EQ(FirstReplyLine(""), "");
    EXPECT_EQ(FirstReplyLine("\nNG"), "");
    EXPECT_EQ(StripTrailingLineBreaks("abc\r\n"), "abc");
    EXPECT_EQ(StripTrailingLineBreaks("abc\n\r\n"), "abc");
    EXPECT_EQ(StripTrailingLineBreaks("a\rbc"), "a\rbc");
    EXPECT_FALSE(IsUsableSessionId(""));
    EXPECT_FALSE(IsUsableSessionId("a\rb"));
    EXPECT_FALSE(IsUsableSessionId("ab\t"));
    EXPECT_FALSE(IsUsableSessionId(QString("a") + QChar(0x85)));
    EXPECT_TRUE(IsUsableSessionId("0123abcDEF-_,"));
}

struct FolderCase {
    const char* name;
    QString reply;
    std::vector<std::tuple<int, int, QString>> expected;
};

class FolderList : public testing::TestWithParam<FolderCase> {};

TEST_P(FolderList, ReadsUpToTheFirstBadLine)
{
    std::vector<std::tuple<int, int, QString>> got;
    for (const TFolderListEntry& f : ReadFolderList(GetParam().reply))
        got.emplace_back(f.Id, f.ParentIndex, f.Name);
    EXPECT_EQ(got, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, FolderList,
    testing::Values(
        FolderCase{"noLines", "", {}}, FolderCase{"headerOnly", "header\r\n", {}},
        FolderCase{"ngHeader", "NG", {}},
        FolderCase{"tree",
                   "h\r\n10<!--SEP-->0<!--SEP-->旅行\r\n11<!--SEP-->1<!--SEP-->京都<!--SEP-->extra\r\n"
                   "12<!--SEP-->0<!--SEP-->家族\r\n",
                   {{10, 0, "旅行"}, {11, 1, "京都"}, {12, 0, "家族"}}},
        FolderCase{"parentNotYetListed", "h\n10<!--SEP-->0<!--SEP-->a\n11<!--SEP-->2<!--SEP-->b\n12<!--SEP-->0<!--SEP-->c",
                   {{10, 0, "a"}}},
        FolderCase{"negativeParent", "h\n10<!--SEP-->-1<!--SEP-->a", {}},
        FolderCase{"twoFieldsByTrailingSeparator", "h\n10<!--SEP-->0<!--SEP-->a\n5<!--SEP-->0<!--SEP-->\n6<!--SEP-->0<!--SEP-->b",
                   {{10, 0, "a"}}},
        FolderCase{"idNotInteger", "h\nx<!--SEP-->0<!--SEP-->a", {}},
        FolderCase{"emptyLineEnds", "h\n10<!--SEP-->0<!--SEP-->a\n\n11<!--SEP-->0<!--SEP-->b", {{10, 0, "a"}}},
        FolderCase{"emptyNameIsAName", "h\n10<!--SEP-->0<!--SEP--><!--SEP-->x", {{10, 0, ""}}}),
    [](const auto& info) { return std::string(info.param.name); });

struct PhotoCase {
    const char* name;
    QString reply;
    std::vector<std::tuple<int, int, QString, QString>> expected;  // line, id, id text, name
};

class PhotoList : public testing::TestWithParam<PhotoCase> {};

TEST_P(PhotoList, ListsKindOneAndStopsAtTheFirstBadLine)
{
    std::vector<std::tuple<int, int, QString, QString>> got;
    for (const TPhotoListEntry& p : ReadPhotoList(GetParam().reply))
        got.emplace_back(p.LineIndex, p.Id, p.IdText, p.Name);
    EXPECT_EQ(got, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, PhotoList,
    testing::Values(
        PhotoCase{"kindOne", "1<!--SEP-->17<!--SEP-->a.jpg", {{0, 17, "17", "a.jpg"}}},
        PhotoCase{"kindTwoSkipped", "2<!--SEP-->17<!--SEP-->a.jpg\r\n1<!--SEP-->18<!--SEP-->b.jpg\r\n",
                  {{1, 18, "18", "b.jpg"}}},
        PhotoCase{"idKeptAsWritten", "1<!--SEP-->+018<!--SEP-->c.JPG", {{0, 18, "+018", "c.JPG"}}},
        PhotoCase{"badIdEnds", "1<!--SEP-->1<!--SEP-->a.jpg\n1<!--SEP-->x<!--SEP-->b.jpg\n1<!--SEP-->3<!--SEP-->c.jpg",
                  {{0, 1, "1", "a.jpg"}}},
        PhotoCase{"shortKindOneEnds", "1<!--SEP-->1<!--SEP-->a.jpg\n1<!--SEP-->2\n1<!--SEP-->3<!--SEP-->c.jpg",
                  {{0, 1, "1", "a.jpg"}}},
        PhotoCase{"shortOtherKindSkipped", "0\n1<!--SEP-->3<!--SEP-->c.jpg", {{1, 3, "3", "c.jpg"}}},
        PhotoCase{"emptyLineEnds", "1<!--SEP-->1<!--SEP-->a.jpg\n\n1<!--SEP-->3<!--SEP-->c.jpg", {{0, 1, "1", "a.jpg"}}},
        PhotoCase{"ngReplyEnds", "NG", {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ServiceUrls, PagesAndBaseWithoutTrailingSlash)
{
    const TServiceUrls urls("http://shop.example/");
    EXPECT_EQ(urls.OrderPage("S 1"), "http://shop.example/wis/order.php?mode=select&sid=S%201");
    EXPECT_EQ(urls.HelpPage(), "http://shop.example/order_help.php#0003");
    EXPECT_EQ(urls.DownloadPage(), "http://shop.example/download.php");
    EXPECT_EQ(urls.CookieGet(), "http://shop.example/wis/wi_login.php?mode=cookie_get");
}

struct CodecCase {
    const char* name;
    QString text;
    QByteArray bytes;
};

class Cp932Codec : public testing::TestWithParam<CodecCase> {};

TEST_P(Cp932Codec, RoundTrips)
{
    EXPECT_EQ(ToCp932(GetParam().text), GetParam().bytes);
    EXPECT_EQ(FromCp932(GetParam().bytes), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Cp932Codec,
    testing::Values(CodecCase{"ascii", "sid=abc", "sid=abc"}, CodecCase{"katakana", "テスト", "\x83\x65\x83\x58\x83\x67"},
                    CodecCase{"backslashAndTilde", "a\\b~", "a\\b~"},
                    CodecCase{"trailByteIsBackslash", "表示", "\x95\x5C\x8E\xA6"},
                    CodecCase{"necSpecial", "①", "\x87\x40"}, CodecCase{"halfWidthKana", "ｶﾒﾗ", "\xB6\xD2\xD7"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Cp932Codec, UnmappableAndBrokenInput)
{
    EXPECT_EQ(ToCp932(QStringLiteral("a😀b")), "a?b");
    // A file-name byte that was not UTF-8 goes out as that byte.
    EXPECT_EQ(ToCp932(QString("x") + QChar(0xDC95) + "\\"), "x\x95\x5C");
    EXPECT_EQ(ToCp932(QString("x") + QChar(0xDC5C)), "x?");
    EXPECT_EQ(FromCp932("a\xA0" "b"), QString("a") + QChar(0xFFFD) + "b");
    EXPECT_EQ(FromCp932("ab\x83"), QString("ab") + QChar(0xFFFD));
}

}  // namespace
}  // namespace tovari
