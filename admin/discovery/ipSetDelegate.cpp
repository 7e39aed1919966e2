#include "admin/discovery/ipSetDelegate.h"

#include "admin/discovery/ipSetEditor.h"

#include <QPersistentModelIndex>

TIPSetDelegate::TIPSetDelegate(QObject* parent)
    : QStyledItemDelegate(parent)
{
}

QWidget* TIPSetDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex& index) const
{
    auto* editor = new TIPSetEditor(parent);
    const QPersistentModelIndex at(index);
    connect(editor, &TIPSetEditor::setClicked, this, [this, editor, at] {
        if (at.isValid())
            emit const_cast<TIPSetDelegate*>(this)->setRequested(at.row(), editor->Text());
    });
    return editor;
}

void TIPSetDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const
{
    auto* e = static_cast<TIPSetEditor*>(editor);
    // Only when the editor opens: a refresh must not throw away typing.
    if (e->Text().isEmpty())
        e->SetText(index.data(Qt::DisplayRole).toString());
}

void TIPSetDelegate::setModelData(QWidget*, QAbstractItemModel*, const QModelIndex&) const
{
}

void TIPSetDelegate::updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option, const QModelIndex&) const
{
    editor->setGeometry(option.rect);
}
