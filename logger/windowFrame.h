#pragma once
// Window sizes are given as outer sizes, frame included.
#include <QRect>
#include <QSize>

class QWidget;

// Sizes the top-level window so that its frame measures outer, and centres
// the frame over `over`. The frame's width is known once the window exists
// on the screen, so call it again from the first show.
void PlaceFrame(QWidget* window, const QSize& outer, const QRect& over);
