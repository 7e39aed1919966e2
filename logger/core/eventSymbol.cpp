#include "logger/core/eventSymbol.h"

#include "logger/core/eventTypes.h"

#include <QHash>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {

enum TSymbolCode { symColdStart = 0, symWarmStart, symOffLine, symOnLine };

QPixmap Draw(int code, const QColor& color, int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal m = size / 6.0; // margin
    const qreal s = size - 2 * m;
    QPainterPath path;
    switch (code) {
    case symColdStart:
        path.addRect(m, m, s, s);
        p.fillPath(path, color);
        break;
    case symWarmStart:
        p.setPen(QPen(color, std::max(1.5, size / 6.0)));
        p.drawEllipse(QRectF(m + 1, m + 1, s - 2, s - 2));
        break;
    case symOffLine:
        path.moveTo(m, m);
        path.lineTo(m + s, m);
        path.lineTo(m + s / 2, m + s);
        path.closeSubpath();
        p.fillPath(path, color);
        break;
    case symOnLine:
        path.moveTo(m, m + s);
        path.lineTo(m + s, m + s);
        path.lineTo(m + s / 2, m);
        path.closeSubpath();
        p.fillPath(path, color);
        break;
    default:
        break;
    }
    return pixmap;
}

} // namespace

QIcon EventSymbolIcon(int code, const QColor& color)
{
    if (code < 0 || code >= kEventTypeCount)
        return {};
    static QHash<quint64, QIcon> cache;
    const quint64 key = (quint64(code) << 32) | color.rgba();
    auto it = cache.find(key);
    if (it == cache.end()) {
        QIcon icon;
        icon.addPixmap(Draw(code, color, kEventSymbolSize));
        icon.addPixmap(Draw(code, color, 2 * kEventSymbolSize));
        it = cache.insert(key, icon);
    }
    return *it;
}
