#pragma once

#include <QAction>
#include <QObject>
#include <QPointer>
#include <QWidget>
#include <memory>

namespace tovari {

class Dialogs;
class SPILibrary;
class TSPIBitmapRegistration;
class TSPIs;
struct TActionManager1;

// The switch that turns image plug-ins on and off, and the folder they are loaded from. The registry is
// made at most once per run: switching off leaves the loaded plug-ins decoding until the program ends.
class TPluginSwitch : public QObject {
    Q_OBJECT
public:
    // owner is the window the folder browser belongs to; bundledFolder is where it opens (the plug-ins that
    // come with the program).
    TPluginSwitch(Dialogs& dialogs, SPILibrary& library, QWidget* owner, QString bundledFolder,
                  QObject* parent = nullptr);
    ~TPluginSwitch() override;

    bool SpiEnabled = false;
    QString SpiFolder;
    TSPIs* Spis = nullptr;

    // Handler of ActSusiePlugin.
    void ActSusiePluginExecute();
    // True when the user chose a folder; SpiFolder then holds it.
    bool SelectFolderDialog(QWidget* owner);
    // Makes the registry and searches SpiFolder, once per run. Passes on what the search throws.
    void SetSpi();
    // Start-up: when switched on, loads the plug-ins and ticks the command. A failure is shown and start-up
    // goes on.
    void StartUp();

    void BindActions(const TActionManager1& actions);
    void UpdateActions();

    // The plug-ins that come with the program: <prefix>/lib/tovari beside an installed program's bin folder,
    // or the build tree's plugins folder; the program's own folder when neither exists.
    static QString BundledPluginFolder(const QString& applicationFolder);

signals:
    // SpiEnabled or SpiFolder changed (for the settings to follow).
    void Changed();

private:
    Dialogs& dialogs_;
    SPILibrary& library_;
    QPointer<QWidget> owner_;
    QString bundledFolder_;
    QPointer<QAction> action_;
    // Kept out of this header: the graphics layer's headers clash with the service's in one translation unit.
    std::unique_ptr<TSPIBitmapRegistration> registration_;
    std::unique_ptr<TSPIs> spis_;
};

}  // namespace tovari
