#include "common/busyCursor.h"

#include <QCursor>
#include <QGuiApplication>

TBusyCursor::TBusyCursor()
{
    m_shown = qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
    if (m_shown)
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
}

TBusyCursor::~TBusyCursor()
{
    if (m_shown)
        QGuiApplication::restoreOverrideCursor();
}
