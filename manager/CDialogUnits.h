#pragma once
#include <QRect>

// Dialog templates give places in dialog units; on screen one unit is
// 1.5 pixels across and 1.75 pixels down (the proportions of the usual
// 8-point dialog font).
namespace CDialogUnits {
inline int X(int n) { return n * 3 / 2; }
inline int Y(int n) { return n * 7 / 4; }
inline QRect Rect(int x, int y, int cx, int cy) { return QRect(X(x), Y(y), X(cx), Y(cy)); }
}  // namespace CDialogUnits
