#include "tests/common/TestSupport.h"
#include "tests/shop/ShopTestSupport.h"

#include <QProcess>
#include <QRegularExpression>
#include <csignal>

namespace tovari::shop::test {
namespace {

// The program listens, prints the demo credentials, and stops cleanly on either signal.
TEST(ShopMain, ListensPrintsDemoCredentialsAndStopsOnSignal)
{
    for (const int signal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(signal);
        QTemporaryDir data;
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
        httplib::Client client("127.0.0.1", listening.match(output).captured(1).toInt());
        auto reply = client.Get("/wis/wi_login.php/?email=demo@tovari.example&passwd=demo-pass");
        ASSERT_TRUE(reply);
        EXPECT_EQ(reply->body, "OK");

        ASSERT_EQ(::kill(pid_t(shop.processId()), signal), 0);
        ASSERT_TRUE(shop.waitForFinished(10000));
        EXPECT_EQ(shop.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(shop.exitCode(), 0);
        EXPECT_TRUE(QFile::exists(data.filePath("shop.sqlite")));
    }
}

TEST(ShopMain, BadArgumentsEndWithUsage)
{
    for (const QStringList& arguments : {QStringList{"--bogus"}, QStringList{"--port"}, QStringList{"--port", "http"},
                                         QStringList{"--order-cap", "0"}}) {
        SCOPED_TRACE(arguments.join(' ').toStdString());
        QProcess shop;
        shop.start(TOVARI_SHOP_EXECUTABLE, arguments);
        ASSERT_TRUE(shop.waitForFinished(10000));
        EXPECT_EQ(shop.exitCode(), 2);
        EXPECT_TRUE(shop.readAllStandardError().contains("usage: tovari-shop"));
    }
}

}  // namespace
}  // namespace tovari::shop::test
