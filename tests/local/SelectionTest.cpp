#include "tests/local/LocalPageFixture.h"

#include <QAction>
#include <QTest>

namespace tovari::test {
namespace {

class SelectionTest : public LocalPageTest {
protected:
    void SetUp() override
    {
        window.show();
        SelectPcFolder(MakeFolder(QStringLiteral("four"), {QStringLiteral("a.jpg"), QStringLiteral("b.jpg"),
                                                           QStringLiteral("c.jpg"), QStringLiteral("d.jpg")}));
        ASSERT_TRUE(WaitForListing());
        list = page->PcListView;
        list->setFocus();
    }
    int Selected() const { return int(list->selectionModel()->selectedIndexes().size()); }

    TVirtualListView* list = nullptr;
};

TEST_F(SelectionTest, CtrlAAndCtrlDSelectAndClearWithExactlyTheCtrlModifier)
{
    struct Step {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        int selectedAfter;
    };
    const Step steps[] = {
        {Qt::Key_A, Qt::ControlModifier | Qt::ShiftModifier, 0},
        {Qt::Key_A, Qt::ControlModifier | Qt::AltModifier, 0},
        {Qt::Key_A, Qt::ControlModifier, 4},
        {Qt::Key_D, Qt::ControlModifier | Qt::ShiftModifier, 4},
        {Qt::Key_D, Qt::ControlModifier, 0},
    };
    for (const Step& s : steps) {
        QTest::keyClick(list, s.key, s.modifiers);
        EXPECT_EQ(Selected(), s.selectedAfter) << "key " << s.key << " modifiers " << int(s.modifiers);
    }
}

TEST_F(SelectionTest, CountLeavesOutUndecodableEntriesAndDrivesCommandStatusAndGuide)
{
    // The third file turned out not to be a picture.
    page->Pc().PcImages[2].Loadable = false;
    EXPECT_EQ(uploadable, 0);
    QTest::keyClick(list, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(statusPanel->text(), QStringLiteral("3個選択中 "));
    EXPECT_EQ(uploadable, 3);
    EXPECT_EQ(guidePages.last(), 2);
    EXPECT_EQ(page->Pc().UploadableSelection(), (std::vector<int>{0, 1, 3}));

    const qsizetype asked = guidePages.size();
    QTest::keyClick(list, Qt::Key_D, Qt::ControlModifier);
    EXPECT_EQ(statusPanel->text(), QString());
    EXPECT_EQ(uploadable, 0);
    // Nothing selected asks the guide for nothing.
    EXPECT_EQ(guidePages.size(), asked);

    // Only the undecodable one selected counts nothing.
    list->selectionModel()->select(list->model()->index(2, 0), QItemSelectionModel::Select);
    EXPECT_EQ(statusPanel->text(), QString());
    EXPECT_EQ(uploadable, 0);
}

// A new listing resets the list and drops the selection without a selection signal; the count, the
// status bar and the count the upload command follows still follow it, whether the listing finished or was stopped.
TEST_F(SelectionTest, EveryListingBringsCountStatusAndCommandBackInLine)
{
    const QString four = page->SelectedPcFolder();
    const QString other = MakeFolder(QStringLiteral("other"), {QStringLiteral("e.jpg")});
    struct Case {
        const char* what;
        std::function<void()> relist;
        int listed;
    };
    const Case cases[] = {
        {"another folder chosen in the tree", [&] { SelectPcFolder(other); ASSERT_TRUE(WaitForListing()); }, 1},
        {"a listing that was stopped",
         [&] {
             scheduler.PcLoaderState() = LoadState::DO_STOP_PC;
             page->PcLoad(other);
         },
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (page->SelectedPcFolder() != four) {
            SelectPcFolder(four);
            ASSERT_TRUE(WaitForListing());
        }
        page->PcImageDrawTimer.stop();
        for (TPcImages& entry : pc.PcImages)
            entry.Loadable = true;
        QTest::keyClick(list, Qt::Key_A, Qt::ControlModifier);
        ASSERT_EQ(statusPanel->text(), QStringLiteral("4個選択中 "));
        ASSERT_EQ(uploadable, 4);

        c.relist();
        EXPECT_EQ(list->model()->rowCount(), c.listed);
        EXPECT_EQ(Selected(), 0);
        EXPECT_EQ(statusPanel->text(), QString());
        EXPECT_EQ(uploadable, 0);
        EXPECT_EQ(pc.UploadableCount(), 0u);
    }
}

TEST_F(SelectionTest, MovingTheMouseOverTheListTakesTheFocusFromTheTree)
{
    window.activateWindow();
    page->PcTreeView->setFocus();
    ASSERT_TRUE(WaitFor([&] { return page->PcTreeView->hasFocus(); }));
    QTest::mouseMove(list->viewport(), QPoint(40, 40));
    EXPECT_TRUE(WaitFor([&] { return list->hasFocus(); }));
}

}  // namespace
}  // namespace tovari::test
