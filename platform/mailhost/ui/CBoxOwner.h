#pragma once

class QWidget;

// The window a message box belongs to and opens centred over: the window
// of the widget that asked (when it is shown), else the window the user
// is in (a modal one first), else the host's main window. Null only when
// no window of the host is shown at all.
namespace CBoxOwner {
QWidget* For(QWidget* pAsker);
}
