#include "logger/banner.h"

#include <QLinearGradient>
#include <QPainter>

namespace {
constexpr int kBannerHeight = 40;
}

TBanner::TBanner(QWidget* parent)
    : QWidget(parent)
{
    setFixedHeight(kBannerHeight);
}

void TBanner::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    QLinearGradient g(0, 0, width(), 0);
    g.setColorAt(0, QColor(0x10, 0x2A, 0x5C));
    g.setColorAt(1, QColor(0x6A, 0x9C, 0xD8));
    p.fillRect(rect(), g);
    QFont f = font();
    f.setBold(true);
    f.setPointSize(14);
    p.setFont(f);
    p.setPen(Qt::white);
    p.drawText(rect().adjusted(14, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft, QStringLiteral("Alarmkeeper"));
    f.setBold(false);
    f.setPointSize(9);
    p.setFont(f);
    p.drawText(rect().adjusted(0, 0, -14, 0), Qt::AlignVCenter | Qt::AlignRight,
        QStringLiteral("Twinlane server alarm events"));
}
