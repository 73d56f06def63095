// Reading and writing the settings file of the main window.
#include "app/Helper.h"
#include "app/Unit1.h"

#include "album/AlbumPage.h"
#include "app/PluginSwitch.h"
#include "local/LocalPage.h"
#include "platform/profile/IniFile.h"

#include <QShowEvent>
#include <QSplitter>
#include <QMoveEvent>
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
    // Bounds are the outer frame's. The frame's own size is known only once the window is framed, so
    // the client area is corrected then (FitStoredFrame).
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
    FitStoredFrame();
}

void TForm1::moveEvent(QMoveEvent* event)
{
    QMainWindow::moveEvent(event);
    FitStoredFrame();
}

// The settings give the outer size. A window manager frames the window only after it is mapped, and
// moves the inner area into the frame then; that move is the first moment the frame's size is known.
// The frame is taken off once, unless the window has been sized otherwise meanwhile.
void TForm1::FitStoredFrame()
{
    if (!pendingFrameSize_.isValid() || !isVisible())
        return;
    const QSize frame = frameGeometry().size() - size();
    if (frame.isNull())
        return;
    if (size() == pendingFrameSize_)
        resize(pendingFrameSize_ - frame);
    pendingFrameSize_ = QSize();
}

}  // namespace tovari
