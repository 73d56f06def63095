#include "tests/upload/UploadFixture.h"

#include "app/Helper.h"
#include "platform/Cp932.h"

#include <QFile>
#include <QRegularExpression>
#include <QTest>

#include <map>

namespace tovari::test {
namespace {

// How the service (or the user, while the service works) meets the upload of one photo.
enum class Reaction { Ok, Over, ServerError, ServerErrorOnce, ClickCancel };

struct BatchCase {
    const char* name;
    QStringList photos;
    QStringList noPictures;  // listed, but their thumbnails fail: never uploadable
    std::map<std::string, Reaction> reactions;  // by file name; Ok when not named
    QStringList deletedBeforeStart;  // uploadable when selected, unreadable when sent
    std::vector<std::string> posted;
    QStringList progress;  // the gauge and label at each step, "post" where a request went out
    QString report;        // the last box, "caption: text"
    std::deque<Dialogs::Result> answers = {};  // to the questions in turn; OK once they run out
};

void PrintTo(const BatchCase& c, std::ostream* os)
{
    *os << c.name;
}

const QString kDone = QStringLiteral("送信完了: ") + kUploadCompleteMessage;
const QString kPost = QStringLiteral("post dialog");

QStringList Steps(int n, std::initializer_list<int> posted)
{
    QStringList steps;
    for (int i = 0; i < n; ++i) {
        const int percent = n >= 2 ? i * 100 / (n - 1) : 100;
        steps.append(QStringLiteral("%1 %2個中 %3個目を転送中...").arg(percent).arg(n).arg(i + 1));
        if (std::find(posted.begin(), posted.end(), i + 1) != posted.end())
            steps.append(kPost);
    }
    return steps;
}

const QStringList kAbcd{"a.jpg", "b.jpg", "c.jpg", "d.jpg"};
const QString kAskResend = QStringLiteral("\n\n中断またはエラーで送信されなかった2枚を、もう一度送信しますか？");
using R = Dialogs::Result;

// The traces of the posting steps, in order.
QStringList PostingTraces()
{
    static const QRegularExpression steps(QStringLiteral("^(Start|Form Data Create|HTTP Post Start|HTTP Post End)$"));
    return RecordedTraces().filter(steps);
}
const QStringList kWholePost{"Start", "Form Data Create", "HTTP Post Start", "HTTP Post End"};

const BatchCase kBatchCases[] = {
    {"OnePhotoFillsTheGauge", {"a.jpg"}, {}, {}, {}, {"a.jpg"}, Steps(1, {1}), kDone},
    {"UndecodablePhotosAreLeftOut", {"a.jpg", "c.jpg"}, {"b.jpg"}, {}, {}, {"a.jpg", "c.jpg"}, Steps(2, {1, 2}), kDone},
    {"NothingUploadableSaysSo", {}, {"x.jpg", "y.jpg"}, {}, {}, {}, {},
     QStringLiteral("送信結果: 送信できる画像がありませんでした。\n読み込めない画像は送信できません。")},
    {"CancelWhileSecondIsPostedCompletesItAndSendsNoMore", kAbcd, {}, {{"b.jpg", Reaction::ClickCancel}}, {},
     {"a.jpg", "b.jpg"}, Steps(4, {1, 2}).mid(0, 4),
     QStringLiteral("送信結果: 4枚中 2枚を送信しました。\n転送を中断したため、2枚は送信していません。\n\n"
                    "送信されなかった画像:\nc.jpg\nd.jpg") + kAskResend,
     {R::Ok, R::Ok, R::Cancel}},
    // "OVER" answers a photo that was kept and filled the order: it is sent, the rest is not offered again.
    {"OverAtSecondCountsItSentAndPostsNoMore", kAbcd, {}, {{"b.jpg", Reaction::Over}}, {}, {"a.jpg", "b.jpg"},
     Steps(4, {1, 2}),
     QStringLiteral("送信結果: 4枚中 2枚を送信しました。\nご注文が上限の3,000枚に達したため、2枚は送信していません。"
                    "\n\n送信されなかった画像:\nc.jpg\nd.jpg")},
    {"ErrorStatusAndUnreadableFileFailOnlyThemselves", kAbcd, {}, {{"b.jpg", Reaction::ServerError}}, {"c.jpg"},
     {"a.jpg", "b.jpg", "d.jpg"}, Steps(4, {1, 2, 4}),
     QStringLiteral("送信結果: 4枚中 2枚を送信しました。\n2枚は通信エラー、サービスのエラー、またはファイルが読めないため"
                    "送信できませんでした。\n\n送信されなかった画像:\nb.jpg\nc.jpg") + kAskResend,
     {R::Ok, R::Cancel}},
    // Sending again is a new batch behind the same question, of just the photos that did not arrive.
    {"FailedPhotoIsSentAgainOnRequest", kAbcd, {}, {{"b.jpg", Reaction::ServerErrorOnce}}, {},
     {"a.jpg", "b.jpg", "c.jpg", "d.jpg", "b.jpg"}, Steps(4, {1, 2, 3, 4}) + QStringList{kPost}, kDone},
};

class UploadBatchTest : public UploadTest, public ::testing::WithParamInterface<BatchCase> {};

TEST_P(UploadBatchTest, SendsReportsAndEndsAtTheLastGuidePage)
{
    const BatchCase& c = GetParam();
    StartWithPhotos(c.photos, c.noPictures);
    for (const QString& gone : c.deletedBeforeStart)
        ASSERT_TRUE(QFile::remove(folder + '/' + gone));
    TForm2& dialog = program->Form2;
    dialogs.answers = c.answers;
    std::map<std::string, int> posts;
    server.SetHandler([&](const ReceivedRequest& r) {
        if (r.method != "POST")
            return UploadTestServer::ServiceAnswer(r);
        const auto it = c.reactions.find(r.UploadFileName());
        const bool first = ++posts[r.UploadFileName()] == 1;
        switch (it == c.reactions.end() ? Reaction::Ok : it->second) {
        case Reaction::Over:
            return ServerAnswer{200, "OVER"};
        case Reaction::ServerErrorOnce:
            if (!first)
                break;
            [[fallthrough]];
        case Reaction::ServerError:
            return ServerAnswer{500, "broken"};
        case Reaction::ClickCancel:
            // The click waits for the window's next pump, which comes after this reply.
            AtNextPump([&] { dialog.CancelButton->click(); });
            return ServerAnswer{200, "OK"};
        case Reaction::Ok:
            break;
        }
        return ServerAnswer{200, "OK"};
    });

    RunBatch();

    EXPECT_EQ(server.UploadedNames(), c.posted);
    EXPECT_EQ(events, c.progress);
    ASSERT_FALSE(dialogs.messages.isEmpty());
    EXPECT_EQ(dialogs.messages.front(), QStringLiteral("確認: 画像を送信します。宜しいですか？"));
    EXPECT_EQ(dialogs.messages.back(), c.report);
    EXPECT_EQ(dialogs.messages.contains(QStringLiteral("確認: 転送を中断しますか？")),
              c.reactions.count("b.jpg") && c.reactions.at("b.jpg") == Reaction::ClickCancel);
    EXPECT_FALSE(Command().Uploading());
    EXPECT_TRUE(Command().UploadList().empty());
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_TRUE(Form().Actions().ActFileUp->isEnabled());
    EXPECT_TRUE(Form().Actions().ActGoAddPrint->isEnabled());
    EXPECT_EQ(program->Form3.CurrentPage, 3);
    // The next count of the selection brings the command back in line, even when the count is the same.
    QTest::keyRelease(list, Qt::Key_Control);
    EXPECT_EQ(Form().Actions().ActFileUp->isEnabled(), !c.photos.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Batches, UploadBatchTest, ::testing::ValuesIn(kBatchCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Ten names at most, then how many more; the report's text alone, as the batch table shows it whole.
TEST(UploadReport, NamesOfPhotosNotSentStopAtTenAndCountTheRest)
{
    TUploadTally tally{12, 0, 0, 12};
    tally.NotSent = NumberedFiles(QStringLiteral("p"), 12);
    EXPECT_EQ(MakeUploadReport(tally).Text,
              QStringLiteral("12枚中 0枚を送信しました。\n12枚は通信エラー、サービスのエラー、またはファイルが"
                             "読めないため送信できませんでした。\n\n送信されなかった画像:\n") +
                  NumberedFiles(QStringLiteral("p"), 10).join('\n') + QStringLiteral("\nほか 2枚"));
}

// Checks that refuse a batch before it starts: nothing is sent, and the guide still moves on.
TEST_F(UploadTest, RefusedStartsSendNothingAndMoveTheGuide)
{
    struct Case {
        const char* what;
        bool serviceReachable;
        bool select;
        Dialogs::Result answer;
        QStringList messages;
    };
    const Case cases[] = {
        {"no session could be had", false, true, Dialogs::Result::Ok,
         {QStringLiteral("お使いのパソコンでは画像の転送が行えません。")}},
        {"nothing selected", true, false, Dialogs::Result::Ok, {QStringLiteral("エラー: 画像を選択してください。")}},
        {"user declines", true, true, Dialogs::Result::Cancel,
         {QStringLiteral("確認: 画像を送信します。宜しいですか？")}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        StartWithPhotos({QStringLiteral("a.jpg")}, {}, c.serviceReachable ? QString() : kNoService);
        if (c.select)
            list->selectAll();
        dialogs.answers = {c.answer};
        Form().Actions().ActFileUpLoad->trigger();
        EXPECT_EQ(dialogs.messages, c.messages);
        EXPECT_TRUE(server.Uploads().empty());
        EXPECT_TRUE(events.isEmpty());
        EXPECT_FALSE(Command().Uploading());
        EXPECT_EQ(program->Form3.CurrentPage, 3);
        program.reset();
        events.clear();
    }
}

// While a batch runs: the commands are off, a second start is refused, the selection may go, and a
// rescan of the folder changes nothing that is sent.
TEST_F(UploadTest, WhatHappensMeanwhileDoesNotChangeTheBatch)
{
    StartWithPhotos({"a.jpg", "b.jpg", "c.jpg"});
    const QString other = MakePhotoFolder(QStringLiteral("other"), {"x.jpg", "y.jpg"});
    server.SetHandler([&](const ReceivedRequest& r) {
        if (r.method == "POST" && r.UploadFileName() == "a.jpg")
            AtNextPump([&] {
                Form().Actions().ActFileUpLoad->trigger();
                list->clearSelection();
                Local().PcLoad(other);
            });
        return UploadTestServer::ServiceAnswer(r);
    });

    RunBatch(Form().Actions().ActFileUp);

    EXPECT_EQ(server.UploadedNames(), (std::vector<std::string>{"a.jpg", "b.jpg", "c.jpg"}));
    EXPECT_EQ(events.filter(QStringLiteral("post")), QStringList(3, kPost)) << "commands off during the batch";
    EXPECT_EQ(dialogs.messages, (QStringList{QStringLiteral("確認: 画像を送信します。宜しいですか？"),
                                             QStringLiteral("現在画像転送中です"), kDone}));
    EXPECT_EQ(ListedCaptions(), (QStringList{"x.jpg", "y.jpg"}));

    // The command is offered again whatever the selection, and then finds nothing selected.
    EXPECT_TRUE(Form().Actions().ActFileUp->isEnabled());
    dialogs.messages.clear();
    Form().Actions().ActFileUp->trigger();
    EXPECT_EQ(dialogs.messages, QStringList{QStringLiteral("エラー: 画像を選択してください。")});
    EXPECT_EQ(server.Uploads().size(), 3u);
}

// A start refused because a batch runs does not take back the user's cancel.
TEST_F(UploadTest, RefusedSecondStartKeepsTheCancel)
{
    StartWithPhotos({"a.jpg", "b.jpg", "c.jpg"});
    server.SetHandler([&](const ReceivedRequest& r) {
        if (r.method == "POST" && r.UploadFileName() == "a.jpg")
            AtNextPump([&] {
                program->Form2.CancelButton->click();
                Form().Actions().ActFileUpLoad->trigger();
            });
        return UploadTestServer::ServiceAnswer(r);
    });

    dialogs.answers = {R::Ok, R::Ok, R::Cancel};
    RunBatch();

    EXPECT_EQ(server.UploadedNames(), std::vector<std::string>{"a.jpg"});
    EXPECT_EQ(dialogs.messages,
              (QStringList{QStringLiteral("確認: 画像を送信します。宜しいですか？"), QStringLiteral("確認: 転送を中断しますか？"),
                           QStringLiteral("現在画像転送中です"),
                           QStringLiteral("送信結果: 3枚中 1枚を送信しました。\n転送を中断したため、2枚は送信していません。\n\n"
                                          "送信されなかった画像:\nb.jpg\nc.jpg") + kAskResend}));
}

// What goes out for a photo, as the server received it: the fields and the whole file under its path in
// CP932. A cookie the upload's reply sets is not taken.
TEST_F(UploadTest, PostedBodyHoldsTheFieldsAndTheFileAndTheCookieIsNotReadBack)
{
    StartWithPhotos({QStringLiteral("夏の海.JPG")});
    server.SetHandler([](const ReceivedRequest& r) {
        ServerAnswer a = UploadTestServer::ServiceAnswer(r);
        if (r.method == "POST")
            a.extraHeaders = "Set-Cookie: sid=CHANGED; path=/\r\n";
        return a;
    });
    RecordedTraces().clear();

    RunBatch(Form().Actions().ActFileUp);

    EXPECT_EQ(PostingTraces(), kWholePost);
    const auto uploads = server.Uploads();
    ASSERT_EQ(uploads.size(), 1u);
    const ReceivedRequest& r = uploads[0];
    EXPECT_EQ(r.target, "/wis/wi_upload.php/SID123");
    const std::string type = r.Header("Content-Type");
    const std::string prefix = "multipart/form-data; boundary=";
    ASSERT_EQ(type.rfind(prefix, 0), 0u) << type;
    const std::string boundary = type.substr(prefix.size());
    const QString path = folder + QStringLiteral("/夏の海.JPG");
    const std::string expected = "--" + boundary + "\r\nContent-Disposition: form-data; name=\"mode\"\r\n\r\nupload\r\n--" +
                                 boundary + "\r\nContent-Disposition: form-data; name=\"file1\"; filename=\"" +
                                 ToCp932(path).toStdString() +
                                 "\"\r\nContent-Type: image/jpeg\r\nContent-Transfer-Encoding: binary\r\n\r\n" +
                                 ReadFileBytes(path).toStdString() + "\r\n--" + boundary + "--\r\n";
    EXPECT_EQ(r.body, expected);
    EXPECT_EQ(r.Header("Content-Length"), std::to_string(expected.size()));
    EXPECT_EQ(Form().Session().SessionId(), QStringLiteral("SID123"));
    EXPECT_EQ(dialogs.messages.back(), kDone);
}

// A connection that breaks during one post fails that photo only; the next one opens a new connection.
TEST_F(UploadTest, DroppedConnectionFailsOnePhotoAndTheRestArriveOnce)
{
    StartWithPhotos(NumberedFiles(QStringLiteral("p"), 5));
    // More after the JPEG's end than the sockets' buffers hold: the connection breaks while the body is
    // still going out, so the photo surely did not arrive whole.
    {
        QFile photo(folder + QStringLiteral("/p0001.jpg"));
        ASSERT_TRUE(photo.open(QIODevice::Append));
        photo.write(QByteArray(16 << 20, 'x'));
    }
    dialogs.answers = {R::Ok, R::Cancel};
    server.SetHandler([](const ReceivedRequest& r) {
        if (r.method == "POST" && r.UploadFileName() == "p0001.jpg")
            return ServerAnswer{200, {}, {}, true};
        return UploadTestServer::ServiceAnswer(r);
    });
    RecordedTraces().clear();

    RunBatch();

    // The broken post writes no end trace.
    EXPECT_EQ(PostingTraces(), kWholePost + kWholePost.mid(0, 3) + kWholePost + kWholePost + kWholePost);

    std::map<std::string, int> arrivals;
    std::map<std::string, int> connection;
    for (const ReceivedRequest& r : server.Uploads()) {
        ++arrivals[r.UploadFileName()];
        connection[r.UploadFileName()] = r.connection;
    }
    for (const char* name : {"p0000.jpg", "p0002.jpg", "p0003.jpg", "p0004.jpg"})
        EXPECT_EQ(arrivals[name], 1) << name;
    for (const ReceivedRequest& r : server.Uploads())
        if (r.UploadFileName() != "p0001.jpg")
            EXPECT_EQ(std::to_string(r.body.size()), r.Header("Content-Length")) << "whole body";
    EXPECT_EQ(arrivals["p0001.jpg"], 1);
    EXPECT_GT(connection["p0002.jpg"], connection["p0001.jpg"]);
    EXPECT_EQ(dialogs.messages.back(),
              QStringLiteral("送信結果: 5枚中 4枚を送信しました。\n1枚は通信エラー、サービスのエラー、またはファイルが"
                             "読めないため送信できませんでした。\n\n送信されなかった画像:\np0001.jpg\n\n"
                             "中断またはエラーで送信されなかった1枚を、もう一度送信しますか？"));
}

}  // namespace
}  // namespace tovari::test
