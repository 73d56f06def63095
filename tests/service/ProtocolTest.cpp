#include "platform/Cp932.h"
#include "service/ServiceProtocol.h"

#include "tests/common/TestSupport.h"

#include <gtest/gtest.h>

namespace tovari {
namespace {

// Reply text as the tables write it: "|" stands for the field separator.
QString Wire(QString text)
{
    return text.replace('|', QStringLiteral("<!--SEP-->"));
}

TEST(ServiceProtocol, RepliesSplitIntoLinesAndFields)
{
    using Split = std::pair<QString, QStringList>;
    for (const auto& [text, lines] :
         {Split("", {}), Split("OK\r\n", {"OK"}), Split("\n", {""}), Split("a\r\nb\nc\rd", {"a", "b", "c", "d"}),
          Split("a\n\nb", {"a", "", "b"}), Split("a\n\n", {"a", ""}), Split("a\n\rb", {"a", "", "b"}),
          Split("a\r\r\nb", {"a", "", "b"})})
        EXPECT_EQ(SplitReplyLines(text), lines) << text.toStdString();
    // Every separator ends a field, but one at the very end adds none.
    for (const auto& [line, fields] :
         {Split("", {}), Split("5|0|", {"5", "0"}), Split("|x", {"", "x"}), Split("a||b", {"a", "", "b"}),
          Split("a<!--SEP--b", {"a<!--SEP--b"}), Split("3|旅行 2008", {"3", "旅行 2008"})})
        EXPECT_EQ(SplitReplyFields(Wire(line)), fields) << line.toStdString();
    EXPECT_EQ(FirstReplyLine("NG\r\nreason"), "NG");
    EXPECT_EQ(FirstReplyLine("\nNG"), "");
    EXPECT_EQ(StripTrailingLineBreaks("abc\n\r\n"), "abc");
    EXPECT_EQ(StripTrailingLineBreaks("a\rbc"), "a\rbc");
}

TEST(ServiceProtocol, IntegersAreDecimalWithin32BitsAndIdentifiersFreeOfControls)
{
    for (const auto& [text, value] : {std::pair("17", 17), std::pair("-3", -3), std::pair("+4", 4), std::pair("007", 7),
                                      std::pair("2147483647", 2147483647), std::pair("-2147483648", -2147483647 - 1)})
        EXPECT_EQ(ParseReplyInteger(text), value) << text;
    for (const char* bad : {"", "-", " 1", "1 ", "12a", "0x10", "2147483648", "-2147483649", "99999999999999999999", "１２"})
        EXPECT_EQ(ParseReplyInteger(QString::fromUtf8(bad)), std::nullopt) << bad;
    for (const QString& bad : {QString(), QStringLiteral("a\rb"), QStringLiteral("ab\t"), QString("a") + QChar(0x85)})
        EXPECT_FALSE(IsUsableSessionId(bad)) << bad.toStdString();
    EXPECT_TRUE(IsUsableSessionId("0123abcDEF-_,"));
}

// The folder tree reads up to the first bad line; a parent must already be listed.
TEST(ServiceProtocol, FolderListStopsAtTheFirstBadLine)
{
    using Folders = std::vector<std::tuple<int, int, QString>>;
    using Case = std::pair<QString, Folders>;
    for (const auto& [reply, expected] : {
             Case("header\r\n", {}), Case("NG", {}),
             Case("h\r\n10|0|旅行\r\n11|1|京都|extra\r\n12|0|家族\r\n",
                  {{10, 0, "旅行"}, {11, 1, "京都"}, {12, 0, "家族"}}),
             Case("h\n10|0|a\n11|2|b\n12|0|c", {{10, 0, "a"}}), Case("h\n10|-1|a", {}),
             Case("h\n10|0|a\n5|0|\n6|0|b", {{10, 0, "a"}}), Case("h\nx|0|a", {}),
             // Folder ids name no file: a sign and leading zeros are read as numbers.
             Case("h\n+5|0|a\n007|1|b", {{5, 0, "a"}, {7, 1, "b"}}),
             Case("h\n10|0|a\n\n11|0|b", {{10, 0, "a"}}), Case("h\n10|0||x", {{10, 0, ""}})}) {
        Folders got;
        for (const TFolderListEntry& f : ReadFolderList(Wire(reply)))
            got.emplace_back(f.Id, f.ParentIndex, f.Name);
        EXPECT_EQ(got, expected) << reply.toStdString();
    }
}

// Photos are the lines of kind 1; other kinds are skipped, and the list ends at the first bad line.
TEST(ServiceProtocol, PhotoListKeepsKindOneUpToTheFirstBadLine)
{
    using Photos = std::vector<std::tuple<int, int, QString, QString>>;  // line, id, id text, name
    using Case = std::pair<QString, Photos>;
    for (const auto& [reply, expected] : {
             Case("2|17|a.jpg\r\n1|18|b.jpg\r\n", {{1, 18, "18", "b.jpg"}}),
             Case("1|18|c.JPG", {{0, 18, "18", "c.JPG"}}),
             // An id must name its cache file one way only: no sign, blank or leading zero.
             Case("1|0|z.jpg\n1|018|c.jpg", {{0, 0, "0", "z.jpg"}}), Case("1|+18|c.jpg", {}), Case("1| 18|c.jpg", {}),
             Case("1|-18|c.jpg", {}), Case("1|4294967314|c.jpg", {}),
             Case("1|1|a.jpg\n1|x|b.jpg\n1|3|c.jpg", {{0, 1, "1", "a.jpg"}}),
             Case("1|1|a.jpg\n1|2\n1|3|c.jpg", {{0, 1, "1", "a.jpg"}}), Case("0\n1|3|c.jpg", {{1, 3, "3", "c.jpg"}}),
             Case("1|1|a.jpg\n\n1|3|c.jpg", {{0, 1, "1", "a.jpg"}}), Case("NG", {})}) {
        Photos got;
        for (const TPhotoListEntry& p : ReadPhotoList(Wire(reply)))
            got.emplace_back(p.LineIndex, p.Id, p.IdText, p.Name);
        EXPECT_EQ(got, expected) << reply.toStdString();
    }
}

TEST(ServiceProtocol, PageUrlsDropTheBaseUrlsTrailingSlash)
{
    const TServiceUrls urls("http://shop.example/");
    EXPECT_EQ(urls.OrderPage("S 1"), "http://shop.example/wis/order.php?mode=select&sid=S%201");
    EXPECT_EQ(urls.HelpPage(), "http://shop.example/order_help.php#0003");
    EXPECT_EQ(urls.DownloadPage(), "http://shop.example/download.php");
}

TEST(Cp932, RoundTripsAndMarksWhatItCannotMap)
{
    for (const auto& [text, bytes] :
         {std::pair<QString, QByteArray>("テスト", "\x83\x65\x83\x58\x83\x67"), std::pair<QString, QByteArray>("a\\b~", "a\\b~"),
          std::pair<QString, QByteArray>("表示", "\x95\x5C\x8E\xA6"),  // trail byte is a backslash
          std::pair<QString, QByteArray>("①", "\x87\x40"), std::pair<QString, QByteArray>("ｶﾒﾗ", "\xB6\xD2\xD7")}) {
        EXPECT_EQ(ToCp932(text), bytes) << text.toStdString();
        EXPECT_EQ(FromCp932(bytes), text) << text.toStdString();
    }
    EXPECT_EQ(ToCp932(QStringLiteral("a😀b")), "a?b");
    // A file-name byte that was not UTF-8 goes out as that byte.
    EXPECT_EQ(ToCp932(QString("x") + QChar(0xDC95) + "\\"), "x\x95\x5C");
    EXPECT_EQ(ToCp932(QString("x") + QChar(0xDC5C)), "x?");
    EXPECT_EQ(FromCp932("a\xA0" "b"), QString("a") + QChar(0xFFFD) + "b");
    EXPECT_EQ(FromCp932("ab\x83"), QString("ab") + QChar(0xFFFD));
}

// CP932 gives some characters two codes (NEC-selected and IBM extensions); the encoder picks one,
// and whatever it picks decodes to the same text. The input is the one fuzzing found.
TEST(Cp932, CharactersWithTwoCodesRoundTripAsText)
{
    const QByteArray found = test::ReadFileBytes(QStringLiteral(TOVARI_TEST_DATA "/fuzz/cp932-nec-ibm-duplicate.bin"));
    for (const QByteArray& bytes : {found, QByteArray("\xED\xF8"), QByteArray("\xED\x40"), QByteArray("\xFA\x40")}) {
        const std::optional<QString> text = FromCp932Strict(bytes);
        ASSERT_TRUE(text) << bytes.toHex().toStdString();
        EXPECT_EQ(FromCp932(ToCp932(*text)), *text) << bytes.toHex().toStdString();
    }
}

}  // namespace
}  // namespace tovari
