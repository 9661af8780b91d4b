#include "forms/BitmapStatic.h"

#include <QBitmap>
#include <QPainter>

void CBitmapStatic::SetTransparent(bool transparent) {
    m_transparent = transparent;
    update();
}

void CBitmapStatic::paintEvent(QPaintEvent* event) {
    if (!m_transparent && !testAttribute(Qt::WA_TranslucentBackground)) {
        QLabel::paintEvent(event);
        return;
    }
    const QPixmap bitmap = pixmap();
    if (bitmap.isNull()) return;
    // White pixels are masked out; everything else is drawn at the top-left corner.
    QPixmap image = bitmap;
    image.setMask(bitmap.createMaskFromColor(QColor(255, 255, 255), Qt::MaskInColor));
    QPainter painter(this);
    painter.drawPixmap(0, 0, image);
}
