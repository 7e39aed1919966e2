#include "admin/discovery/ipSetEditor.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>

TIPSetEditor::TIPSetEditor(QWidget* parent)
    : QWidget(parent)
{
    setAutoFillBackground(true);
    etAddress = new QLineEdit(this);
    etAddress->setObjectName(QStringLiteral("etAddress"));
    etAddress->setFrame(false);
    etAddress->setAlignment(Qt::AlignCenter);
    btnSet = new QPushButton(QStringLiteral("Set"), this);
    btnSet->setObjectName(QStringLiteral("btnSet"));
    btnSet->setAutoDefault(false);
    btnSet->setFocusPolicy(Qt::NoFocus);
    btnSet->setFixedWidth(btnSet->fontMetrics().horizontalAdvance(QStringLiteral("Set")) + 16);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(1);
    row->addWidget(etAddress, 1);
    row->addWidget(btnSet);
    setFocusProxy(etAddress);
    connect(btnSet, &QPushButton::clicked, this, &TIPSetEditor::setClicked);
    // Enter in the text acts as the button.
    connect(etAddress, &QLineEdit::returnPressed, this, &TIPSetEditor::setClicked);
}

QString TIPSetEditor::Text() const
{
    return etAddress->text();
}

void TIPSetEditor::SetText(const QString& text)
{
    etAddress->setText(text);
}
