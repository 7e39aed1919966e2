#include "logger/windowFrame.h"

#include <QWidget>
#include <QWindow>

void PlaceFrame(QWidget* window, const QSize& outer, const QRect& over)
{
    const QWindow* handle = window->windowHandle();
    const QMargins m = handle ? handle->frameMargins() : QMargins();
    window->resize(outer - QSize(m.left() + m.right(), m.top() + m.bottom()));
    QRect frame(QPoint(), outer);
    frame.moveCenter(over.center());
    window->move(frame.topLeft()); // a window's position is its frame's
}
