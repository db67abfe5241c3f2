#pragma once

// A channel's beam display. The text is kept as the program builds it
// ("mlmmmmmm": "l" a broken beam, "m" a clear one) and shown as filled and
// open circles: in the Wingdings symbol font, whose "l" and "m" are those
// circles, where the system has it, else with the Unicode circles.

#include <QLineEdit>

namespace velorix {

class SensorDisplay final : public QLineEdit
{
    Q_OBJECT
    Q_PROPERTY(QString sensorText READ sensorText)
public:
    explicit SensorDisplay(QWidget *parent = nullptr);

    void setSensorText(const QString &text);
    [[nodiscard]] QString sensorText() const { return m_text; }

    // The circles as shown without the symbol font.
    [[nodiscard]] static QString asCircles(const QString &text);

private:
    QString m_text;
    bool m_symbolFont = false;
};

} // namespace velorix
