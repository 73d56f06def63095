#pragma once

#include "app/LoadScheduler.h"
#include "local/FullSizeView.h"
#include "local/LocalPage.h"
#include "service/Session.h"
#include "tests/common/TestSupport.h"

#include <QDir>
#include <QFileSystemModel>
#include <QLabel>
#include <QMainWindow>
#include <QProgressBar>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTreeView>
#include <gtest/gtest.h>

namespace tovari::test {

// The local page on its own, in a plain window with a status bar, listed by a real scheduler.
class LocalPageTest : public ::testing::Test, private LoadSchedulerHost {
protected:
    LocalPageTest()
        : statusBar(new QStatusBar(&window)), statusPanel(new QLabel(statusBar)), gauge(new QProgressBar(statusBar)),
          page(new TLocalPage({session, scheduler.PcLoaderState(), TStatusLine{*statusBar, *statusPanel, *gauge},
                               bigImages, [this] { return tab; }})),
          pc(page->Pc())
    {
        window.setStatusBar(statusBar);
        window.setCentralWidget(page);
        gauge->setRange(0, 100);
        gauge->hide();
        QObject::connect(page, &TLocalPage::PcTreeViewChange, &scheduler, &TLoadScheduler::PcTreeViewChange);
        QObject::connect(&pc, &TPcBrowser::NavigatePage, [this](int p) { guidePages.append(p); });
        QObject::connect(&pc, &TPcBrowser::UploadableCountChanged, [this](int n) { uploadable = n; });
    }

    QString MakeFolder(const QString& name, const QStringList& files = {})
    {
        return MakeFolderWithFiles(sandbox.path(), name, files);
    }
    void SelectPcFolder(const QString& path)
    {
        page->PcTreeView->setCurrentIndex(page->PcFolderModel->index(path));
    }
    bool WaitForListing() { return WaitFor([&] { return !scheduler.StopTimerActive(); }); }
    QStringList ListedCaptions() const
    {
        QStringList out;
        for (int i = 0; i < pc.Model()->rowCount(); ++i)
            out.append(pc.Model()->index(i, 0).data().toString());
        return out;
    }

    QTemporaryDir sandbox;
    TSession session;
    TLoadScheduler scheduler{*this};
    QMainWindow window;
    QStatusBar* statusBar;
    QLabel* statusPanel;
    QProgressBar* gauge;
    TBigImageView bigImages;
    int tab = 0;
    TLocalPage* page;
    TPcBrowser& pc;
    QList<int> guidePages;
    int uploadable = 0;

private:
    int SelectedTabIndex() const override { return tab; }
    QString SelectedPcFolder() const override { return page->SelectedPcFolder(); }
    std::optional<int> SelectedAlbumFolderId() const override { return std::nullopt; }
    void PcLoad(const QString& folder) override { page->PcLoad(folder); }
    void AlbumLoad(int) override {}
};

}  // namespace tovari::test
