#pragma once

// Where the main window sits, remembered between runs in the user's settings
// store. The store keeps twips (1/1440 inch), so the window keeps its real
// size on a screen with another pixel density; the window works in pixels.

#include <QList>
#include <QRect>

namespace velorix {

struct TwipsRect
{
    double left = 1000;
    double top = 1000;
    double width = 6500;
    double height = 6500;
};

constexpr double kTwipsPerInch = 1440.0;

[[nodiscard]] int twipsToPixels(double twips, double dotsPerInch);
[[nodiscard]] double pixelsToTwips(int pixels, double dotsPerInch);
[[nodiscard]] QRect twipsToPixels(const TwipsRect &twips, double dpiX, double dpiY);
[[nodiscard]] TwipsRect pixelsToTwips(const QRect &pixels, double dpiX, double dpiY);

// A window whose title bar lies on none of the screens (a monitor that has
// gone, a hand-edited store) would be out of reach: it goes back to the
// default position, keeping its size.
[[nodiscard]] QRect keepReachable(const QRect &window, const QList<QRect> &screens, const QPoint &fallback);

// The four keys "MainLeft", "MainTop", "MainWidth" and "MainHeight" in
// group "Settings" of QSettings("Velorix", "Velorix").
class WindowPlacementStore
{
public:
    // A missing key, or one that does not hold a number (or a size that is
    // not positive), reads as its default.
    [[nodiscard]] TwipsRect load() const;
    void save(const TwipsRect &placement) const;
};

} // namespace velorix
