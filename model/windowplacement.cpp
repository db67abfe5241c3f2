#include "model/windowplacement.h"

#include "model/settingsstore.h"

#include <QString>

#include <cmath>

namespace velorix {

namespace {

const char *const kGroup = "Settings";
const char *const kLeft = "MainLeft";
const char *const kTop = "MainTop";
const char *const kWidth = "MainWidth";
const char *const kHeight = "MainHeight";
const char *const kMaximized = "MainMaximized";

// The visible part of a title bar that must stay on a screen.
constexpr int kGripWidth = 100;
constexpr int kGripHeight = 30;

double readNumber(const QSettings &settings, const char *key, double fallback, bool mustBePositive)
{
    bool ok = false;
    const double value = settings.value(QLatin1String(key)).toString().trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(value) || (mustBePositive && value <= 0))
        return fallback;
    return value;
}

QString asText(double value)
{
    // Stored as the text of a 32-bit float, as the rest of the program
    // keeps its measures.
    return QString::number(static_cast<double>(static_cast<float>(value)), 'g', 9);
}

} // namespace

int twipsToPixels(double twips, double dotsPerInch)
{
    return static_cast<int>(std::lround(twips * dotsPerInch / kTwipsPerInch));
}

double pixelsToTwips(int pixels, double dotsPerInch)
{
    return dotsPerInch > 0 ? pixels * kTwipsPerInch / dotsPerInch : 0;
}

QRect twipsToPixels(const TwipsRect &twips, double dpiX, double dpiY)
{
    return QRect(twipsToPixels(twips.left, dpiX), twipsToPixels(twips.top, dpiY),
                 twipsToPixels(twips.width, dpiX), twipsToPixels(twips.height, dpiY));
}

TwipsRect pixelsToTwips(const QRect &pixels, double dpiX, double dpiY)
{
    return TwipsRect{pixelsToTwips(pixels.x(), dpiX), pixelsToTwips(pixels.y(), dpiY),
                     pixelsToTwips(pixels.width(), dpiX), pixelsToTwips(pixels.height(), dpiY)};
}

TwipsRect placementToStore(const QRect &pixels, const QRect &readPixels, const TwipsRect &read, double dpiX,
                           double dpiY)
{
    const TwipsRect now = pixelsToTwips(pixels, dpiX, dpiY);
    return TwipsRect{pixels.x() == readPixels.x() ? read.left : now.left,
                     pixels.y() == readPixels.y() ? read.top : now.top,
                     pixels.width() == readPixels.width() ? read.width : now.width,
                     pixels.height() == readPixels.height() ? read.height : now.height};
}

QRect keepReachable(const QRect &window, const QList<QRect> &screens, const QPoint &fallback)
{
    const QRect grip(window.topLeft(), QSize(qMin(window.width(), kGripWidth), kGripHeight));
    for (const QRect &screen : screens) {
        if (screen.intersects(grip))
            return window;
    }
    return QRect(fallback, window.size());
}

MainPlacement WindowPlacementStore::load() const
{
    QSettings settings = programSettings();
    settings.beginGroup(QLatin1String(kGroup));
    const TwipsRect defaults;
    const QString maximized = settings.value(QLatin1String(kMaximized)).toString().trimmed().toLower();
    return MainPlacement{TwipsRect{readNumber(settings, kLeft, defaults.left, false),
                                   readNumber(settings, kTop, defaults.top, false),
                                   readNumber(settings, kWidth, defaults.width, true),
                                   readNumber(settings, kHeight, defaults.height, true)},
                         maximized == QLatin1String("true") || maximized == QLatin1String("1")
                                 || maximized == QLatin1String("-1")};
}

void WindowPlacementStore::save(const MainPlacement &placement) const
{
    QSettings settings = programSettings();
    settings.beginGroup(QLatin1String(kGroup));
    settings.setValue(QLatin1String(kLeft), asText(placement.place.left));
    settings.setValue(QLatin1String(kTop), asText(placement.place.top));
    settings.setValue(QLatin1String(kWidth), asText(placement.place.width));
    settings.setValue(QLatin1String(kHeight), asText(placement.place.height));
    settings.setValue(QLatin1String(kMaximized),
                      placement.maximized ? QStringLiteral("true") : QStringLiteral("false"));
}

} // namespace velorix
