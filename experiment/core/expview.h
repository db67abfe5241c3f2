#pragma once

// What an experiment window shows of its run: the display texts, the
// buttons the phase allows and the few facts of the run the window acts
// on. The controller keeps it, so that it outlives a closed window and
// tests can read it; the window reads nothing else of the run.

#include "experiment/core/readout.h"
#include "experiment/core/runphase.h"

#include <QString>

#include <cstdint>

namespace velorix {

struct ExpDisplay
{
    QString txtDisplay;
    QString statusPanel; // second panel of sbexpbar, copied at the end of each tick
    QString txtspeed = QStringLiteral("00.0");
    QString txttime;
    QString txtch_enables;
    ChannelViews channels;
    bool statusVisible = false; // frmstatus
    QString lblstatus;
    int prbstatus = 0;
    QString trialText; // "Trial 2", "Trial 2 done, next in 0:45": the status bar's third panel
};

// The device's last reply as the live plot follows it.
struct RunSample
{
    float elapsed = 0.0f; // session seconds
    float speed = 0.0f;   // of the wheel
    std::uint8_t runningBits = 0;
};

struct ExpView
{
    const ExpDisplay &display;
    ExpControls controls;
    RunPhaseMachine run;
    int rockInterval = 0; // whole seconds, as the set-up packed it
    RunSample sample;
};

} // namespace velorix
