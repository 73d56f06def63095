#include "tests/app/ProgramFixture.h"

#include "app/Helper.h"
#include "platform/Application.h"
#include "platform/Exception.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QCollator>
#include <QCoreApplication>
#include <QDialog>
#include <QTimer>
#include <QEvent>
#include <QFileSystemModel>
#include <QProgressBar>
#include <QScrollBar>
#include <QStatusBar>
#include <QTabBar>
#include <QTreeView>
#include <QTreeWidget>

namespace tovari::test {
namespace {

using StartupTest = ProgramTest;

std::vector<bool> VisibleViews(TForm1& f)
{
    return {PartOf<TLocalPage>(f).isVisibleTo(&f), PartOf<QWidget>(f, QStringLiteral("OrderView")).isVisibleTo(&f),
            PartOf<TBigImageView>(f).isVisibleTo(&f), PartOf<TAlbumPage>(f).isVisibleTo(&f)};
}

TEST_F(StartupTest, FirstStartShowsTheLocalViewAndTheGuide)
{
    TProgram& p = Start();
    TForm1& f = p.Form1;
    EXPECT_EQ(f.windowTitle(), QStringLiteral("Velmo.ネットの写真屋さん トヴァリ v20080101"));
    EXPECT_EQ(Tabs().currentIndex(), 0);
    EXPECT_EQ(VisibleViews(f), (std::vector<bool>{true, false, false, false}));
    EXPECT_EQ(f.CurrentView(), 0);
    EXPECT_TRUE(p.Form3.isVisible());
    // The shop issued a session: photos can be sent without logging in.
    EXPECT_FALSE(f.Session().SessionId().isEmpty());
    EXPECT_TRUE(f.Session().TransferReady());
    EXPECT_FALSE(f.Session().LoggedIn());
    EXPECT_EQ(f.StatusText(), QString());
    EXPECT_FALSE(Scheduler().StopTimerActive());
    EXPECT_FALSE(Local().PcImageDrawTimer.isActive());
    EXPECT_FALSE(PartOf<QProgressBar>(f, QStringLiteral("Gauge1")).isVisible());

    const QStringList tabs{Tabs().tabText(0), Tabs().tabText(1), Tabs().tabText(2)};
    EXPECT_EQ(tabs, (QStringList{QStringLiteral("あなたの パ ソ コ ン"), QStringLiteral("　注　文　"),
                                 QStringLiteral("　画　像　")}));
    // A refused login leaves the album tree empty.
    EXPECT_EQ(Album().AlbumTreeView->topLevelItemCount(), 0);
    // The folder tree opens down to the home folder and, once the folders around it are listed and sorted,
    // scrolls it to the top, its subfolders below it, as a file dialog does.
    f.show();
    auto& tree = PartOf<QTreeView>(f, QStringLiteral("PcTreeView"));
    const auto* folders = static_cast<const QFileSystemModel*>(tree.model());
    QCollator natural;
    natural.setNumericMode(true);
    natural.setCaseSensitivity(Qt::CaseInsensitive);
    EXPECT_TRUE(WaitFor([&] {
        const QModelIndex home = folders->index(QDir::homePath());
        const QString name = home.data().toString();
        const QString above = home.siblingAtRow(home.row() - 1).data().toString();
        const QString below = home.siblingAtRow(home.row() + 1).data().toString();
        const QRect row = tree.visualRect(home);
        return folders->rowCount(home.parent()) > 1 && folders->rowCount(home.parent().parent()) > 1 &&
               (above.isEmpty() || natural.compare(above, name) < 0) && (below.isEmpty() || natural.compare(name, below) < 0) &&
               row.bottom() < tree.viewport()->height() &&
               (row.top() == 0 || (row.top() > 0 && tree.verticalScrollBar()->value() == tree.verticalScrollBar()->maximum()));
    }));
}

TEST_F(StartupTest, DataFolderThatCannotBeMadeIsReportedAndStartUpGoesOn)
{
    // A file where the data root should be: no folder can be made below it, whoever runs the test.
    const QString blocker = WriteFile(sandbox.filePath(QStringLiteral("blocker")), "x");
    qputenv("XDG_DATA_HOME", (blocker + QStringLiteral("/data")).toLocal8Bit());
    Start();
    EXPECT_EQ(dialogs.messages, QStringList{QStringLiteral("フォルダ作成エラーが発生しました")});
    EXPECT_EQ(Tabs().currentIndex(), 0);
    EXPECT_TRUE(Local().isVisibleTo(&Form()));
}

TEST_F(StartupTest, ViewSelectShowsOneViewAndKeepsTheLastListView)
{
    Start();
    TForm1& f = Form();
    struct Step {
        int tab;
        std::vector<bool> visible;
        int currentView;
    };
    const Step steps[] = {
        {2, {false, false, true, false}, 0},
        {3, {false, false, false, true}, 3},
        {2, {false, false, true, false}, 3},
        {1, {false, true, false, false}, 1},
        {0, {true, false, false, false}, 0},
        {1, {false, true, false, false}, 1},
        {1, {false, true, false, false}, 1},
    };
    for (const Step& s : steps) {
        Tabs().setCurrentIndex(s.tab);
        EXPECT_EQ(VisibleViews(f), s.visible) << "tab " << s.tab;
        EXPECT_EQ(f.CurrentView(), s.currentView) << "tab " << s.tab;
    }
    f.ViewSelect(7);
    EXPECT_EQ(VisibleViews(f), (std::vector<bool>{false, false, false, false}));
    // The order tab opens its page each time it is chosen (not when it is chosen again while shown); the
    // album tab, logged out, asks nothing of anyone.
    const QString page = DemoShopUrl() + QStringLiteral("/wis/order.php?mode=select&sid=") + f.Session().SessionId();
    EXPECT_EQ(urlCatcher.urls, (QStringList{page, page}));
}

// An object whose event handler fails, as a handler of the program may.
class FailingReceiver : public QObject {
public:
    bool event(QEvent* e) override
    {
        if (e->type() == QEvent::User)
            throw Exception(QStringLiteral("処理に失敗しました"));
        return QObject::event(e);
    }
};

TEST(ApplicationTest, AnErrorEscapingAHandlerIsShownAndTheProgramGoesOn)
{
    auto* app = qobject_cast<TApplication*>(QCoreApplication::instance());
    ASSERT_NE(app, nullptr);
    RecordingDialogs dialogs;
    app->SetDialogs(&dialogs);
    FailingReceiver receiver;
    QCoreApplication::postEvent(&receiver, new QEvent(QEvent::User));
    QCoreApplication::postEvent(&receiver, new QEvent(QEvent::User));
    EXPECT_TRUE(WaitFor([&] { return dialogs.messages.size() == 2; }));
    app->SetDialogs(nullptr);
    EXPECT_EQ(dialogs.messages.value(0), QStringLiteral("処理に失敗しました"));
}

// What a screen reader meets in the three windows: every control has a Japanese name (its caption or a
// short description), and lists and trees show it no column the user does not see.
TEST_F(StartupTest, ScreenReadersFindAJapaneseNameOnEveryControl)
{
    TProgram& p = Start();
    p.Form1.show();
    p.Form2.show();
    p.LoginDialog.show();
    const QSet<QAccessible::Role> controls = {
        QAccessible::List,       QAccessible::Tree,        QAccessible::ToolBar,   QAccessible::PushButton,
        QAccessible::ButtonMenu, QAccessible::EditableText, QAccessible::CheckBox, QAccessible::PageTabList,
        QAccessible::PageTab,    QAccessible::StatusBar,   QAccessible::MenuBar,   QAccessible::MenuItem,
        QAccessible::ProgressBar, QAccessible::Table,      QAccessible::ComboBox,  QAccessible::Dialog,
        QAccessible::Window};
    const auto japanese = [](const QString& text) {
        return std::any_of(text.begin(), text.end(), [](QChar c) { return c.unicode() >= 0x3000; });
    };
    const struct {
        const char* name;
        QWidget* window;
        int tab;
    } windows[] = {{"local tab", &p.Form1, 0},         {"order tab", &p.Form1, 1}, {"album tab", &p.Form1, 3},
                   {"login dialog", &p.LoginDialog, 0}, {"progress dialog", &p.Form2, 0}};
    for (const auto& w : windows) {
        SCOPED_TRACE(w.name);
        Tabs().setCurrentIndex(w.tab);
        int checked = 0;
        std::function<void(QAccessibleInterface*)> visit = [&](QAccessibleInterface* node) {
            if (node->state().invisible)
                return;
            const QString name = node->text(QAccessible::Name);
            if (controls.contains(node->role())) {
                ++checked;
                EXPECT_TRUE(japanese(name)) << "role " << node->role() << " named \"" << name.toStdString() << "\" ("
                                            << node->object()->objectName().toStdString() << ")";
            }
            if (QAccessibleTableInterface* table = node->tableInterface()) {
                EXPECT_LE(table->columnCount(), 1) << node->object()->objectName().toStdString();
                return;  // the items are the user's files and folders
            }
            for (int i = 0; i < node->childCount(); ++i)
                visit(node->child(i));
        };
        visit(QAccessible::queryAccessibleInterface(w.window));
        EXPECT_GT(checked, 2);
    }
}

// Qt's own dialogs speak Japanese like the rest of the program: the send confirmation reads キャンセル.
// The input box takes its buttons from the same translation.
TEST(ApplicationTest, QtsOwnButtonsAreJapanese)
{
    QtDialogs dialogs(kApplicationTitle);
    QStringList captions;
    // Reads the buttons once the box is up, then dismisses it.
    std::function<void()> read = [&] {
        auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!modal)
            return QTimer::singleShot(0, read);
        for (const QAbstractButton* button : modal->findChildren<QAbstractButton*>())
            captions.append(button->text());
        modal->reject();
    };
    QTimer::singleShot(0, read);
    dialogs.MessageBox(nullptr, QStringLiteral("送信しますか"), QStringLiteral("確認"), Dialogs::Buttons::OkCancel,
                       Dialogs::Icon::Information);
    captions.sort();
    EXPECT_EQ(captions, (QStringList{QStringLiteral("OK"), QStringLiteral("キャンセル")}));
}

// The guide goes with the window, also when no event loop runs that would close every window at the end.
TEST_F(StartupTest, ExitClosesTheWindowAndHidesTheGuide)
{
    TProgram& p = Start();
    p.Form1.show();
    p.Form1.Actions().Exit->trigger();
    EXPECT_FALSE(p.Form1.isVisible());
    EXPECT_FALSE(p.Form3.isVisible());
}

}  // namespace
}  // namespace tovari::test
