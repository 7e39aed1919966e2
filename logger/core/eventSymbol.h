#pragma once
// A small symbol per event type, distinct in shape, so that the type shows
// without telling colours apart: Cold Start a square, Warm Start a ring,
// Off-Line a downward triangle, On-Line an upward one. Other codes none.
#include <QColor>
#include <QIcon>

inline constexpr int kEventSymbolSize = 12;

// The symbol in the given colour; a null icon for codes without one.
QIcon EventSymbolIcon(int code, const QColor& color);
