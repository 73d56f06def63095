#include "platform/Cp932.h"
#include "service/ServiceProtocol.h"

#include "tests/common/TestSupport.h"

#include <gtest/gtest.h>

namespace tovari {
namespace {

TEST(ServiceProtocol, RepliesSplitIntoLinesAndFields)
{
    for (const auto& [text, lines] :
         {std::pair<QString, QStringList>("", {}), std::pair<QString, QStringList>("OK\r\n", {"OK"}),
          std::pair<QString, QStringList>("\n", {""}), std::pair<QString, QStringList>("a\r\nb\nc\rd", {"a", "b", "c", "d"}),
          std::pair<QString, QStringList>("a\n\nb", {"a", "", "b"}), std::pair<QString, QStringList>("a\n\n", {"a", ""}),
          std::pair<QString, QStringList>("a\n\rb", {"a", "", "b"}), std::pair<QString, QStringList>("a\r\r\nb", {"a", "", "b"})})
        EXPECT_EQ(SplitReplyLines(text), lines) << text.toStdString();
    // Every separator ends a field, but one at the very end adds none.
    for (const auto& [line, fields] :
         {std::pair<QString, QStringList>("", {}), std::pair<QString, QStringList>("5<!--SEP-->0<!--SEP-->", {"5", "0"}),
          std::pair<QString, QStringList>("<!--SEP-->x", {"", "x"}),
          std::pair<QString, QStringList>("a<!--SEP--><!--SEP-->b", {"a", "", "b"}),
          std::pair<QString, QStringList>("a<!--SEP--b", {"a<!--SEP--b"}),
          std::pair<QString, QStringList>("3<!--SEP-->旅行 2008", {"3", "旅行 2008"})})
        EXPECT_EQ(SplitReplyFields(line), fields) << line.toStdString();
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
    for (const auto& [reply, expected] : {
             std::pair<QString, Folders>("header\r\n", {}), std::pair<QString, Folders>("NG", {}),
             std::pair<QString, Folders>("h\r\n10<!--SEP-->0<!--SEP-->旅行\r\n11<!--SEP-->1<!--SEP-->京都<!--SEP-->extra\r\n"
                                         "12<!--SEP-->0<!--SEP-->家族\r\n",
                                         {{10, 0, "旅行"}, {11, 1, "京都"}, {12, 0, "家族"}}),
             std::pair<QString, Folders>("h\n10<!--SEP-->0<!--SEP-->a\n11<!--SEP-->2<!--SEP-->b\n12<!--SEP-->0<!--SEP-->c",
                                         {{10, 0, "a"}}),
             std::pair<QString, Folders>("h\n10<!--SEP-->-1<!--SEP-->a", {}),
             std::pair<QString, Folders>("h\n10<!--SEP-->0<!--SEP-->a\n5<!--SEP-->0<!--SEP-->\n6<!--SEP-->0<!--SEP-->b",
                                         {{10, 0, "a"}}),
             std::pair<QString, Folders>("h\nx<!--SEP-->0<!--SEP-->a", {}),
             // Folder ids name no file: a sign and leading zeros are read as numbers.
             std::pair<QString, Folders>("h\n+5<!--SEP-->0<!--SEP-->a\n007<!--SEP-->1<!--SEP-->b",
                                         {{5, 0, "a"}, {7, 1, "b"}}),
             std::pair<QString, Folders>("h\n10<!--SEP-->0<!--SEP-->a\n\n11<!--SEP-->0<!--SEP-->b", {{10, 0, "a"}}),
             std::pair<QString, Folders>("h\n10<!--SEP-->0<!--SEP--><!--SEP-->x", {{10, 0, ""}})}) {
        Folders got;
        for (const TFolderListEntry& f : ReadFolderList(reply))
            got.emplace_back(f.Id, f.ParentIndex, f.Name);
        EXPECT_EQ(got, expected) << reply.toStdString();
    }
}

// Photos are the lines of kind 1; other kinds are skipped, and the list ends at the first bad line.
TEST(ServiceProtocol, PhotoListKeepsKindOneUpToTheFirstBadLine)
{
    using Photos = std::vector<std::tuple<int, int, QString, QString>>;  // line, id, id text, name
    for (const auto& [reply, expected] : {
             std::pair<QString, Photos>("2<!--SEP-->17<!--SEP-->a.jpg\r\n1<!--SEP-->18<!--SEP-->b.jpg\r\n", {{1, 18, "18", "b.jpg"}}),
             std::pair<QString, Photos>("1<!--SEP-->18<!--SEP-->c.JPG", {{0, 18, "18", "c.JPG"}}),
             // An id must name its cache file one way only: no sign, blank or leading zero.
             std::pair<QString, Photos>("1<!--SEP-->0<!--SEP-->z.jpg\n1<!--SEP-->018<!--SEP-->c.jpg", {{0, 0, "0", "z.jpg"}}),
             std::pair<QString, Photos>("1<!--SEP-->+18<!--SEP-->c.jpg", {}),
             std::pair<QString, Photos>("1<!--SEP--> 18<!--SEP-->c.jpg", {}),
             std::pair<QString, Photos>("1<!--SEP-->-18<!--SEP-->c.jpg", {}),
             std::pair<QString, Photos>("1<!--SEP-->4294967314<!--SEP-->c.jpg", {}),
             std::pair<QString, Photos>("1<!--SEP-->1<!--SEP-->a.jpg\n1<!--SEP-->x<!--SEP-->b.jpg\n1<!--SEP-->3<!--SEP-->c.jpg",
                                        {{0, 1, "1", "a.jpg"}}),
             std::pair<QString, Photos>("1<!--SEP-->1<!--SEP-->a.jpg\n1<!--SEP-->2\n1<!--SEP-->3<!--SEP-->c.jpg",
                                        {{0, 1, "1", "a.jpg"}}),
             std::pair<QString, Photos>("0\n1<!--SEP-->3<!--SEP-->c.jpg", {{1, 3, "3", "c.jpg"}}),
             std::pair<QString, Photos>("1<!--SEP-->1<!--SEP-->a.jpg\n\n1<!--SEP-->3<!--SEP-->c.jpg", {{0, 1, "1", "a.jpg"}}),
             std::pair<QString, Photos>("NG", {})}) {
        Photos got;
        for (const TPhotoListEntry& p : ReadPhotoList(reply))
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
