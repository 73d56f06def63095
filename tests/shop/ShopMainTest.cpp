#include "tests/common/TestSupport.h"
#include "tests/shop/ShopTestSupport.h"

#include <QProcess>
#include <QRegularExpression>
#include <csignal>

namespace tovari::shop::test {
namespace {

class ShopMainTest : public ::testing::TestWithParam<int> {};

TEST_P(ShopMainTest, ListensPrintsDemoCredentialsAndStopsOnSignal)
{
    QTemporaryDir data;
    ASSERT_TRUE(data.isValid());
    QProcess shop;
    shop.start(TOVARI_SHOP_EXECUTABLE, {"--data", data.path(), "--port", "0", "--quiet"});
    ASSERT_TRUE(shop.waitForStarted(10000));

    QString output;
    const QRegularExpression listening(R"(tovari-shop listening on http://127\.0\.0\.1:(\d+)\n)");
    ASSERT_TRUE(tovari::test::WaitFor([&] {
        output += QString::fromUtf8(shop.readAllStandardOutput());
        return listening.match(output).hasMatch() && output.contains("password: demo-pass");
    })) << output.toStdString();
    EXPECT_TRUE(output.contains("demo@tovari.example"));

    const int port = listening.match(output).captured(1).toInt();
    httplib::Client client("127.0.0.1", port);
    auto reply = client.Get("/wis/wi_login.php/?email=demo@tovari.example&passwd=demo-pass");
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->body, "OK");

    ASSERT_EQ(::kill(pid_t(shop.processId()), GetParam()), 0);
    ASSERT_TRUE(shop.waitForFinished(10000));
    EXPECT_EQ(shop.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(shop.exitCode(), 0);
    EXPECT_TRUE(QFile::exists(data.filePath("shop.sqlite")));
}

INSTANTIATE_TEST_SUITE_P(Signals, ShopMainTest, ::testing::Values(SIGINT, SIGTERM));

TEST(ShopMainArguments, BadArgumentsEndWithUsage)
{
    for (const QStringList& arguments : {QStringList{"--bogus"}, QStringList{"--port"}, QStringList{"--port", "http"},
                                         QStringList{"--order-cap", "0"}}) {
        QProcess shop;
        shop.start(TOVARI_SHOP_EXECUTABLE, arguments);
        ASSERT_TRUE(shop.waitForFinished(10000)) << arguments.join(' ').toStdString();
        EXPECT_EQ(shop.exitCode(), 2) << arguments.join(' ').toStdString();
        EXPECT_TRUE(shop.readAllStandardError().contains("usage: tovari-shop")) << arguments.join(' ').toStdString();
    }
}

}  // namespace
}  // namespace tovari::shop::test
