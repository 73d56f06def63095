#pragma once

class QAction;

namespace tovari {

// Every command of the main window. The shell declares and shows them; the part that serves a command
// binds its handler and derives its enabled state.
struct TActionManager1 {
    QAction* ActLogin = nullptr;
    QAction* ActLogout = nullptr;
    QAction* ActRefresh = nullptr;
    QAction* Exit = nullptr;
    QAction* ActGoOrder = nullptr;
    QAction* ActDispOrderPageUrl = nullptr;
    QAction* ActSusiePlugin = nullptr;
    QAction* ActHelp = nullptr;
    QAction* ActShowNavigateWindow = nullptr;
    QAction* ActNewVersion = nullptr;
    QAction* AcTUpFolder = nullptr;
    QAction* ActReload = nullptr;
    QAction* ActFileUpLoad = nullptr;
    QAction* ActFileUp = nullptr;
    QAction* ActDelete = nullptr;
    QAction* ActGoAddPrint = nullptr;
    QAction* ActAlbumImageProperty = nullptr;
};

}  // namespace tovari
