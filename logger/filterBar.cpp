#include "logger/filterBar.h"

#include "logger/core/eventSymbol.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <QToolButton>

TFilterBar::TFilterBar(QWidget* parent)
    : QWidget(parent)
    , m_settle(new QTimer(this))
{
    setObjectName(QStringLiteral("filterBar"));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(6, 3, 6, 3);
    row->setSpacing(6);
    for (int code = 0; code < kEventTypeCount; ++code) {
        auto* box = new QCheckBox(QString::fromLatin1(EventTypeTable[size_t(code)].Name), this);
        box->setObjectName(QStringLiteral("cbType%1").arg(code));
        box->setChecked(true);
        box->setIcon(EventSymbolIcon(code, palette().color(QPalette::WindowText)));
        cbTypes[size_t(code)] = box;
        row->addWidget(box);
        connect(box, &QCheckBox::toggled, this, [this] { emit FilterChanged(Filter()); });
    }
    etSource = new QLineEdit(this);
    etSource->setObjectName(QStringLiteral("etSource"));
    etSource->setPlaceholderText(QStringLiteral("Source name or IP"));
    etSource->setClearButtonEnabled(true);
    etText = new QLineEdit(this);
    etText->setObjectName(QStringLiteral("etText"));
    etText->setPlaceholderText(QStringLiteral("Any text"));
    etText->setClearButtonEnabled(true);
    etSource->setToolTip(QStringLiteral("Show the alarms whose source name or address holds this text"));
    etText->setToolTip(QStringLiteral("Show the alarms with this text in any column"));
    row->addWidget(etSource, 3);
    row->addWidget(etText, 2);
    lbCount = new QLabel(this);
    lbCount->setObjectName(QStringLiteral("lbCount"));
    row->addWidget(lbCount);
    btnFollow = new QToolButton(this);
    btnFollow->setObjectName(QStringLiteral("btnFollow"));
    btnFollow->setCheckable(true);
    btnFollow->setChecked(true);
    btnFollow->hide();
    row->addWidget(btnFollow);
    btnExport = new QToolButton(this);
    btnExport->setObjectName(QStringLiteral("btnExport"));
    btnExport->setText(QStringLiteral("Export..."));
    btnExport->setToolTip(QStringLiteral("Save the rows shown as a log file (CSV)"));
    btnExport->setAutoRaise(true);
    row->addWidget(btnExport);

    m_settle->setSingleShot(true);
    m_settle->setInterval(kTypingSettleMs);
    connect(m_settle, &QTimer::timeout, this, [this] { emit FilterChanged(Filter()); });
    connect(etSource, &QLineEdit::textChanged, m_settle, qOverload<>(&QTimer::start));
    connect(etText, &QLineEdit::textChanged, m_settle, qOverload<>(&QTimer::start));
}

TEventFilter TFilterBar::Filter() const
{
    TEventFilter f;
    for (int code = 0; code < kEventTypeCount; ++code)
        f.types[size_t(code)] = cbTypes[size_t(code)]->isChecked();
    f.source = etSource->text().trimmed();
    f.text = etText->text().trimmed();
    return f;
}

void TFilterBar::ShowCount(qint64 shown, qint64 total)
{
    lbCount->setText(QStringLiteral("%1 of %2").arg(shown).arg(total));
}
