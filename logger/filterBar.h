#pragma once
// The filter row above an event table: event types, source, free text, the
// count of rows shown, and (in the main window) the follow control.
#include "logger/core/eventFilter.h"

#include <QWidget>
#include <array>

class QCheckBox;
class QLabel;
class QLineEdit;
class QTimer;
class QToolButton;

class TFilterBar : public QWidget {
    Q_OBJECT
public:
    // Typing settles for this long before the table is filtered.
    static constexpr int kTypingSettleMs = 200;

    explicit TFilterBar(QWidget* parent = nullptr);

    TEventFilter Filter() const;
    // "shown of total".
    void ShowCount(qint64 shown, qint64 total);

    std::array<QCheckBox*, kEventTypeCount> cbTypes {};
    QLineEdit* etSource;
    QLineEdit* etText;
    QLabel* lbCount;
    // Hidden unless a follow mode is attached.
    QToolButton* btnFollow;
    QToolButton* btnExport;

signals:
    void FilterChanged(const TEventFilter& filter);

private:
    QTimer* m_settle;
};
