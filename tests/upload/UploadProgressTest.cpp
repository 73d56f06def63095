#include "platform/Fonts.h"
#include "tests/upload/UploadFixture.h"

#include <QKeyEvent>
#include <QTest>

namespace tovari::test {
namespace {

using UploadProgressTest = ProgramTest;

TEST_F(UploadProgressTest, ControlsStandWhereDesignedWithTheirTexts)
{
    TForm2& d = Start(kNoService).Form2;
    EXPECT_FALSE(d.isVisible()) << "hidden at start-up";
    d.show();
    ASSERT_TRUE(WaitFor([&] { return d.isVisible(); }));
    EXPECT_EQ(d.windowTitle(), QStringLiteral("画像転送中..."));
    EXPECT_EQ(d.size(), QSize(287, 101));
    EXPECT_EQ(d.minimumSize(), d.maximumSize()) << "fixed border";
    EXPECT_FALSE(d.isModal());
    // On top, and no title-bar button at all.
    const Qt::WindowFlags hints = Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowSystemMenuHint |
                                  Qt::WindowCloseButtonHint | Qt::WindowMinMaxButtonsHint | Qt::WindowContextHelpButtonHint;
    EXPECT_EQ(d.windowFlags() & hints, Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint);
    EXPECT_EQ(d.font(), PixelFont(QStringLiteral("Tahoma"), 11));

    // Gauge, label and button.
    EXPECT_EQ((std::vector{d.Gauge1->geometry(), d.Label1->geometry(), d.CancelButton->geometry()}),
              (std::vector{QRect(24, 40, 237, 21), QRect(64, 12, 149, 17), QRect(204, 72, 75, 21)}));
    EXPECT_EQ(d.CancelButton->text(), QStringLiteral("キャンセル"));
    EXPECT_EQ(std::tuple(d.Gauge1->minimum(), d.Gauge1->maximum(), d.Gauge1->value()), std::tuple(0, 100, 20));
    EXPECT_TRUE(d.Label1->autoFillBackground()) << "opaque";
    EXPECT_TRUE(d.Label1->alignment() & Qt::AlignVCenter);

    d.SetProgress(18, 12, 3);
    EXPECT_EQ(d.Label1->text(), QStringLiteral("12個中 3個目を転送中..."));
    EXPECT_EQ(d.Gauge1->value(), 18);

    // Only the program closes it: neither Esc nor a close request hides it.
    QTest::keyClick(&d, Qt::Key_Escape);
    EXPECT_TRUE(d.isVisible());
    d.close();
    EXPECT_TRUE(d.isVisible());

    // What the user sees; the picture goes to the documentation when asked for.
    const QImage shot = d.grab().toImage();
    EXPECT_EQ(shot.size(), QSize(287, 101) * shot.devicePixelRatio());
    const QString docs = qEnvironmentVariable("TOVARI_SCREENSHOTS");
    if (!docs.isEmpty()) {
        EXPECT_TRUE(shot.save(docs + QStringLiteral("/upload-progress.png")));
    }
    d.hide();
}

TEST_F(UploadProgressTest, CancelAsksAndOnlyOkAsksTheBatchToStop)
{
    TForm2& d = Start(kNoService).Form2;
    d.show();
    for (const auto& [answer, cancelled] :
         {std::pair(Dialogs::Result::Cancel, false), std::pair(Dialogs::Result::Ok, true)}) {
        Upload().SetUploadCancel(false);
        dialogs.answers = {answer};
        dialogs.messages.clear();
        QTest::mouseClick(d.CancelButton, Qt::LeftButton);
        EXPECT_EQ(dialogs.messages, QStringList{QStringLiteral("確認: 転送を中断しますか？")});
        EXPECT_EQ(Upload().UploadCancel(), cancelled);
        EXPECT_TRUE(d.isVisible()) << "the batch closes it, not the button";
    }
    d.hide();
}

}  // namespace
}  // namespace tovari::test
