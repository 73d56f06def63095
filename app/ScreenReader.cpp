#include "app/ScreenReader.h"

#include <QAccessible>
#include <QToolBar>
#include <QToolButton>
#include <QWidget>

namespace tovari {

namespace {

struct ControlName {
    const char* objectName;
    const char* name;
};

void NameControls(QWidget& window, std::initializer_list<ControlName> names)
{
    // Controls are found by the names the windows give them, so the parts need not hand them out.
    for (const ControlName& control : names)
        if (auto* widget = window.findChild<QWidget*>(QString::fromLatin1(control.objectName))) {
            widget->setAccessibleName(QString::fromUtf8(control.name));
            // Qt names a tool bar after its title once, when it first describes it; the description
            // made with the old title is dropped.
            if (qobject_cast<QToolBar*>(widget)) {
                widget->setWindowTitle(widget->accessibleName());
                if (QAccessibleInterface* told = QAccessible::queryAccessibleInterface(widget))
                    QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(told));
            }
        }
    // Qt's button for the tool buttons that do not fit has no caption.
    for (QToolBar* bar : window.findChildren<QToolBar*>())
        if (auto* more = bar->findChild<QToolButton*>(QStringLiteral("qt_toolbar_ext_button")))
            more->setAccessibleName(QStringLiteral("その他のボタン"));
}

}  // namespace

void NameMainWindowControls(QWidget& mainWindow)
{
    NameControls(mainWindow, {
                                 {"ActionMainMenuBar1", "メニュー"},
                                 {"DockTabSet1", "表示の切り替え"},
                                 {"PcActionToolBar", "パソコンのツールバー"},
                                 {"PcTreeView", "パソコンのフォルダ"},
                                 {"PcListView", "パソコンの写真"},
                                 {"OrderActionToolBar", "注文のツールバー"},
                                 {"OrderListView", "注文の一覧"},
                                 {"ScrollBox1", "画像"},
                                 {"AlbumActionToolBar", "アルバムのツールバー"},
                                 {"AlbumTreeView", "アルバムのフォルダ"},
                                 {"AlbumListView", "アルバムの写真"},
                                 {"StatusBar1", "状態"},
                                 {"Gauge1", "読み込みの進み具合"},
                             });
}

void NameProgressDialogControls(QWidget& progressDialog)
{
    NameControls(progressDialog, {{"Gauge1", "転送の進み具合"}});
}

}  // namespace tovari
