#include "logger/eventSymbolDelegate.h"

#include "common/latin1.h"
#include "logger/core/eventSymbol.h"
#include "logger/core/eventTypes.h"

#include <QBrush>

void TEventSymbolDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    // The cell text names the type; the row tag maps unknown names to 0,
    // which must not borrow Cold Start's shape.
    const QString name = index.data(Qt::DisplayRole).toString();
    if (name.isEmpty())
        return;
    const int code = EventTypeCode(name);
    if (code == 0 && name != QLatin1String(EventTypeTable[0].Name))
        return;
    const QVariant brush = index.data(Qt::ForegroundRole);
    QColor color = brush.canConvert<QBrush>() ? brush.value<QBrush>().color() : option->palette.color(QPalette::Text);
    if (option->state & QStyle::State_Selected)
        color = option->palette.color(QPalette::HighlightedText);
    option->features |= QStyleOptionViewItem::HasDecoration;
    option->icon = EventSymbolIcon(code, color);
    option->decorationSize = QSize(kEventSymbolSize, kEventSymbolSize);
}
