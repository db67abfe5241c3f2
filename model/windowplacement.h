#pragma once

// Where the main window sits, remembered between runs in the user's settings
// store. The store keeps twips (1/1440 inch), so the window keeps its real
// size on a screen with another pixel density; the window works in pixels.
// A whole pixel is 15 twips at 96 dots per inch while the defaults are not
// multiples of it, so converting back and forth would move the window a
// little at every start: what the window still has is stored as it was
// read (placementToStore).

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

// The main window's place to come back to, and whether it was maximised.
struct MainPlacement
{
    TwipsRect place; // the normal (not maximised) place: frame position, client size
    bool maximized = false;
};

// The twips to store for a window whose normal place is now `pixels`, put
// there from `read` (which gave `readPixels`): each measure that is still
// what it was read as keeps the read twips; a changed one is converted.
[[nodiscard]] TwipsRect placementToStore(const QRect &pixels, const QRect &readPixels, const TwipsRect &read,
                                         double dpiX, double dpiY);

// A window whose title bar lies on none of the screens (a monitor that has
// gone, a hand-edited store) would be out of reach: it goes back to the
// default position, keeping its size.
[[nodiscard]] QRect keepReachable(const QRect &window, const QList<QRect> &screens, const QPoint &fallback);

// The four keys "MainLeft", "MainTop", "MainWidth" and "MainHeight" in
// group "Settings" of the settings store (settingsstore.h), and "MainMaximized".
class WindowPlacementStore
{
public:
    // A missing key, or one that does not hold a number (or a size that is
    // not positive), reads as its default; the window is maximised only
    // when "MainMaximized" says so.
    [[nodiscard]] MainPlacement load() const;
    void save(const MainPlacement &placement) const;
};

} // namespace velorix
