#include "experiment/core/overviewrow.h"

#include "experiment/core/expcontroller.h"
#include "experiment/core/expnumbers.h"
#include "experiment/core/runrecorder.h"

namespace velorix {

namespace {

QString channelState(const ChannelView &view, int channel)
{
    if (view.caption == readout::runningCaption(channel))
        return QStringLiteral("Running");
    if (view.caption == readout::rotationCaption(channel))
        return QStringLiteral("Rotating");
    return QStringLiteral("Idle");
}

} // namespace

OverviewRow overviewRowOf(ExpController &controller)
{
    const ExpView view = controller.view();
    const DeviceInfo &record = controller.record();
    OverviewRow row;
    row.device = controller.deviceIndex();
    row.address = record.bytBusAddr;
    row.dataFile = record.strDataFile;
    row.session = phaseName(view.run.phase());
    if (view.run.running())
        row.session += QLatin1Char(' ') + clockText(view.sample.elapsed);
    row.trial = view.display.trialText;
    for (int c = 0; c < kChannels; ++c) {
        const ChannelView &channel = view.display.channels[c];
        QString text = channelState(channel, c) + QStringLiteral("  ") + subjectOf(record, c);
        if (!channel.runTime.isEmpty())
            text += QStringLiteral("  ") + channel.runTime;
        row.channels[c] = text;
    }
    for (const auto &[code, count] : controller.counters().errors)
        row.errors += count;
    row.onDisk = controller.dataFile().allWritten();
    return row;
}

} // namespace velorix
