// Reading and writing the settings file of the main window.
#include "app/Helper.h"
#include "app/Unit1.h"
#include "platform/profile/IniFile.h"

#include <QSplitter>
#include <QTreeView>
#include <QTreeWidget>

namespace tovari {

namespace {

const QString kMain = QStringLiteral("MAIN");

void SetPaneWidth(QSplitter* splitter, int width)
{
    const int total = std::max(splitter->width(), width + 1);
    splitter->setSizes({width, total - width});
}

}  // namespace

void TForm1::LoadIniFile()
{
    const TIniFile ini(DataFolder + QStringLiteral("tovari.ini"));
    // The position is the outer frame's; the size is the client area's, which keeps it stable
    // whatever frame the desktop draws around the window.
    move(ini.ReadInteger(kMain, QStringLiteral("WindowLeft"), 100), ini.ReadInteger(kMain, QStringLiteral("WindowTop"), 100));
    resize(ini.ReadInteger(kMain, QStringLiteral("WindowWidth"), 400),
           ini.ReadInteger(kMain, QStringLiteral("WindowHeight"), 300));
    NavigateWindow = ini.ReadBool(kMain, QStringLiteral("NavigateWindow"), true);
    navigateWindow_.move(ini.ReadInteger(kMain, QStringLiteral("NaviWindowLeft"), 100),
                         ini.ReadInteger(kMain, QStringLiteral("NaviWindowTop"), 410));
    navigateWindow_.SetShowAtStartup(NavigateWindow);
    SetPaneWidth(PcSplitter, ini.ReadInteger(kMain, QStringLiteral("PcViewWidth"), 100));
    SetPaneWidth(AlbumSplitter, ini.ReadInteger(kMain, QStringLiteral("AlbumViewWidth"), 100));
    SessionId = ini.ReadString(QStringLiteral("NETWORK"), QStringLiteral("QmoSessionId"), QString());
    SpiEnabled = ini.ReadBool(QStringLiteral("PLUGIN"), QStringLiteral("Spi"), false);
    SpiFolder = ini.ReadString(QStringLiteral("PLUGIN"), QStringLiteral("SpiFolder"), QString());
}

void TForm1::SaveIniFile()
{
    TIniFile ini(DataFolder + QStringLiteral("tovari.ini"));
    ini.WriteInteger(kMain, QStringLiteral("WindowTop"), pos().y());
    ini.WriteInteger(kMain, QStringLiteral("WindowLeft"), pos().x());
    ini.WriteInteger(kMain, QStringLiteral("WindowWidth"), width());
    ini.WriteInteger(kMain, QStringLiteral("WindowHeight"), height());
    ini.WriteInteger(kMain, QStringLiteral("NaviWindowTop"), navigateWindow_.pos().y());
    ini.WriteInteger(kMain, QStringLiteral("NaviWindowLeft"), navigateWindow_.pos().x());
    NavigateWindow = navigateWindow_.ShowAtStartup();
    ini.WriteBool(kMain, QStringLiteral("NavigateWindow"), NavigateWindow);
    ini.WriteInteger(kMain, QStringLiteral("PcViewWidth"), PcTreeView->width());
    ini.WriteInteger(kMain, QStringLiteral("AlbumViewWidth"), AlbumTreeView->width());
    ini.WriteString(QStringLiteral("NETWORK"), QStringLiteral("QmoSessionId"), SessionId);
    ini.WriteBool(QStringLiteral("PLUGIN"), QStringLiteral("Spi"), SpiEnabled);
    ini.WriteString(QStringLiteral("PLUGIN"), QStringLiteral("SpiFolder"), SpiFolder);
}

}  // namespace tovari
