#include "admin/model/frmWait.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QScreen>
#include <QStyle>
#include <QTimer>

TfmWait::TfmWait(QWidget* mainWindow)
    : QDialog(mainWindow, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
    , m_mainWindow(mainWindow)
{
    setObjectName(QStringLiteral("fmWait"));
    setWindowTitle(QStringLiteral("Restarting I/O Server"));
    setModal(true);
    setCursor(Qt::WaitCursor);

    Image1 = new QLabel(this);
    Image1->setPixmap(style()->standardIcon(QStyle::SP_BrowserReload).pixmap(32, 32));
    Label1 = new QLabel(QStringLiteral("Wait for I/O server restarting ..."), this);
    lbTime = new QLabel(QString::number(SecondsLeft), this);
    lbTime->setObjectName(QStringLiteral("lbTime"));
    QFont bold = font();
    bold.setBold(true);
    Label1->setFont(bold);
    lbTime->setFont(bold);
    lbTime->setStyleSheet(QStringLiteral("color: blue;"));
    lbTime->setMinimumWidth(24);

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(16, 16, 16, 16);
    row->setSpacing(10);
    row->addWidget(Image1);
    row->addWidget(Label1);
    row->addWidget(lbTime);
    row->addStretch();

    Timer1 = new QTimer(this);
    Timer1->setInterval(1000);
    connect(Timer1, &QTimer::timeout, this, &TfmWait::Timer1Timer);
}

void TfmWait::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    CentreOnMainWindow();
    // Counted from the moment it is on screen.
    if (!Timer1->isActive() && !m_finished)
        Timer1->start();
}

void TfmWait::CentreOnMainWindow()
{
    adjustSize();
    QRect area;
    if (m_mainWindow)
        area = m_mainWindow->frameGeometry();
    else if (QScreen* s = QGuiApplication::primaryScreen())
        area = s->availableGeometry();
    if (area.isValid())
        move(area.center() - rect().center());
}

void TfmWait::Timer1Timer()
{
    --SecondsLeft;
    lbTime->setText(QString::number(SecondsLeft));
    emit SecondsLeftChanged(SecondsLeft);
    if (SecondsLeft <= 0) {
        Timer1->stop();
        m_finished = true;
        accept();
    }
}

void TfmWait::reject()
{
    if (m_finished)
        QDialog::reject();
}

void TfmWait::closeEvent(QCloseEvent* event)
{
    if (m_finished)
        event->accept();
    else
        event->ignore();
}
