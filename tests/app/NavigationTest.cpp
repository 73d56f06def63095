#include "app/Helper.h"
#include "tests/common/TestSupport.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <functional>
#include <gtest/gtest.h>
#include <set>
#include <vector>

namespace tovari {
namespace {

class NavigationTest : public testing::Test {
protected:
    void ShowWindow()
    {
        form.show();
        ASSERT_TRUE(test::WaitFor([this] { return form.isVisible(); }));
    }

    // The window as the user sees it: page, both buttons, text and picture agree with the page.
    static void ExpectPage(TForm3& f, int page, bool nextEnabled, bool previousEnabled)
    {
        EXPECT_EQ(f.CurrentPage, page);
        EXPECT_EQ(f.ShownPage, page);
        EXPECT_EQ(f.Button1->isEnabled(), nextEnabled) << "次へ";
        EXPECT_EQ(f.Button2->isEnabled(), previousEnabled) << "前へ";
        EXPECT_EQ(f.StaticText1->text(), f.PageTexts[std::size_t(page)]);
        // The picture as painted.
        EXPECT_EQ(f.Image1->grab().toImage().convertToFormat(QImage::Format_RGB32),
                  f.GuidePictures().Image(page).convertToFormat(QImage::Format_RGB32));
    }

    TForm3 form;
};

// The buttons page to and fro and are disabled at both ends; the close box only hides the window, and the
// check box is the setting to show it at every start.
TEST_F(NavigationTest, ButtonsCloseBoxAndCheckBox)
{
    ShowWindow();
    struct Step {
        QPushButton* TForm3::*button;
        int page;
        bool nextEnabled;
        bool previousEnabled;
    };
    // The clicks on a disabled button at either end must not move the page.
    const std::vector<Step> steps = {
        {&TForm3::Button2, 0, true, false}, {&TForm3::Button1, 1, true, true},  {&TForm3::Button1, 2, true, true},
        {&TForm3::Button1, 3, false, true}, {&TForm3::Button1, 3, false, true}, {&TForm3::Button2, 2, true, true},
        {&TForm3::Button2, 1, true, true},  {&TForm3::Button2, 0, true, false}, {&TForm3::Button2, 0, true, false},
    };
    for (std::size_t i = 0; i < steps.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "step " << i);
        QTest::mouseClick(form.*steps[i].button, Qt::LeftButton);
        ExpectPage(form, steps[i].page, steps[i].nextEnabled, steps[i].previousEnabled);
    }

    form.SetPage(2);
    ASSERT_TRUE(form.close());
    EXPECT_TRUE(form.isHidden());
    ShowWindow();
    ExpectPage(form, 2, true, true);

    form.SetShowAtStartup(false);
    QTest::mouseClick(form.CheckBox1, Qt::LeftButton, {}, QPoint(6, form.CheckBox1->height() / 2));
    EXPECT_TRUE(form.ShowAtStartup());
}

auto SetPage(int n)
{
    return [n](TForm3& f) { f.SetPage(n); };
}
auto Click(QPushButton* TForm3::*button)
{
    return [button](TForm3& f) { (f.*button)->click(); };
}
const auto Refresh = [](TForm3& f) { f.PageRefresh(); };

// Whatever the program and the user ask of it, the guide moves only forward and redraws only on a page change.
TEST_F(NavigationTest, MovesOnlyForwardAndRedrawsOnlyOnAPageChange)
{
    const struct {
        const char* name;
        std::vector<std::function<void(TForm3&)>> actions;  // after creation
        int page;
        int redraws;
    } cases[] = {
        {"refresh without change", {Refresh, Refresh}, 0, 0},
        {"folder listed", {SetPage(1)}, 1, 1},
        {"folder listed twice", {SetPage(1), SetPage(1), Refresh}, 1, 1},
        {"never backwards", {SetPage(2), SetPage(1), SetPage(0), SetPage(-1)}, 2, 1},
        {"upload then listing", {SetPage(1), SetPage(2), SetPage(3), SetPage(1)}, 3, 3},
        {"skips pages", {SetPage(3)}, 3, 1},
        {"beyond the last page", {SetPage(9), Refresh}, 3, 1},
        {"forward again after paging back",
         {SetPage(3), Click(&TForm3::Button2), Click(&TForm3::Button2), SetPage(2)}, 2, 4},
        {"paged ahead of the program", {Click(&TForm3::Button1), Click(&TForm3::Button1), SetPage(1)}, 2, 2},
        {"one before the first page",
         {[](TForm3& f) {
             f.CurrentPage = -1;
             f.PageRefresh();
         }},
         0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TForm3 guide;
        QSignalSpy redrawn(&guide, &TForm3::PictureChanged);
        for (const auto& action : c.actions)
            action(guide);
        ExpectPage(guide, c.page, c.page < 3, c.page > 0);
        EXPECT_EQ(redrawn.count(), c.redraws);
    }
}

TEST_F(NavigationTest, FourDistinctGuidePictures)
{
    ASSERT_EQ(form.GuidePictures().Count(), TForm3::PageCount);
    for (int page = 0; page < TForm3::PageCount; ++page) {
        const QImage picture = form.GuidePictures().Image(page).convertToFormat(QImage::Format_RGB32);
        EXPECT_EQ(picture.size(), QSize(200, 150));
        std::set<QRgb> colours;
        for (int y = 0; y < picture.height(); y += 3) {
            for (int x = 0; x < picture.width(); x += 3)
                colours.insert(picture.pixel(x, y));
        }
        EXPECT_GT(colours.size(), 20u) << "page " << page << " is nearly blank";
        for (int other = 0; other < page; ++other)
            EXPECT_NE(picture, form.GuidePictures().Image(other).convertToFormat(QImage::Format_RGB32));
    }
}

}  // namespace
}  // namespace tovari
