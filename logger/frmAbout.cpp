#include "logger/frmAbout.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>

QIcon AlarmkeeperIcon()
{
    QPixmap pm(64, 64);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(QColor(0xC0, 0x20, 0x20));
    p.setPen(QPen(QColor(0x60, 0x10, 0x10), 2));
    // A bell: dome, rim and clapper.
    QPainterPath bell;
    bell.moveTo(14, 46);
    bell.cubicTo(18, 40, 16, 14, 32, 12);
    bell.cubicTo(48, 14, 46, 40, 50, 46);
    bell.closeSubpath();
    p.drawPath(bell);
    p.drawRoundedRect(QRectF(10, 45, 44, 6), 3, 3);
    p.drawEllipse(QPointF(32, 55), 5, 5);
    p.setBrush(QColor(0xFF, 0xD0, 0x40));
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF(32, 9), 4, 4);
    return QIcon(pm);
}

TfmAbout::TfmAbout(QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("About"));
    auto* icon = new QLabel(this);
    icon->setPixmap(AlarmkeeperIcon().pixmap(48, 48));
    lbVersion = new QLabel(QStringLiteral("Alarmkeeper V1.0 Build 07043016"), this);
    QFont bold = lbVersion->font();
    bold.setBold(true);
    lbVersion->setFont(bold);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* row = new QHBoxLayout;
    row->addWidget(icon);
    row->addSpacing(12);
    row->addWidget(lbVersion, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addSpacing(8);
    layout->addWidget(buttons);
    setFixedSize(sizeHint().expandedTo(QSize(320, 130)));
}
