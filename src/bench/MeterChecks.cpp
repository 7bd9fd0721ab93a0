#include "bench/MeterChecks.h"

#include "device/RegisterMap.h"

#include <cmath>

namespace tq::bench {

namespace {

QString Caption(Channel c) {
    const std::string_view text = ChannelCaption(c);
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

QString Volts(double v) {
    return QString::number(v, 'g', 6) + QStringLiteral(" V");
}

Error MeterError(const QString& message) {
    return Error{Error::Kind::Meter, message.toStdString()};
}

} // namespace

Status CheckReading(Channel channel, double rangeVolts, double volts, const QString& what) {
    if (std::abs(volts) <= rangeVolts * (1 + kRangeMargin)) return {};
    return MeterError(QStringLiteral("%1 at %2: the meter read %3, beyond the +/-%4 range: is "
                                     "it on %1 and reading DC volts?")
                          .arg(Caption(channel), what, Volts(volts), Volts(rangeVolts)));
}

Status CheckFollows(Channel channel, double nominalVolts, double seenVolts) {
    if (std::abs(seenVolts - nominalVolts) <= kStepTolerance * std::abs(nominalVolts)) return {};
    return MeterError(QStringLiteral("%1 stepped by %2, the meter saw %3: is it on %1?")
                          .arg(Caption(channel), Volts(nominalVolts), Volts(seenVolts)));
}

Outcome<ChannelsAsFound> ChannelsAsFound::read(Bench& bench, std::span<const Channel> channels) {
    ChannelsAsFound found;
    for (const Channel c : channels) {
        Outcome<ChannelRegisters> r = bench.readChannel(c);
        if (!r) return r.error();
        found.saved_.emplace_back(c, *r);
    }
    return found;
}

Status ChannelsAsFound::restore(Bench& bench) const {
    Status first;
    for (const auto& [c, r] : saved_)
        if (Status s = restore(bench, c); !s && first) first = s;
    return first;
}

Status ChannelsAsFound::restore(Bench& bench, Channel channel, Part part) const {
    Status first;
    const auto keep = [&](Status s) {
        if (!s && first) first = std::move(s);
    };
    for (const auto& [c, r] : saved_) {
        if (c != channel) continue;
        if (part == DataOnly) return bench.setCode(c, r.data);
        // The data code last: the output shows the found code only once the rest is back.
        keep(bench.writeRaw(device::CoarseGainRegister, AddressCode(c), r.coarse));
        keep(bench.writeRaw(device::OffsetRegister, AddressCode(c), r.offset));
        keep(bench.writeRaw(device::FineGainRegister, AddressCode(c), r.fine));
        keep(bench.setCode(c, r.data));
    }
    return first;
}

} // namespace tq::bench
