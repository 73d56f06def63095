#include "app/PluginSwitch.h"

#include "platform/Commands.h"

#include "platform/Dialogs.h"
#include "spi/SPIBmp.h"
#include "spi/SPIs.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>

namespace tovari {

TPluginSwitch::TPluginSwitch(Dialogs& dialogs, SPILibrary& library, QWidget* owner, QString bundledFolder,
                             QObject* parent)
    : QObject(parent),
      dialogs_(dialogs),
      library_(library),
      owner_(owner),
      bundledFolder_(std::move(bundledFolder)),
      registration_(std::make_unique<TSPIBitmapRegistration>())
{
}

TPluginSwitch::~TPluginSwitch()
{
    // The libraries close before the plug-in formats leave the picture-format registry.
    spis_.reset();
    registration_.reset();
}

void TPluginSwitch::ActSusiePluginExecute()
{
    if (SpiEnabled) {
        SpiEnabled = false;
        UpdateActions();
        emit Changed();
        return;
    }
    if (!SelectFolderDialog(owner_)) {
        UpdateActions();
        return;
    }
    SpiEnabled = true;
    UpdateActions();
    emit Changed();
    SetSpi();
}

bool TPluginSwitch::SelectFolderDialog(QWidget* owner)
{
    const std::optional<QString> folder =
        dialogs_.BrowseForFolder(owner, QStringLiteral("Susie プラグインフォルダを選んで下さい"), bundledFolder_);
    if (!folder)
        return false;
    SpiFolder = *folder;
    return true;
}

void TPluginSwitch::SetSpi()
{
    if (Spis)
        return;
    spis_ = std::make_unique<TSPIs>(library_);
    Spis = spis_.get();
    Spis->Search(SpiFolder + QStringLiteral("/*.spi"));
}

void TPluginSwitch::StartUp()
{
    if (!SpiEnabled)
        return;
    try {
        SetSpi();
    } catch (const Exception& e) {
        // A broken plug-in must not keep the program from starting; the user is told and can switch off.
        dialogs_.ShowMessage(e.Message());
    } catch (const std::exception& e) {
        dialogs_.ShowMessage(QString::fromUtf8(e.what()));
    }
    UpdateActions();
}

void TPluginSwitch::BindActions(const TActionManager1& actions)
{
    action_ = actions.ActSusiePlugin;
    action_->setCheckable(true);
    connect(action_, &QAction::triggered, this, [this] { ActSusiePluginExecute(); });
    UpdateActions();
}

void TPluginSwitch::UpdateActions()
{
    if (action_)
        action_->setChecked(SpiEnabled);
}

QString TPluginSwitch::BundledPluginFolder(const QString& applicationFolder)
{
    const QDir app(applicationFolder);
    for (const QString& candidate : {QStringLiteral("../lib/tovari"), QStringLiteral("../plugins")}) {
        const QFileInfo folder(app.filePath(candidate));
        if (folder.isDir())
            return QDir::cleanPath(folder.absoluteFilePath());
    }
    return QDir::cleanPath(app.absolutePath());
}

}  // namespace tovari
