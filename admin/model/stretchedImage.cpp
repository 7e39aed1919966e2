#include "admin/model/stretchedImage.h"

#include <QPainter>

TStretchedImage::TStretchedImage(QWidget* parent)
    : QWidget(parent)
{
}

void TStretchedImage::SetImage(const QImage& image)
{
    m_image = image; // implicitly shared: a cheap copy
    update();
}

void TStretchedImage::paintEvent(QPaintEvent*)
{
    if (m_image.isNull())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(rect(), m_image);
}
