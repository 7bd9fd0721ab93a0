#include "bench/AutoCalibration.h"

#include "bench/MeterChecks.h"

#include "device/Calibration.h"
#include "device/RegisterMap.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cmath>
#include <string>

namespace tq::bench {

namespace {

QString Caption(Channel c) {
    const std::string_view text = ChannelCaption(c);
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

// The measured volts as the entry text the manual steps read.
std::string EntryText(double volts) {
    return QString::number(volts, 'g', 12).toStdString();
}

Error MeterError(const QString& message) {
    return Error{Error::Kind::Meter, message.toStdString()};
}

class Run {
public:
    Run(Bench& bench, Meter& meter, const CalibrationOptions& options,
        const CalibrationHooks& hooks)
        : bench_(bench), meter_(meter), options_(options), hooks_(hooks),
          steps_(static_cast<int>(options.channels.size()) * perChannel()) {}

    Outcome<ChannelCalibration> channel(Channel c) {
        const int first = step_;
        ChannelCalibration result;
        result.channel = c;
        result.rangeVolts = bench_.rangeVolts(c);
        if (Status routed = meter_.select(c); !routed) return routed.error();
        Outcome<PointErrors> errors = measure(c, QStringLiteral("before"));
        if (!errors) return errors.error();
        result.before = *errors;
        const auto positive = Info(bench_.model()).positiveGain;
        const float range = result.rangeVolts;
        for (int pass = 1; pass <= options_.maxPasses; ++pass) {
            const QString label = QStringLiteral("pass %1").arg(pass);
            // Offset step on the output at 0 V: the last measurement of it.
            Outcome<int32_t> offsetRead = bench_.readRegister(device::OffsetRegister, c);
            if (!offsetRead) return offsetRead.error();
            const auto offset =
                device::CalibrateOffset(*offsetRead, EntryText(errors->offsetVolts), range);
            if (!offset)
                return MeterError(QStringLiteral("%1: the offset step cannot use %2 V")
                                      .arg(Caption(c))
                                      .arg(errors->offsetVolts));
            if (Status s = bench_.writeRaw(device::OffsetRegister, AddressCode(c), offset->code);
                !s)
                return s.error();
            result.offsetCode = offset->code;
            result.offsetLimited = offset->limited;

            // Gain step on the output at zero scale with the new offset.
            Outcome<double> zeroScale =
                reading(c, -static_cast<double>(range), QStringLiteral("zero scale"), label);
            if (!zeroScale) return zeroScale.error();
            Outcome<int32_t> fineRead = bench_.readRegister(device::FineGainRegister, c);
            if (!fineRead) return fineRead.error();
            const auto gain =
                device::CalibrateGain(*fineRead, EntryText(*zeroScale), range, positive);
            if (!gain)
                return MeterError(
                    QStringLiteral("%1: the gain step cannot use %2 V (%3)")
                        .arg(Caption(c))
                        .arg(*zeroScale)
                        .arg(QString::fromLatin1(device::NegativeNumberExpected.data())));
            if (Status s = bench_.writeRaw(device::FineGainRegister, AddressCode(c), gain->code);
                !s)
                return s.error();
            result.fineCode = gain->code;
            result.gainLimited = gain->limited;

            errors = measure(c, label + QStringLiteral(": residuals"));
            if (!errors) return errors.error();
            result.after = *errors;
            result.passes = pass;
            result.withinTolerance = std::abs(errors->offsetLsb) <= options_.toleranceLsb &&
                                     std::abs(errors->zeroScaleLsb) <= options_.toleranceLsb;
            if (result.withinTolerance) break;
        }
        // The passes not needed are not counted: the total is what is measured.
        steps_ -= first + perChannel() - step_;
        return result;
    }

    void finished(Channel last) {
        if (hooks_.progress) hooks_.progress({last, step_, steps_, {}});
    }

private:
    int perChannel() const { return 2 + 3 * options_.maxPasses; }

    // Both points; the step between them shows whether the meter follows the channel.
    Outcome<PointErrors> measure(Channel c, const QString& label) {
        const double range = bench_.rangeVolts(c);
        const double lsb = 2 * range / 65536;
        Outcome<double> zero = reading(c, 0.0, QStringLiteral("0 V"), label);
        if (!zero) return zero.error();
        Outcome<double> low = reading(c, -range, QStringLiteral("zero scale"), label);
        if (!low) return low.error();
        if (Status follows = CheckFollows(c, range, *zero - *low); !follows) return follows.error();
        PointErrors e;
        e.offsetVolts = *zero;
        e.zeroScaleVolts = *low + range;
        e.offsetLsb = e.offsetVolts / lsb;
        e.zeroScaleLsb = e.zeroScaleVolts / lsb;
        return e;
    }

    Outcome<double> reading(Channel c, double volts, const QString& point, const QString& label) {
        if (hooks_.cancelled && hooks_.cancelled())
            return Error{Error::Kind::Cancelled, "calibration cancelled"};
        if (hooks_.progress)
            hooks_.progress(
                {c, step_, steps_, QStringLiteral("%1, %2: %3").arg(Caption(c), label, point)});
        ++step_;
        if (Status s = bench_.setVolts(c, volts); !s) return s.error();
        if (Status s = meter_.settle(); !s) return s.error();
        Outcome<Reading> r = meter_.measure();
        if (!r) return r.error();
        if (Status s = CheckReading(c, bench_.rangeVolts(c), r->mean, point); !s) return s.error();
        return r->mean;
    }

    Bench& bench_;
    Meter& meter_;
    const CalibrationOptions& options_;
    const CalibrationHooks& hooks_;
    int steps_;
    int step_ = 0;
};

// The run's error, with what could not be put back.
Error WithRestore(Error error, const Status& restored) {
    if (error.kind == Error::Kind::Cancelled && error.message == "cancelled")
        error.message = "calibration cancelled";
    if (!restored)
        error.message += "; putting the channels back failed too: " + restored.error().message;
    return error;
}

} // namespace

Outcome<std::vector<ChannelCalibration>> Calibrate(Bench& bench, Meter& meter,
                                                   const CalibrationOptions& options,
                                                   const CalibrationHooks& hooks) {
    if (options.channels.empty()) return UsageError("no channel to calibrate");
    for (auto it = options.channels.begin(); it != options.channels.end(); ++it) {
        if (*it == Channel::All) return UsageError("name the channels to calibrate: A, B, C, D");
        if (std::find(options.channels.begin(), it, *it) != it)
            return UsageError(QStringLiteral("%1 is named twice").arg(Caption(*it)).toStdString());
    }
    if (options.maxPasses < 1 || options.maxPasses > 10)
        return UsageError("passes must be 1 to 10");
    if (!(options.toleranceLsb > 0)) return UsageError("the tolerance must be above 0 LSB");
    if (!bench.function().sdoEnabled)
        return UsageError("serial data output is off: switch it on so the trims can be read back");

    const Outcome<ChannelsAsFound> found = ChannelsAsFound::read(bench, options.channels);
    if (!found) return found.error();
    const MeterCancelScope cancelScope(meter, hooks.cancelled);

    Run run(bench, meter, options, hooks);
    std::vector<ChannelCalibration> results;
    for (const Channel c : options.channels) {
        Outcome<ChannelCalibration> r = run.channel(c);
        if (!r) return WithRestore(r.error(), found->restore(bench));
        results.push_back(*r);
    }

    // Out of tolerance, a channel is put back whole; within it, only its data code.
    Status restored;
    for (ChannelCalibration& r : results) {
        r.restored = !r.withinTolerance;
        Status s = found->restore(bench, r.channel,
                                  r.restored ? ChannelsAsFound::Whole : ChannelsAsFound::DataOnly);
        if (!s && restored) restored = s;
    }
    if (!restored) return restored.error();
    run.finished(options.channels.back());
    return results;
}

QString CalibrationTable(const std::vector<ChannelCalibration>& results) {
    QString out = QStringLiteral("channel  ");
    for (const char* heading :
         {"offset before", "offset after", "zero scale before", "zero scale after"})
        out += QString::fromLatin1(heading).leftJustified(25);
    out += QStringLiteral("passes\n");
    const auto cell = [](double lsb, double volts) {
        return QString::asprintf("%+7.2f LSB %+8.4f mV  ", lsb, volts * 1000);
    };
    for (const ChannelCalibration& r : results) {
        out += Caption(r.channel).leftJustified(9) +
               cell(r.before.offsetLsb, r.before.offsetVolts) +
               cell(r.after.offsetLsb, r.after.offsetVolts) +
               cell(r.before.zeroScaleLsb, r.before.zeroScaleVolts) +
               cell(r.after.zeroScaleLsb, r.after.zeroScaleVolts) + QString::number(r.passes);
        if (!r.withinTolerance) out += QStringLiteral(", not within tolerance");
        if (r.offsetLimited || r.gainLimited) out += QStringLiteral(", trim at its limit");
        if (r.restored) out += QStringLiteral(", trims put back");
        out += QLatin1Char('\n');
    }
    return out;
}

QJsonArray CalibrationJsonArray(const std::vector<ChannelCalibration>& results) {
    const auto errors = [](const PointErrors& e) {
        return QJsonObject{{"offset_lsb", e.offsetLsb},
                           {"offset_volts", e.offsetVolts},
                           {"zero_scale_lsb", e.zeroScaleLsb},
                           {"zero_scale_volts", e.zeroScaleVolts}};
    };
    QJsonArray channels;
    for (const ChannelCalibration& r : results)
        channels.append(QJsonObject{
            {"channel", QString::fromLatin1(ChannelName(r.channel).data())},
            {"range_volts", static_cast<double>(r.rangeVolts)},
            {"before", errors(r.before)},
            {"after", errors(r.after)},
            {"passes", r.passes},
            {"within_tolerance", r.withinTolerance},
            {"offset_limited", r.offsetLimited},
            {"gain_limited", r.gainLimited},
            {"offset_code", r.offsetCode},
            {"fine_gain_code", r.fineCode},
            {"trims_restored", r.restored},
        });
    return channels;
}

QByteArray CalibrationJson(const std::vector<ChannelCalibration>& results) {
    return QJsonDocument(CalibrationJsonArray(results)).toJson(QJsonDocument::Indented);
}

} // namespace tq::bench
