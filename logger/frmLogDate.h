#pragma once
// "Date of Log File": picks the day whose log is to be viewed.

#include <QDate>
#include <QDialog>

class QCalendarWidget;
class QPushButton;

class TfmLogDate : public QDialog {
    Q_OBJECT

public:
    explicit TfmLogDate(QWidget* parent = nullptr);

    // The day taken by OK; until then the day the chooser opened on.
    QDate Date() const { return m_date; }

    QCalendarWidget* MonthCalendar1;
    QPushButton* btnOK;
    QPushButton* btnCancel;

private:
    void btnOKClick();

    QDate m_date;
};
