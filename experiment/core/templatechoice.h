#pragma once

// The template dialogs of the experiment window: each asks for its file,
// keeps the name chosen in the record (empty when the dialog was
// cancelled), reads or writes the file (exptemplates.h) and tells the user
// what went wrong.

#include "experiment/core/expdialogs.h"
#include "experiment/core/exptemplates.h"

namespace velorix {

class TemplateChoice
{
public:
    TemplateChoice(DialogOwner owner, DeviceInfo &record) : m_owner(std::move(owner)), m_record(record) {}

    // "Load Ch Template" and the label frame's "Load": a label file from
    // the configuration folder read over `labels`; lines that may have
    // been split are named to the user. False when the window closed while
    // a dialog was open.
    bool loadLabels(LabelGrid &labels);
    // The label frame's "Save", into the data folder. A label no template
    // can hold is refused, naming its cell, before the dialog; a failed
    // write is told with its reason.
    void saveLabels(const LabelGrid &labels);
    // "Load Exp Template": the set-up an earlier data file was run with.
    // True when the record's set-up is to be shown again (not after a
    // cancelled dialog or a closed window).
    bool loadExperiment();

private:
    DialogOwner m_owner;
    DeviceInfo &m_record;
};

} // namespace velorix
