#include "common/busyCursor.h"

#include <QCursor>
#include <QGuiApplication>

TBusyCursor::TBusyCursor()
{
    shown_ = qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
    if (shown_)
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
}

TBusyCursor::~TBusyCursor()
{
    if (shown_)
        QGuiApplication::restoreOverrideCursor();
}
