#include "frmLogDate.h"

#include <QCalendarWidget>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QPushButton>
#include <QVBoxLayout>

TfmLogDate::TfmLogDate(QWidget* parent)
    : QDialog(parent)
    , date_(QDate::currentDate())
{
    setWindowTitle(QStringLiteral("Date of Log File"));

    auto* group = new QGroupBox(QStringLiteral("Select date of log file to view"), this);
    auto* groupLayout = new QVBoxLayout(group);
    MonthCalendar1 = new QCalendarWidget(group);
    MonthCalendar1->setObjectName(QStringLiteral("MonthCalendar1"));
    MonthCalendar1->setGridVisible(true);
    MonthCalendar1->setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
    MonthCalendar1->setSelectedDate(date_);
    groupLayout->addWidget(MonthCalendar1);

    auto* buttons = new QDialogButtonBox(this);
    btnOK = buttons->addButton(QDialogButtonBox::Ok);
    btnCancel = buttons->addButton(QDialogButtonBox::Cancel);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnOK->setDefault(true);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(btnOK, &QPushButton::clicked, this, &TfmLogDate::btnOKClick);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    // A double click or Return on a day is taken as OK.
    connect(MonthCalendar1, &QCalendarWidget::activated, this, &TfmLogDate::btnOKClick);
}

void TfmLogDate::btnOKClick()
{
    date_ = MonthCalendar1->selectedDate();
    accept();
}
