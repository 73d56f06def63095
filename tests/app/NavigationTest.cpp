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

// What the label shows once painted.
QImage Shown(QLabel* label)
{
    return label->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

class NavigationTest : public testing::Test {
protected:
    void ShowWindow()
    {
        form.show();
        ASSERT_TRUE(test::WaitFor([this] { return form.isVisible(); }));
    }

    // The window as the user sees it: page, both buttons, text and picture agree with the page.
    void ExpectPage(int page, bool nextEnabled, bool previousEnabled)
    {
        EXPECT_EQ(form.CurrentPage, page);
        EXPECT_EQ(form.ShownPage, page);
        EXPECT_EQ(form.Button1->isEnabled(), nextEnabled) << "次へ";
        EXPECT_EQ(form.Button2->isEnabled(), previousEnabled) << "前へ";
        EXPECT_EQ(form.StaticText1->text(), form.PageTexts[std::size_t(page)]);
        EXPECT_EQ(Shown(form.Image1), form.GuidePictures().Image(page).convertToFormat(QImage::Format_RGB32));
    }

    TForm3 form;
};

TEST_F(NavigationTest, CloseBoxOnlyHidesTheWindow)
{
    ShowWindow();
    form.SetPage(2);
    ASSERT_TRUE(form.close());
    EXPECT_TRUE(form.isHidden());
    ShowWindow();
    ExpectPage(2, true, true);
}

TEST_F(NavigationTest, PagingWithTheButtonsEnablesAndDisablesThemAtBothEnds)
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
        ExpectPage(steps[i].page, steps[i].nextEnabled, steps[i].previousEnabled);
    }
}

struct GuideCase {
    const char* name;
    std::vector<std::function<void(TForm3&)>> actions;  // after creation
    int page;
    int redraws;
};

void PrintTo(const GuideCase& c, std::ostream* os)
{
    *os << c.name;
}

class GuideProgress : public NavigationTest, public testing::WithParamInterface<GuideCase> {};

TEST_P(GuideProgress, MovesOnlyForwardAndRedrawsOnlyOnAPageChange)
{
    QSignalSpy redrawn(&form, &TForm3::PictureChanged);
    for (const auto& action : GetParam().actions)
        action(form);
    ExpectPage(GetParam().page, GetParam().page < 3, GetParam().page > 0);
    EXPECT_EQ(redrawn.count(), GetParam().redraws);
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

INSTANTIATE_TEST_SUITE_P(
    Navigation, GuideProgress,
    testing::Values(GuideCase{"refresh_without_change", {Refresh, Refresh}, 0, 0},
                    GuideCase{"folder_listed", {SetPage(1)}, 1, 1},
                    GuideCase{"folder_listed_twice", {SetPage(1), SetPage(1), Refresh}, 1, 1},
                    GuideCase{"never_backwards", {SetPage(2), SetPage(1), SetPage(0), SetPage(-1)}, 2, 1},
                    GuideCase{"upload_then_listing", {SetPage(1), SetPage(2), SetPage(3), SetPage(1)}, 3, 3},
                    GuideCase{"skips_pages", {SetPage(3)}, 3, 1},
                    GuideCase{"beyond_the_last_page", {SetPage(9), Refresh}, 3, 1},
                    GuideCase{"forward_again_after_paging_back",
                              {SetPage(3), Click(&TForm3::Button2), Click(&TForm3::Button2), SetPage(2)},
                              2,
                              4},
                    GuideCase{"paged_ahead_of_the_program", {Click(&TForm3::Button1), Click(&TForm3::Button1), SetPage(1)},
                              2,
                              2},
                    GuideCase{"one_before_the_first_page",
                              {[](TForm3& f) {
                                  f.CurrentPage = -1;
                                  f.PageRefresh();
                              }},
                              0,
                              0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(NavigationTest, FourDistinctGuidePictures)
{
    ASSERT_EQ(form.GuidePictures().Count(), TForm3::PageCount);
    std::set<qint64> keys;
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

TEST_F(NavigationTest, CheckBoxCarriesTheStartupSetting)
{
    ShowWindow();
    form.SetShowAtStartup(false);
    EXPECT_FALSE(form.CheckBox1->isChecked());
    QTest::mouseClick(form.CheckBox1, Qt::LeftButton, {}, QPoint(6, form.CheckBox1->height() / 2));
    EXPECT_TRUE(form.ShowAtStartup());
    form.SetShowAtStartup(false);
    EXPECT_FALSE(form.ShowAtStartup());
}

}  // namespace
}  // namespace tovari
