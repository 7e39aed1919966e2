#pragma once
// Stands for the string grid's cell editor with a button: the address
// column of the conflict grid is edited by a TIPSetEditor. The edited text
// is never written back into the cell; the cell shows the server's address
// until a change has gone through.
#include <QStyledItemDelegate>

class TIPSetEditor;

class TIPSetDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit TIPSetDelegate(QObject* parent);
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override;
    void updateEditorGeometry(
        QWidget* editor, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

signals:
    // The "Set" button (or Enter) of the editor of a row, with its text.
    void setRequested(int row, const QString& text);
};
