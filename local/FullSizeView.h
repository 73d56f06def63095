#pragma once

#include <QString>
#include <QWidget>

class QLabel;
class QScrollArea;

namespace tovari {

// Decodes a picture file (decoder chosen by its extension) into the full-size view's picture control,
// which takes the picture's natural size. Throws when the file cannot be decoded; the control then
// keeps its previous picture.
void LoadFullSizeImage(QLabel& bigImage, const QString& path);

// The full-size view that the local and the album lists share: a scroll box holding one picture at its
// natural size. A double click on either asks to go back to the list.
class TBigImageView : public QWidget {
    Q_OBJECT
public:
    explicit TBigImageView(QWidget* parent = nullptr);

    // Scrolls back to the top-left corner, where the next picture starts.
    void ScrollHome();
    // Shows nothing, so that a photo that cannot be shown never appears as another one.
    void ClearPicture();

    QScrollArea* ScrollBox1 = nullptr;
    QLabel* BigImage = nullptr;

signals:
    void BigImageDblClick();
    void ScrollBox1DblClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

}  // namespace tovari
