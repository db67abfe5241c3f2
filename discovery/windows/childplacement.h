#pragma once

// Where the discovery windows appear: centred over the main window, as
// left = main width / 2 - own width / 2 and top likewise with the heights.

class QWidget;

namespace velorix {

// The widget that is actually placed: the MDI sub-window that frames
// `window` (directly or through a scroll area), or `window` itself.
[[nodiscard]] QWidget *placedFrame(QWidget *window);

// Centres the frame of `window` over the widget it belongs to: inside the
// MDI area (or parent widget) that holds it, or over the parent of a
// top-level window. A window without a parent stays where it is. A child
// larger than its area keeps its top-left corner in view.
void centreOverMainWindow(QWidget *window);

// Shows `window` together with the MDI sub-window that frames it.
void showWithFrame(QWidget *window);

} // namespace velorix
