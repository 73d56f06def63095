#include "app/PluginSwitch.h"
#include "platform/Commands.h"
#include "spi/SPIs.h"
#include "tests/common/RecordingDialogs.h"
#include "tests/common/TestSupport.h"
#include "tests/spi/FakePlugins.h"

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
    QString Place(const QString& folder, const QString& name, FakePlugin& plugin)
    {
        const QString path = test::WriteFile(folder + QLatin1Char('/') + name, "plug-in");
        library.Add(path, plugin);
        return path;
    }

    QTemporaryDir dir;
    FakeLibrary library;
    test::RecordingDialogs dialogs;
    QWidget window;
    QAction action{QStringLiteral("Susie プラグインを使う")};
    TPluginSwitch plugins{dialogs, library, &window, QStringLiteral("/bundled/plugins")};
};

TEST_F(PluginSwitch, SwitchingOnAsksForTheFolderAndLoadsItOncePerRun)
{
    FakePlugin a = test::ImportPlugin(), b = test::ImportPlugin();
    const QString first = dir.filePath("first"), second = dir.filePath("second");
    Place(first, "a.spi", a);
    Place(second, "b.spi", b);
    plugins.BindActions(Actions(action));
    EXPECT_TRUE(action.isCheckable());
    int changes = 0;
    QObject::connect(&plugins, &TPluginSwitch::Changed, [&] { ++changes; });

    // Cancelled: still off, no tick, no registry.
    dialogs.folders = {QString()};
    action.trigger();
    EXPECT_FALSE(plugins.SpiEnabled);
    EXPECT_FALSE(action.isChecked());
    EXPECT_EQ(plugins.Spis, nullptr);
    EXPECT_EQ(dialogs.messages, QStringList{kTitle});
    EXPECT_EQ(dialogs.browseStarts, QStringList{"/bundled/plugins"});

    // Chosen: on, ticked, the folder searched.
    dialogs.folders = {first};
    action.trigger();
    EXPECT_TRUE(plugins.SpiEnabled);
    EXPECT_TRUE(action.isChecked());
    EXPECT_EQ(plugins.SpiFolder, first);
    ASSERT_NE(plugins.Spis, nullptr);
    EXPECT_EQ(plugins.Spis, TSPIs::GetSPIs());
    EXPECT_EQ(plugins.Spis->Count(), 1);

    // Off: the plug-ins stay loaded; on again asks and stores a new folder but loads nothing from it.
    action.trigger();
    EXPECT_FALSE(plugins.SpiEnabled);
    EXPECT_FALSE(action.isChecked());
    EXPECT_EQ(plugins.Spis->Count(), 1);
    dialogs.folders = {second};
    action.trigger();
    EXPECT_TRUE(plugins.SpiEnabled);
    EXPECT_EQ(plugins.SpiFolder, second);
    EXPECT_EQ(plugins.Spis->Count(), 1);
    EXPECT_EQ(library.OpenCount(second + "/b.spi"), 0);
    EXPECT_EQ(dialogs.messages.count(kTitle), 3);
    EXPECT_EQ(changes, 3);
}

TEST_F(PluginSwitch, StartUpLoadsWhenSwitchedOnAndGoesOnAfterAFailure)
{
    FakePlugin good = test::ImportPlugin(), broken = test::ImportPlugin(), later = test::ImportPlugin();
    broken.exports.erase("GetPicture");
    const QString folder = dir.filePath("p");
    Place(folder, "a.spi", good);
    const QString brokenPath = Place(folder, "b.spi", broken);
    Place(folder, "c.spi", later);
    plugins.BindActions(Actions(action));

    plugins.StartUp();
    EXPECT_EQ(plugins.Spis, nullptr);
    EXPECT_FALSE(action.isChecked());

    plugins.SpiEnabled = true;
    plugins.SpiFolder = folder;
    plugins.StartUp();
    EXPECT_EQ(dialogs.messages,
              QStringList{QStringLiteral("GetPictureは[%1]では使えないSusie Plugin APIです").arg(brokenPath)});
    EXPECT_TRUE(action.isChecked());
    ASSERT_NE(plugins.Spis, nullptr);
    EXPECT_EQ(plugins.Spis->Count(), 1);
    // The registry exists now, so a second call searches nothing.
    plugins.SetSpi();
    EXPECT_EQ(plugins.Spis->Count(), 1);
    EXPECT_EQ(dialogs.messages.size(), 1);
}

TEST_F(PluginSwitch, AnEmptyFolderSearchesTheRootAndTheBundledFolderIsFound)
{
    FakePlugin plugin = test::ImportPlugin();
    library.Add(QStringLiteral("/tovari-test-none.spi"), plugin);
    plugins.SpiEnabled = true;
    plugins.StartUp();
    ASSERT_NE(plugins.Spis, nullptr);
    EXPECT_EQ(plugins.Spis->Count(), 0);
    EXPECT_TRUE(dialogs.messages.isEmpty());

    // Installed: <prefix>/bin beside <prefix>/lib/tovari; built: <build>/app beside <build>/plugins.
    QDir root(dir.path());
    root.mkpath("prefix/bin");
    root.mkpath("prefix/lib/tovari");
    root.mkpath("build/app");
    root.mkpath("build/plugins");
    root.mkpath("bare/bin");
    EXPECT_EQ(TPluginSwitch::BundledPluginFolder(dir.filePath("prefix/bin")), dir.filePath("prefix/lib/tovari"));
    EXPECT_EQ(TPluginSwitch::BundledPluginFolder(dir.filePath("build/app")), dir.filePath("build/plugins"));
    EXPECT_EQ(TPluginSwitch::BundledPluginFolder(dir.filePath("bare/bin")), dir.filePath("bare/bin"));
}

}  // namespace
}  // namespace tovari
