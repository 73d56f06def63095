#pragma once

#include "platform/ImageList.h"

#include <QString>
#include <QWidget>
#include <array>

class QCheckBox;
class QLabel;
class QPushButton;

namespace tovari {

// The navigation window: an always-on-top guide through the four steps of an order, one page of a
// picture and a text per step. The rest of the program moves it forward with SetPage, never back.
// Created hidden; the main window shows it, and only its own close box hides it again.
class TForm3 : public QWidget {
    Q_OBJECT
public:
    static constexpr int PageCount = 4;

    explicit TForm3(QWidget* parent = nullptr);

    // Advances the guide to page n; a page at or before the current one does nothing.
    void SetPage(int n);
    // Brings the buttons, picture and text in line with CurrentPage, clamped to the pages there are.
    void PageRefresh();

    // The check box "show at every start", which is the setting NavigateWindow.
    bool ShowAtStartup() const;
    void SetShowAtStartup(bool show);

    int CurrentPage = 0;  // page to show
    int ShownPage = -1;   // page on display; -1 before the first refresh
    std::array<QString, PageCount> PageTexts;

    QLabel* Image1 = nullptr;
    QLabel* StaticText1 = nullptr;
    QPushButton* Button1 = nullptr;  // next page
    QPushButton* Button2 = nullptr;  // previous page
    QCheckBox* CheckBox1 = nullptr;
    TImageList* ImageList1 = nullptr;  // the four guide pictures, in page order, once GuidePictures drew them

    // The four guide pictures, drawn on first use: the window costs nothing to make before it is painted.
    const TImageList& GuidePictures();

signals:
    // The picture was redrawn for a new page.
    void PictureChanged(int page);

private:
    void FormCreate();
    void PaintPicture();
    void Button1Click();
    void Button2Click();

    bool pictureStale_ = false;  // Image1 shows another page than ShownPage until it is next painted
};

// The guide picture of one step (0 to 3), 200 x 150.
QImage DrawGuidePicture(int page);

}  // namespace tovari
