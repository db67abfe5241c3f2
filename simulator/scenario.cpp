#include "simulator/scenario.h"

#include <QRandomGenerator>
#include <QStringList>

#include <cmath>

namespace velorix::sim {

Scenario Scenario::random(quint32 seed)
{
    Scenario scenario;
    scenario.setRandomSeed(seed);
    return scenario;
}

std::optional<Scenario> Scenario::fromScript(const QString &text, QString *error)
{
    Scenario scenario;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        const QString line = lines[i].section(QLatin1Char('#'), 0, 0).trimmed();
        if (line.isEmpty())
            continue;
        const auto fail = [&](const QString &why) -> std::optional<Scenario> {
            if (error)
                *error = QStringLiteral("line %1: %2").arg(i + 1).arg(why);
            return std::nullopt;
        };
        const QStringList fields = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (fields.size() < 3 || fields.size() > 4)
            return fail(QStringLiteral("expected ADDR CHANNEL FALL_SECONDS [ROT_SECONDS]"));
        bool okAddress = false, okChannel = false, okFall = false, okRotation = true;
        const int address = fields[0].toInt(&okAddress);
        const int channel = fields[1].toInt(&okChannel);
        const double fall = fields[2].toDouble(&okFall);
        const double rotation = fields.size() == 4 ? fields[3].toDouble(&okRotation) : 0.0;
        if (!okAddress || address < 0 || address > 254)
            return fail(QStringLiteral("address must be 0 to 254"));
        if (!okChannel || channel < 1 || channel > 4)
            return fail(QStringLiteral("channel must be 1 to 4"));
        if (!okFall || !std::isfinite(fall) || fall <= 0)
            return fail(QStringLiteral("fall time must be a number of seconds above 0"));
        if (!okRotation || !std::isfinite(rotation) || rotation < 0)
            return fail(QStringLiteral("rotation time must be a number of seconds, 0 or more"));
        scenario.addRun(static_cast<quint8>(address), channel, {fall, rotation});
    }
    return scenario;
}

void Scenario::addRun(quint8 address, int channel, PlannedRun run)
{
    m_scripted[{address, channel}].push_back(run);
}

std::optional<PlannedRun> Scenario::run(quint8 address, int channel, int index) const
{
    const auto scripted = m_scripted.find({address, channel});
    const int scriptedCount = scripted == m_scripted.end() ? 0 : int(scripted->second.size());
    if (index < scriptedCount)
        return scripted->second[index];
    if (m_seed)
        return randomRun(address, channel, index);
    return std::nullopt;
}

PlannedRun Scenario::randomRun(quint8 address, int channel, int index) const
{
    const quint32 seeds[] = {*m_seed, address, quint32(channel), quint32(index)};
    QRandomGenerator generator(seeds, seeds + 4);
    PlannedRun run;
    run.fallSeconds = generator.bounded(50, 1201) / 10.0;
    if (generator.bounded(3) == 0)
        run.rotationSeconds = generator.bounded(20, 101) / 10.0;
    return run;
}

} // namespace velorix::sim
