#include "experiment/windows/channelarea.h"

#include "experiment/core/expcontroller.h"
#include "experiment/windows/sensordisplay.h"

#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace velorix {

namespace {

QLineEdit *valueBox(QWidget *parent, const QString &name, int widthChars = 7)
{
    auto *box = new QLineEdit(parent);
    box->setObjectName(name);
    box->setReadOnly(true);
    box->setFocusPolicy(Qt::NoFocus);
    box->setAlignment(Qt::AlignRight);
    box->setFixedWidth(box->fontMetrics().horizontalAdvance(QString(widthChars, QLatin1Char('0'))) + 12);
    return box;
}

void setIfChanged(QLineEdit *box, const QString &text)
{
    if (box->text() != text)
        box->setText(text);
}

} // namespace

ChannelArea::ChannelArea(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("channelarea"));
    auto *channels = new QHBoxLayout;
    channels->setSpacing(6);
    for (int c = 0; c < kChannels; ++c) {
        auto *group = new QGroupBox(QStringLiteral("Channel %1").arg(c + 1), this);
        group->setObjectName(QStringLiteral("frmchannel(%1)").arg(c));
        auto *grid = new QGridLayout(group);
        grid->setContentsMargins(6, 4, 6, 6);
        grid->setVerticalSpacing(3);

        txtsensor[c] = new SensorDisplay(group);
        txtsensor[c]->setObjectName(QStringLiteral("txtsensor(%1)").arg(c));
        cmdchenable[c] = new QPushButton(QStringLiteral("Subject ID"), group);
        cmdchenable[c]->setObjectName(QStringLiteral("cmdch%1enable").arg(c + 1));
        // Wide enough for "Pas. Rotation" and "Ch1 Running".
        cmdchenable[c]->setMinimumWidth(
                cmdchenable[c]->fontMetrics().horizontalAdvance(QStringLiteral("Pas. Rotation")) + 20);
        txtsubid[c] = new QLineEdit(group);
        txtsubid[c]->setObjectName(QStringLiteral("txtsubid(%1)").arg(c));
        txtsubid[c]->setReadOnly(true);
        txtsubid[c]->setAlignment(Qt::AlignCenter);
        txtsubid[c]->installEventFilter(this);
        txtrun_time[c] = valueBox(group, QStringLiteral("txtrun_time(%1)").arg(c));
        txtch_speed[c] = valueBox(group, QStringLiteral("txtch_speed(%1)").arg(c));
        txtrot_time[c] = valueBox(group, QStringLiteral("txtrot_time(%1)").arg(c));
        txtrot_speed[c] = valueBox(group, QStringLiteral("txtrot_speed(%1)").arg(c));
        Label2[c] = new QLabel(QStringLiteral("RPM"), group);
        Label2[c]->setObjectName(QStringLiteral("Label2(%1)").arg(c));
        connect(cmdchenable[c], &QPushButton::clicked, this, [this, c] { emit subjectRequested(c); });

        grid->addWidget(txtsensor[c], 0, 0, 1, 3);
        grid->addWidget(cmdchenable[c], 1, 0, 1, 3);
        grid->addWidget(txtsubid[c], 2, 0, 1, 3);
        const auto row = [&](int at, const QString &caption, QLineEdit *box, QWidget *unit) {
            grid->addWidget(new QLabel(caption, group), at, 0);
            grid->addWidget(box, at, 1);
            if (unit)
                grid->addWidget(unit, at, 2);
        };
        row(3, QStringLiteral("Run Time"), txtrun_time[c], new QLabel(QStringLiteral("sec"), group));
        row(4, QStringLiteral("Speed"), txtch_speed[c], Label2[c]);
        row(5, QStringLiteral("P.R. Time"), txtrot_time[c], new QLabel(QStringLiteral("sec"), group));
        row(6, QStringLiteral("P.R. Speed"), txtrot_speed[c], nullptr);
        channels->addWidget(group);
    }

    txtspeed = valueBox(this, QStringLiteral("txtspeed"));
    txtspeed->setText(QStringLiteral("00.0"));
    Label2[4] = new QLabel(QStringLiteral("RPM"), this);
    Label2[4]->setObjectName(QStringLiteral("Label2(4)"));
    txttime = valueBox(this, QStringLiteral("txttime"));
    txtch_enables = valueBox(this, QStringLiteral("txtch_enables"), 3);
    txtDisplay = new QLineEdit(this);
    txtDisplay->setObjectName(QStringLiteral("txtDisplay"));
    txtDisplay->setReadOnly(true);
    txtDisplay->setFocusPolicy(Qt::NoFocus);
    txtDisplay->setMinimumWidth(txtDisplay->fontMetrics().horizontalAdvance(QStringLiteral("READ successful"))
                                + 16);

    auto *live = new QHBoxLayout;
    live->addWidget(new QLabel(QStringLiteral("Wheel Speed"), this));
    live->addWidget(txtspeed);
    live->addWidget(Label2[4]);
    live->addSpacing(12);
    live->addWidget(new QLabel(QStringLiteral("Session Time"), this));
    live->addWidget(txttime);
    live->addWidget(new QLabel(QStringLiteral("sec"), this));
    live->addSpacing(12);
    live->addWidget(new QLabel(QStringLiteral("Channels"), this));
    live->addWidget(txtch_enables);
    live->addSpacing(12);
    live->addWidget(txtDisplay, 1);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(channels);
    layout->addLayout(live);
}

void ChannelArea::showDisplay(const ExpDisplay &display)
{
    for (int c = 0; c < kChannels; ++c) {
        const ChannelView &view = display.channels[c];
        txtsensor[c]->setSensorText(view.sensor);
        if (cmdchenable[c]->text() != view.caption)
            cmdchenable[c]->setText(view.caption);
        cmdchenable[c]->setEnabled(view.buttonEnabled);
        setIfChanged(txtrun_time[c], view.runTime);
        setIfChanged(txtch_speed[c], view.chSpeed);
        setIfChanged(txtrot_time[c], view.rotTime);
        setIfChanged(txtrot_speed[c], view.rotSpeed);
    }
    setIfChanged(txtspeed, display.txtspeed);
    setIfChanged(txttime, display.txttime);
    setIfChanged(txtch_enables, display.txtch_enables);
    setIfChanged(txtDisplay, display.txtDisplay);
}

void ChannelArea::showSubjects(const std::array<QString, kChannels> &ids)
{
    for (int c = 0; c < kChannels; ++c)
        setIfChanged(txtsubid[c], ids[c]);
}

QWidget *ChannelArea::subjectBox(int channel) const
{
    return txtsubid.at(channel);
}

void ChannelArea::setUnits(const QString &units)
{
    for (QLabel *label : Label2)
        label->setText(units);
}

bool ChannelArea::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonPress) {
        for (int c = 0; c < kChannels; ++c) {
            if (watched == txtsubid[c]) {
                emit subjectRequested(c);
                return true;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace velorix
