#pragma once

// The channel area: per channel its beam display, subject-ID button and
// box, run time, speed and passive-rotation boxes; below them the wheel
// speed, the session time, the running bits and the result box txtDisplay.
// It shows an ExpDisplay and reports which channel's subject ID the user
// wants to type.

#include "model/deviceinfo.h"
#include "experiment/core/readout.h"

#include <QWidget>

#include <array>

class QLabel;
class QLineEdit;
class QPushButton;

namespace velorix {

class SensorDisplay;
struct ExpDisplay;

class ChannelArea final : public QWidget
{
    Q_OBJECT
public:
    explicit ChannelArea(QWidget *parent = nullptr);

    void showDisplay(const ExpDisplay &display);
    void showSubjects(const std::array<QString, kChannels> &ids);
    // Label2(0) to Label2(4).
    void setUnits(const QString &units);
    // The channel's subject-ID box, where its subject-ID frame opens.
    [[nodiscard]] QWidget *subjectBox(int channel) const;

signals:
    // A channel's button, or a click into its subject box.
    void subjectRequested(int channel);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    std::array<SensorDisplay *, kChannels> txtsensor{};
    std::array<QPushButton *, kChannels> cmdchenable{};
    std::array<QLineEdit *, kChannels> txtsubid{};
    std::array<QLineEdit *, kChannels> txtrun_time{};
    std::array<QLineEdit *, kChannels> txtch_speed{};
    std::array<QLineEdit *, kChannels> txtrot_time{};
    std::array<QLineEdit *, kChannels> txtrot_speed{};
    std::array<QLabel *, 5> Label2{};
    QLineEdit *txtspeed = nullptr;
    QLineEdit *txttime = nullptr;
    QLineEdit *txtch_enables = nullptr;
    QLineEdit *txtDisplay = nullptr;
};

} // namespace velorix
