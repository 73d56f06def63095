#include "app/PluginSwitch.h"
#include "platform/Commands.h"
#include "spi/SPIs.h"
#include "tests/common/RecordingDialogs.h"
#include "tests/common/TestSupport.h"
#include "tests/spi/SpiTestSupport.h"

#include <QAction>
#include <QDir>
#include <QTemporaryDir>
#include <QWidget>
#include <gtest/gtest.h>

namespace tovari {
namespace {

using test::FakeLibrary;
using test::FakePlugin;

const QString kTitle = QStringLiteral("Susie プラグインフォルダを選んで下さい");

TActionManager1 Actions(QAction& actSusiePlugin)
{
    TActionManager1 actions;
    actions.ActSusiePlugin = &actSusiePlugin;
    return actions;
}

class PluginSwitch : public ::testing::Test {
protected:
    QTemporaryDir dir;
    FakeLibrary library;
    test::RecordingDialogs dialogs;
    QWidget window;
    QAction action{QStringLiteral("Susie プラグインを使う")};
    TPluginSwitch plugins{dialogs, library, &window, QStringLiteral("/bundled/plugins")};

    // Whether it is on, its tick, its folder and how many plug-ins are loaded (-1: no registry yet).
    std::tuple<bool, bool, QString, int> State() const
    {
        return {plugins.SpiEnabled, action.isChecked(), plugins.SpiFolder, plugins.Spis ? plugins.Spis->Count() : -1};
    }
};

TEST_F(PluginSwitch, SwitchingOnAsksForTheFolderAndLoadsItOncePerRun)
{
    FakePlugin a = test::ImportPlugin(), b = test::ImportPlugin();
    const QString first = dir.filePath("first"), second = dir.filePath("second");
    library.AddFile(first + "/a.spi", a);
    library.AddFile(second + "/b.spi", b);
    plugins.BindActions(Actions(action));
    EXPECT_TRUE(action.isCheckable());
    int changes = 0;
    QObject::connect(&plugins, &TPluginSwitch::Changed, [&] { ++changes; });

    // Cancelled: still off, no tick, no registry.
    dialogs.folders = {QString()};
    action.trigger();
    EXPECT_EQ(State(), std::tuple(false, false, QString(), -1));
    EXPECT_EQ(dialogs.messages, QStringList{kTitle});
    EXPECT_EQ(dialogs.browseStarts, QStringList{"/bundled/plugins"});

    // Chosen: on, ticked, the folder searched.
    dialogs.folders = {first};
    action.trigger();
    EXPECT_EQ(State(), std::tuple(true, true, first, 1));
    EXPECT_EQ(plugins.Spis, TSPIs::GetSPIs());

    // Off: the plug-ins stay loaded; on again asks and stores a new folder but loads nothing from it.
    action.trigger();
    EXPECT_EQ(State(), std::tuple(false, false, first, 1));
    dialogs.folders = {second};
    action.trigger();
    EXPECT_EQ(State(), std::tuple(true, true, second, 1));
    EXPECT_EQ(library.OpenCount(second + "/b.spi"), 0);
    EXPECT_EQ(dialogs.messages.count(kTitle), 3);
    EXPECT_EQ(changes, 3);
}

TEST_F(PluginSwitch, StartUpLoadsWhenSwitchedOnAndGoesOnAfterAFailure)
{
    FakePlugin good = test::ImportPlugin(), broken = test::ImportPlugin();
    broken.exports.erase("GetPicture");
    const QString folder = dir.filePath("p");
    library.AddFile(folder + "/a.spi", good);
    const QString brokenPath = library.AddFile(folder + "/b.spi", broken);
    library.AddFile(folder + "/c.spi", good);
    plugins.BindActions(Actions(action));

    plugins.StartUp();
    EXPECT_EQ(State(), std::tuple(false, false, QString(), -1));

    plugins.SpiEnabled = true;
    plugins.SpiFolder = folder;
    plugins.StartUp();
    EXPECT_EQ(dialogs.messages,
              QStringList{QStringLiteral("GetPictureは[%1]では使えないSusie Plugin APIです").arg(brokenPath)});
    EXPECT_EQ(State(), std::tuple(true, true, folder, 1));
    // The registry exists now, so a second call searches nothing.
    plugins.SetSpi();
    EXPECT_EQ(State(), std::tuple(true, true, folder, 1));
    EXPECT_EQ(dialogs.messages.size(), 1);
}

TEST_F(PluginSwitch, AnEmptyFolderSearchesTheRootAndTheBundledFolderIsFound)
{
    FakePlugin plugin = test::ImportPlugin();
    library.Add(QStringLiteral("/tovari-test-none.spi"), plugin);
    plugins.SpiEnabled = true;
    plugins.StartUp();
    EXPECT_EQ(State(), std::tuple(true, false, QString(), 0));
    EXPECT_TRUE(dialogs.messages.isEmpty());

    // Installed: <prefix>/bin beside <prefix>/lib/tovari; built: <build>/app beside <build>/plugins.
    for (const auto& [program, bundled] : {std::pair("prefix/bin", "prefix/lib/tovari"),
                                           std::pair("build/app", "build/plugins"), std::pair("bare/bin", "bare/bin")}) {
        ASSERT_TRUE(QDir(dir.path()).mkpath(program) && QDir(dir.path()).mkpath(bundled));
        EXPECT_EQ(TPluginSwitch::BundledPluginFolder(dir.filePath(program)), dir.filePath(bundled));
    }
}

}  // namespace
}  // namespace tovari
