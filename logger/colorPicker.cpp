#include "logger/colorPicker.h"

#include "logger/core/eventTypes.h"

#include <QPainter>
#include <QPixmap>

namespace {

struct NamedColour {
    const char* name;
    int r, g, b;
};

// The classic sixteen; the event types' defaults (black, grey, red, green)
// are among them.
constexpr NamedColour kNamedColours[] = {
    { "Black", 0, 0, 0 },
    { "Maroon", 128, 0, 0 },
    { "Green", 0, 128, 0 },
    { "Olive", 128, 128, 0 },
    { "Navy", 0, 0, 128 },
    { "Purple", 128, 0, 128 },
    { "Teal", 0, 128, 128 },
    { "Gray", 128, 128, 128 },
    { "Silver", 192, 192, 192 },
    { "Red", 255, 0, 0 },
    { "Lime", 0, 255, 0 },
    { "Yellow", 255, 255, 0 },
    { "Blue", 0, 0, 255 },
    { "Fuchsia", 255, 0, 255 },
    { "Aqua", 0, 255, 255 },
    { "White", 255, 255, 255 },
};

QIcon Sample(const QColor& colour, QSize size)
{
    QPixmap pixmap(size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setPen(Qt::black);
    painter.setBrush(colour);
    painter.drawRect(QRect(QPoint(0, 0), size - QSize(1, 1)));
    return QIcon(pixmap);
}

} // namespace

TColorPicker::TColorPicker(QWidget* parent)
    : QComboBox(parent)
{
    setIconSize(QSize(28, 12));
    for (const auto& c : kNamedColours)
        AddEntry(QString::fromLatin1(c.name), StoredFromColor(QColor(c.r, c.g, c.b)));
}

uint32_t TColorPicker::Stored() const
{
    return currentIndex() < 0 ? 0 : currentData().toUInt();
}

QColor TColorPicker::Color() const
{
    return ColorFromStored(Stored());
}

void TColorPicker::SetStored(uint32_t value)
{
    // The top byte carries nothing; dropping it keeps equal colours equal.
    value &= 0xFFFFFFu;
    const int found = findData(value);
    if (found >= 0) {
        setCurrentIndex(found);
        return;
    }
    const QColor colour = ColorFromStored(value);
    const QString name = colour.name(QColor::HexRgb).toUpper();
    if (m_customIndex < 0) {
        AddEntry(name, value);
        m_customIndex = count() - 1;
    } else {
        setItemText(m_customIndex, name);
        setItemData(m_customIndex, value);
        setItemIcon(m_customIndex, Sample(colour, iconSize()));
    }
    setCurrentIndex(m_customIndex);
}

void TColorPicker::AddEntry(const QString& name, uint32_t stored)
{
    addItem(Sample(ColorFromStored(stored), iconSize()), name, stored);
}
