// The main window's commands and where they are shown.
#include "app/Unit1.h"

#include "album/AlbumPage.h"
#include "app/PluginSwitch.h"
#include "local/LocalPage.h"
#include "platform/Fonts.h"
#include "platform/ImageList.h"
#include "upload/UploadCommand.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>

namespace tovari {

namespace {

struct ActionDeclaration {
    QAction* TActionManager1::*slot;
    const char* name;
    const char* category;  // nullptr: none
    const char* caption;
    const char* hint;
    const char* helpKeyword;
    int icon;                           // index into the icon list, -1: none
};

// Every command, in one place. Whoever serves a command binds its handler (BindActions); a command that
// nobody serves is shown and does nothing.
const ActionDeclaration kActions[] = {
    {&TActionManager1::ActLogin, "ActLogin", "操作", "ログイン(&Login)", nullptr, "ログインします", -1},
    {&TActionManager1::ActLogout, "ActLogout", "操作", "ログアウト(Log&out)", nullptr, "ログアウトします", -1},
    {&TActionManager1::ActRefresh, "ActRefresh", "操作", "最新の情報に更新(&Refresh)", nullptr, nullptr, -1},
    {&TActionManager1::Exit, "Exit", "操作", "終了(E&xit)", nullptr, nullptr, -1},
    {&TActionManager1::ActGoOrder, "ActGoOrder", "操作", "注文ページへ(&Order)", nullptr, nullptr, -1},
    {&TActionManager1::ActDispOrderPageUrl, "ActDispOrderPageUrl", "操作", "注文ページへのURLを表示", nullptr, nullptr,
     -1},
    {&TActionManager1::ActSusiePlugin, "ActSusiePlugin", "プラグイン", "Susie プラグインを使う", nullptr, nullptr, -1},
    {&TActionManager1::ActHelp, "ActHelp", "ヘルプ", "ヘルプ(&Help)", nullptr, "ヘルプを表示します", -1},
    {&TActionManager1::ActShowNavigateWindow, "ActShowNavigateWindow", "ヘルプ", "ナビケーションを表示する(&N)", nullptr,
     nullptr, -1},
    {&TActionManager1::ActNewVersion, "ActNewVersion", "ヘルプ", "最新バージョンの確認", nullptr, nullptr, -1},
    {&TActionManager1::AcTUpFolder, "AcTUpFolder", "その他操作", "上へ", "一つ上のフォルダに移動します", nullptr, 0},
    {&TActionManager1::ActReload, "ActReload", nullptr, "更新", nullptr, nullptr, -1},
    {&TActionManager1::ActFileUpLoad, "ActFileUpLoad", "画像", "画像をアルバムに登録", nullptr, nullptr, -1},
    {&TActionManager1::ActFileUp, "ActFileUp", nullptr, "プリントへ追加", nullptr, nullptr, 3},
    {&TActionManager1::ActDelete, "ActDelete", nullptr, "削除(&Delete)", nullptr, "削除します", -1},
    {&TActionManager1::ActGoAddPrint, "ActGoAddPrint", "アルバム画像", "プリントへ追加", nullptr, nullptr, -1},
    {&TActionManager1::ActAlbumImageProperty, "ActAlbumImageProperty", "アルバム画像", "プロパティ", nullptr, nullptr, -1},
};

// An item with a caption of its own: a stand-in that triggers the action and follows its state.
QAction* ItemWithCaption(QAction* action, const QString& caption, const QIcon& icon, QObject* owner)
{
    auto* item = new QAction(icon.isNull() ? action->icon() : icon, caption, owner);
    item->setObjectName(action->objectName());
    item->setToolTip(action->toolTip());
    item->setStatusTip(action->statusTip());
    QObject::connect(item, &QAction::triggered, action, &QAction::trigger);
    auto follow = [item, action] {
        item->setEnabled(action->isEnabled());
        item->setCheckable(action->isCheckable());
        item->setChecked(action->isChecked());
        item->setVisible(action->isVisible());
    };
    follow();
    QObject::connect(action, &QAction::changed, item, follow);
    return item;
}

}  // namespace

void TForm1::createActions()
{
    for (const ActionDeclaration& d : kActions) {
        auto* action = new QAction(QString::fromUtf8(d.caption), this);
        action->setObjectName(QString::fromUtf8(d.name));
        if (d.category)
            action->setProperty("category", QString::fromUtf8(d.category));
        if (d.hint) {
            action->setToolTip(QString::fromUtf8(d.hint));
            action->setStatusTip(QString::fromUtf8(d.hint));
        }
        if (d.helpKeyword)
            action->setProperty("helpKeyword", QString::fromUtf8(d.helpKeyword));
        if (d.icon >= 0)
            action->setIcon(QIcon(IconImageList->Pixmap(d.icon)));
        ActionManager1.*(d.slot) = action;
    }
    ActionManager1.ActSusiePlugin->setCheckable(true);
}

void TForm1::BindActions()
{
    const TActionManager1& a = ActionManager1;
    connect(a.Exit, &QAction::triggered, this, &TForm1::ExitExecute);
    connect(a.ActGoOrder, &QAction::triggered, this, &TForm1::ActGoOrderExecute);
    connect(a.ActDispOrderPageUrl, &QAction::triggered, this, &TForm1::ActDispOrderPageUrlExecute);
    connect(a.ActHelp, &QAction::triggered, this, &TForm1::ActHelpExecute);
    connect(a.ActNewVersion, &QAction::triggered, this, &TForm1::ActNewVersionExecute);
    connect(a.ActShowNavigateWindow, &QAction::triggered, this, &TForm1::ActShowNavigateWindowExecute);
    LoginService.BindActions(a);
    local_->BindActions(a);
    album_->BindActions(a);
    upload_->BindActions(a);
    plugins_->BindActions(a);
}

void TForm1::createMenus()
{
    TActionManager1& a = ActionManager1;
    auto icon = [this](int i) { return QIcon(IconImageList->Pixmap(i)); };

    ActionMainMenuBar1 = new QMenuBar(this);
    ActionMainMenuBar1->setAccessibleName(QStringLiteral("メニュー"));
    ActionMainMenuBar1->setObjectName(QStringLiteral("ActionMainMenuBar1"));
    ActionMainMenuBar1->setFont(PixelFont(QStringLiteral("MS UI Gothic"), 12));
    ActionMainMenuBar1->setFixedHeight(23);
    ActionMainMenuBar1->setStyleSheet(QStringLiteral("QMenuBar { background: rgb(247, 246, 238); }"));
    setMenuBar(ActionMainMenuBar1);

    QMenu* operate = ActionMainMenuBar1->addMenu(QStringLiteral("操作(&S)"));
    operate->addAction(a.ActLogin);
    operate->addAction(ItemWithCaption(a.ActLogout, QStringLiteral("ログアウト(Logo&ut)"), QIcon(), operate));
    operate->addAction(a.ActGoOrder);
    operate->addAction(ItemWithCaption(a.ActDispOrderPageUrl, QStringLiteral("注文ページへのURLを表示(&R)"), QIcon(), operate));
    operate->addAction(a.ActSusiePlugin);
    operate->addAction(a.Exit);

    QMenu* help = ActionMainMenuBar1->addMenu(QStringLiteral("ヘルプ(&H)"));
    help->addAction(a.ActShowNavigateWindow);
    help->addAction(ItemWithCaption(a.ActNewVersion, QStringLiteral("最新バージョンの確認(&Z)"), QIcon(), help));
    help->addAction(ItemWithCaption(a.ActHelp, QStringLiteral("説明ページへ(Help&page)"), QIcon(), help));

    QToolBar* pcBar = local_->PcActionToolBar;
    pcBar->addAction(ItemWithCaption(a.ActFileUp, QStringLiteral("プリントへ追加(&U)"), icon(3), pcBar));
    pcBar->addAction(ItemWithCaption(a.ActGoOrder, QStringLiteral("Velmo.ネットの写真屋さん 注文ページへ(&O)"), QIcon(), pcBar));
    pcBar->addAction(ItemWithCaption(a.ActLogin, QStringLiteral("アルバム会員ログイン(&Login)"), QIcon(), pcBar));
    pcBar->addAction(a.ActRefresh);

    QToolBar* albumBar = album_->AlbumActionToolBar;
    albumBar->addAction(ItemWithCaption(a.AcTUpFolder, QStringLiteral("上へ(&F)"), icon(0), albumBar));
    albumBar->addAction(ItemWithCaption(a.ActReload, QStringLiteral("更新(&R)"), QIcon(), albumBar));

    local_->PcListPopupActionBar->addAction(a.ActFileUpLoad);

    QMenu* albumPopup = album_->AlbumListPopupActionBar;
    albumPopup->addAction(ItemWithCaption(a.ActDelete, QStringLiteral("削除"), QIcon(), albumPopup));
    albumPopup->addAction(a.ActGoAddPrint);
    albumPopup->addSeparator();
    albumPopup->addAction(a.ActAlbumImageProperty);
}

}  // namespace tovari
