#pragma once

// The data file of a new experiment: the save dialog opens in the data
// folder; a name that already exists is offered for appending: Yes appends
// (after a backup copy of the file), No asks again with that name, Cancel
// gives up. Each name chosen becomes the record's data file, with its
// working file beside it.

#include "experiment/core/expdialogs.h"
#include "model/deviceinfo.h"

#include <functional>

namespace velorix {

class DataFileChoice
{
public:
    enum class Outcome {
        NewFile,    // a name that is not there yet: a new file with a header
        Append,     // an existing file, to append to
        NoName,     // the dialog was cancelled (and the user told)
        Cancelled,  // Cancel to the append question: the start is called off
        WindowGone, // the window closed while a dialog was open
    };

    DataFileChoice(DialogOwner owner, DeviceInfo &record) : m_owner(std::move(owner)), m_record(record) {}

    // Called with every name chosen, empty for a cancelled dialog.
    std::function<void(const QString &)> showName;

    Outcome choose();

private:
    // Appending: the file is backed up first; a backup that fails is said.
    // False when the window went while the message was open.
    bool backUpForAppend();

    DialogOwner m_owner;
    DeviceInfo &m_record;
};

} // namespace velorix
