#pragma once
// The in-place editor of the conflict grid's address cell: the text and a
// "Set" button beside it.
#include <QWidget>

class QLineEdit;
class QPushButton;

class TIPSetEditor : public QWidget {
    Q_OBJECT
public:
    explicit TIPSetEditor(QWidget* parent);
    QString Text() const;
    void SetText(const QString& text);

    QLineEdit* etAddress;
    QPushButton* btnSet;

signals:
    void setClicked();
};
