// Reading and writing the settings file of the main window.
#include "app/Helper.h"
#include "app/Unit1.h"

#include "album/AlbumPage.h"
#include "app/PluginSwitch.h"
#include "local/LocalPage.h"
#include "platform/profile/IniFile.h"

#include <QShowEvent>
#include <QSplitter>
#include <QTimer>
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
    const TIniFile ini(dataFolder_ + QStringLiteral("tovari.ini"));
    // Bounds are the outer frame's. The frame's own size is known only once the window is on screen,
    // so the client area is corrected then (showEvent).
    move(ini.ReadInteger(kMain, QStringLiteral("WindowLeft"), 100), ini.ReadInteger(kMain, QStringLiteral("WindowTop"), 100));
    pendingFrameSize_ = QSize(ini.ReadInteger(kMain, QStringLiteral("WindowWidth"), 400),
                              ini.ReadInteger(kMain, QStringLiteral("WindowHeight"), 300));
    resize(pendingFrameSize_);
    NavigateWindow = ini.ReadBool(kMain, QStringLiteral("NavigateWindow"), true);
    navigateWindow_.move(ini.ReadInteger(kMain, QStringLiteral("NaviWindowLeft"), 100),
                         ini.ReadInteger(kMain, QStringLiteral("NaviWindowTop"), 410));
    navigateWindow_.SetShowAtStartup(NavigateWindow);
    SetPaneWidth(local_->PcSplitter, ini.ReadInteger(kMain, QStringLiteral("PcViewWidth"), 100));
    SetPaneWidth(album_->AlbumSplitter, ini.ReadInteger(kMain, QStringLiteral("AlbumViewWidth"), 100));
    session_.SetSessionId(ini.ReadString(QStringLiteral("NETWORK"), QStringLiteral("QmoSessionId"), QString()));
    plugins_->SpiEnabled = ini.ReadBool(QStringLiteral("PLUGIN"), QStringLiteral("Spi"), false);
    plugins_->SpiFolder = ini.ReadString(QStringLiteral("PLUGIN"), QStringLiteral("SpiFolder"), QString());
}

void TForm1::SaveIniFile()
{
    TIniFile ini(dataFolder_ + QStringLiteral("tovari.ini"));
    const QRect frame = frameGeometry();
    ini.WriteInteger(kMain, QStringLiteral("WindowTop"), frame.top());
    ini.WriteInteger(kMain, QStringLiteral("WindowLeft"), frame.left());
    ini.WriteInteger(kMain, QStringLiteral("WindowWidth"), frame.width());
    ini.WriteInteger(kMain, QStringLiteral("WindowHeight"), frame.height());
    ini.WriteInteger(kMain, QStringLiteral("NaviWindowTop"), navigateWindow_.pos().y());
    ini.WriteInteger(kMain, QStringLiteral("NaviWindowLeft"), navigateWindow_.pos().x());
    NavigateWindow = navigateWindow_.ShowAtStartup();
    ini.WriteBool(kMain, QStringLiteral("NavigateWindow"), NavigateWindow);
    ini.WriteInteger(kMain, QStringLiteral("PcViewWidth"), local_->PcTreeView->width());
    ini.WriteInteger(kMain, QStringLiteral("AlbumViewWidth"), album_->AlbumTreeView->width());
    ini.WriteString(QStringLiteral("NETWORK"), QStringLiteral("QmoSessionId"), session_.SessionId());
    ini.WriteBool(QStringLiteral("PLUGIN"), QStringLiteral("Spi"), plugins_->SpiEnabled);
    ini.WriteString(QStringLiteral("PLUGIN"), QStringLiteral("SpiFolder"), plugins_->SpiFolder);
}

}  // namespace tovari

namespace tovari {

void TForm1::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (!pendingFrameSize_.isValid())
        return;
    // The settings give the outer size; take the frame off once the desktop has said how big it is,
    // unless the window has been sized otherwise meanwhile.
    const auto fitFrame = [this] {
        const QSize frame = frameGeometry().size() - size();
        if (!pendingFrameSize_.isValid() || frame.isNull())
            return;
        if (size() == pendingFrameSize_)
            resize(pendingFrameSize_ - frame);
        pendingFrameSize_ = QSize();
    };
    fitFrame();
    QTimer::singleShot(0, this, fitFrame);
}

}  // namespace tovari
