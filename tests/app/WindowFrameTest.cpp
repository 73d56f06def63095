// The main window under a window manager that draws frames (run by with-openbox.sh on a private X server).
#include "tests/app/ProgramFixture.h"

#include "platform/profile/IniFile.h"

#include <QGuiApplication>
#include <ostream>

inline void PrintTo(const QRect& r, std::ostream* os)
{
    *os << r.x() << ',' << r.y() << ' ' << r.width() << 'x' << r.height();
}

namespace tovari::test {
namespace {

using WindowFrameTest = ProgramTest;

QRect StoredBounds(const QString& iniPath)
{
    const TIniFile ini(iniPath);
    const QString main = QStringLiteral("MAIN");
    return QRect(ini.ReadInteger(main, QStringLiteral("WindowLeft"), -1), ini.ReadInteger(main, QStringLiteral("WindowTop"), -1),
                 ini.ReadInteger(main, QStringLiteral("WindowWidth"), -1), ini.ReadInteger(main, QStringLiteral("WindowHeight"), -1));
}

// Stored bounds are the outer frame's; restoring them as the inner size made the window grow by its frame
// at every start.
TEST_F(WindowFrameTest, TenStartsAndClosesLeaveTheStoredBoundsAlone)
{
    ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb")) << "run through with-openbox.sh";
    const struct {
        const char* name;
        QByteArray settings;  // empty: a first start
        QRect bounds;
    } cases[] = {
        {"first start", {}, QRect(100, 100, 400, 300)},
        {"stored bounds", "[MAIN]\r\nWindowTop=40\r\nWindowLeft=30\r\nWindowWidth=613\r\nWindowHeight=568\r\n",
         QRect(30, 40, 613, 568)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString iniPath = Start(kNoService).Form1.DataFolder() + QStringLiteral("tovari.ini");
        program.reset();
        QFile::remove(iniPath);
        if (!c.settings.isEmpty())
            WriteFile(iniPath, c.settings);
        QByteArray firstSaved;
        for (int run = 0; run < 10; ++run) {
            SCOPED_TRACE(run);
            Start(kNoService);
            Form().show();
            ASSERT_TRUE(WaitFor([&] { return Form().frameGeometry() != Form().geometry(); }, std::chrono::seconds(5)))
                << "the window manager framed no window";
            EXPECT_TRUE(WaitFor([&] { return Form().frameGeometry() == c.bounds; }, std::chrono::seconds(5)))
                << "on screen: " << testing::PrintToString(Form().frameGeometry());
            Form().close();
            program.reset();
            ASSERT_EQ(StoredBounds(iniPath), c.bounds);
            // The guide's place and everything else stay as they were too.
            if (run == 0)
                firstSaved = ReadFileBytes(iniPath);
            ASSERT_EQ(ReadFileBytes(iniPath), firstSaved);
        }
    }
}

}  // namespace
}  // namespace tovari::test
