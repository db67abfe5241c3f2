#pragma once

// The Window menu's four arrange operations on the main window's work area.

class QMdiArea;

namespace velorix {

// The styles keep the numbers the arrange operation has always had.
enum class ArrangeStyle {
    Cascade = 0,
    TileHorizontal = 1, // one above the other, each as wide as the area
    TileVertical = 2,   // side by side, each as tall as the area
    ArrangeIcons = 3,   // minimised windows in a row along the bottom edge
};

void arrangeChildren(QMdiArea &area, ArrangeStyle style);

} // namespace velorix
