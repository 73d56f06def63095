#include "local/FullSizeView.h"

#include "platform/VirtualList.h"
#include "platform/graphics/Picture.h"

#include <QEvent>
#include <QLabel>
#include <QPixmap>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

namespace tovari {

void LoadFullSizeImage(QLabel& bigImage, const QString& path)
{
    TPicture picture;
    picture.LoadFromFile(path);
    // One full decode; the label keeps the pixels, so scrolling never decodes again.
    const QImage image = picture.Graphic()->ToImage();
    bigImage.setPixmap(QPixmap::fromImage(image));
    bigImage.resize(image.size());
}

TBigImageView::TBigImageView(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("BigImageView"));
    ScrollBox1 = new QScrollArea;
    ScrollBox1->setObjectName(QStringLiteral("ScrollBox1"));
    ScrollBox1->setAccessibleName(QStringLiteral("画像"));
    ScrollBox1->setWidgetResizable(false);
    ScrollBox1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    BigImage = new QLabel;
    BigImage->setObjectName(QStringLiteral("BigImage"));
    BigImage->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    BigImage->setScaledContents(false);
    ScrollBox1->setWidget(BigImage);
    BigImage->installEventFilter(this);
    ScrollBox1->viewport()->installEventFilter(this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(ScrollBox1);
}

void TBigImageView::ScrollHome()
{
    ScrollBox1->horizontalScrollBar()->setValue(0);
    ScrollBox1->verticalScrollBar()->setValue(0);
}

void TBigImageView::ClearPicture()
{
    BigImage->clear();
    BigImage->resize(0, 0);
}

bool TBigImageView::eventFilter(QObject* watched, QEvent* event)
{
    if (IsPrimaryDoubleClick(event)) {
        if (watched == BigImage) {
            emit BigImageDblClick();
            return true;
        }
        if (watched == ScrollBox1->viewport()) {
            emit ScrollBox1DblClick();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace tovari
