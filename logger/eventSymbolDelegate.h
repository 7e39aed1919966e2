#pragma once
// Draws the event type's symbol at the start of the "Event type" cell, in
// the row's text colour (the highlight colour when selected).
#include <QStyledItemDelegate>

class TEventSymbolDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;
};
