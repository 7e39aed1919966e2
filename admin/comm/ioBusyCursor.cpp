#include "ioBusyCursor.h"

#include <QCursor>
#include <QGuiApplication>

TBusyCursor::TBusyCursor()
{
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        Shown = true;
    }
}

TBusyCursor::~TBusyCursor()
{
    if (Shown)
        QGuiApplication::restoreOverrideCursor();
}
