#include "logger/frmLogDate.h"

#include "logger/okCancelButtons.h"

#include <QCalendarWidget>
#include <QGroupBox>
#include <QPushButton>
#include <QVBoxLayout>

TfmLogDate::TfmLogDate(QWidget* parent)
    : QDialog(parent)
    , m_date(QDate::currentDate())
{
    setWindowTitle(QStringLiteral("Date of Log File"));

    auto* group = new QGroupBox(QStringLiteral("Select date of log file to view"), this);
    auto* groupLayout = new QVBoxLayout(group);
    MonthCalendar1 = new QCalendarWidget(group);
    MonthCalendar1->setObjectName(QStringLiteral("MonthCalendar1"));
    MonthCalendar1->setGridVisible(true);
    MonthCalendar1->setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
    MonthCalendar1->setSelectedDate(m_date);
    groupLayout->addWidget(MonthCalendar1);

    QDialogButtonBox* buttons = OkCancelButtons(this, btnOK, btnCancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(btnOK, &QPushButton::clicked, this, &TfmLogDate::btnOKClick);
    // A double click or Return on a day is taken as OK.
    connect(MonthCalendar1, &QCalendarWidget::activated, this, &TfmLogDate::btnOKClick);
}

void TfmLogDate::btnOKClick()
{
    m_date = MonthCalendar1->selectedDate();
    accept();
}
