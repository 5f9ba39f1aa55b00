#pragma once
#include <QPixmap>

// The add-in's picture (an envelope and a quill), drawn at any size so it
// needs no image plug-in; the desktop icon file shows the same drawing.
class CAddinIcon {
public:
    static QPixmap Pixmap(int nSize);
};
