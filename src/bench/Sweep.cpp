#include "bench/Sweep.h"

#include "bench/MeterChecks.h"
#include "device/RegisterMap.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <algorithm>
#include <cmath>
#include <map>
#include <numeric>

namespace tq::bench {

namespace {

using Clock = std::chrono::steady_clock;
constexpr int32_t kLastCode = 65535;
constexpr int32_t kZeroVoltsCode = 32768;
// Between neighbouring codes measured, the output may differ from its average step by this
// much: far beyond the DNL of any converter worth sweeping, so only a faulty reading does.
constexpr double kMaxJumpLsb = 8;

QString Caption(Channel c) {
    const std::string_view text = ChannelCaption(c);
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

QString Lsb(double x) {
    return QString::asprintf("%+.3f LSB", x);
}

// The extreme of a value over the points, by magnitude or by sign.
template <class Get, class Better>
void Extreme(const std::vector<SweepPoint>& points, Get get, Better better, double& value,
             int32_t& at) {
    bool first = true;
    for (const SweepPoint& p : points) {
        const std::optional<double> v = get(p);
        if (!v) continue;
        if (first || better(*v, value)) {
            value = *v;
            at = p.code;
            first = false;
        }
    }
}

} // namespace

std::vector<SweepCode> SweepCodes(const SweepOptions& o) {
    std::map<int32_t, bool> codes; // code -> evenly spaced
    if (o.everyCode) {
        for (int32_t c = 0; c <= kLastCode; ++c)
            codes[c] = true;
    } else {
        const int last = o.points - 1;
        for (int i = 0; i <= last; ++i)
            codes[std::min<int32_t>(kLastCode,
                                    static_cast<int32_t>(std::lround(65536.0 * i / last)))] = true;
        codes.try_emplace(kZeroVoltsCode, false);
        if (o.carryNeighbours > 0 && o.carryStep > 0)
            for (int32_t carry = o.carryStep; carry <= kLastCode; carry += o.carryStep)
                for (int32_t c = carry - o.carryNeighbours; c < carry + o.carryNeighbours; ++c)
                    if (c >= 0 && c <= kLastCode) codes.try_emplace(c, false);
    }
    std::vector<SweepCode> out;
    out.reserve(codes.size());
    for (const auto& [code, even] : codes)
        out.push_back({code, even});
    return out;
}

Status AnalyseSweep(SweepResult& r) {
    std::ranges::sort(r.points, {}, &SweepPoint::code);
    const auto at = [&](int32_t code) -> const SweepPoint* {
        const auto it = std::ranges::lower_bound(r.points, code, {}, &SweepPoint::code);
        return it != r.points.end() && it->code == code ? &*it : nullptr;
    };
    const SweepPoint* low = at(0);
    const SweepPoint* mid = at(kZeroVoltsCode);
    const SweepPoint* high = at(kLastCode);
    if (!low || !mid || !high)
        return UsageError("a sweep needs readings at codes 0, 32768 and 65535");
    const double range = r.rangeVolts;
    const double lsb = 2 * range / 65536;
    if (Status follows = CheckFollows(r.channel, kLastCode * lsb, high->volts - low->volts);
        !follows)
        return follows;
    const double step = (high->volts - low->volts) / kLastCode;

    // Least squares line over the evenly spaced codes, centred for precision.
    double n = 0, sx = 0, sy = 0;
    for (const SweepPoint& p : r.points)
        if (p.evenlySpaced) ++n, sx += p.code, sy += p.volts;
    if (n < 2) return UsageError("a sweep needs at least two evenly spaced codes");
    const double mx = sx / n, my = sy / n;
    double sxx = 0, sxy = 0;
    for (const SweepPoint& p : r.points)
        if (p.evenlySpaced) {
            sxx += (p.code - mx) * (p.code - mx);
            sxy += (p.code - mx) * (p.volts - my);
        }
    const double slope = sxy / sxx;

    const SweepPoint* previous = nullptr;
    for (SweepPoint& p : r.points) {
        p.idealVolts = -range + p.code * lsb;
        p.errorLsb = (p.volts - p.idealVolts) / lsb;
        p.inlEndPointLsb = (p.volts - (low->volts + p.code * step)) / step;
        p.inlBestFitLsb = (p.volts - (my + (p.code - mx) * slope)) / slope;
        p.dnlLsb.reset();
        if (previous && previous->code == p.code - 1)
            p.dnlLsb = (p.volts - previous->volts) / step - 1;
        previous = &p;
    }
    for (std::size_t i = 1; i < r.points.size(); ++i) {
        const SweepPoint& a = r.points[i - 1];
        const SweepPoint& b = r.points[i];
        const double jump = (b.volts - a.volts) / step - (b.code - a.code);
        if (std::abs(jump) > kMaxJumpLsb)
            return Error{Error::Kind::Meter,
                         QStringLiteral("%1 from code %2 to %3: the meter saw the output move "
                                        "%4 LSB off its average step (%5 V to %6 V): a reading "
                                        "went wrong")
                             .arg(Caption(r.channel))
                             .arg(a.code)
                             .arg(b.code)
                             .arg(jump, 0, 'g', 4)
                             .arg(a.volts, 0, 'g', 7)
                             .arg(b.volts, 0, 'g', 7)
                             .toStdString()};
    }
    r.offsetErrorLsb = mid->errorLsb;
    r.zeroScaleErrorLsb = low->errorLsb;
    r.gainErrorLsb = (high->volts - low->volts - kLastCode * lsb) / lsb;

    const auto byMagnitude = [](double a, double b) { return std::abs(a) > std::abs(b); };
    Extreme(
        r.points, [](const SweepPoint& p) { return std::optional(p.inlEndPointLsb); }, byMagnitude,
        r.inlEndPointMaxLsb, r.inlEndPointAt);
    Extreme(
        r.points, [](const SweepPoint& p) { return std::optional(p.inlBestFitLsb); }, byMagnitude,
        r.inlBestFitMaxLsb, r.inlBestFitAt);
    const auto dnl = [](const SweepPoint& p) { return p.dnlLsb; };
    r.dnlMaxLsb = r.dnlMinLsb = 0;
    Extreme(r.points, dnl, std::greater<>(), r.dnlMaxLsb, r.dnlMaxAt);
    Extreme(r.points, dnl, std::less<>(), r.dnlMinLsb, r.dnlMinAt);
    r.dnlCount = static_cast<int>(
        std::ranges::count_if(r.points, [](const SweepPoint& p) { return p.dnlLsb.has_value(); }));
    return {};
}

Outcome<SweepResult> RunSweep(Bench& bench, Meter& meter, const SweepOptions& o,
                              const SweepHooks& hooks) {
    if (o.channel == Channel::All) return UsageError("a sweep measures one channel: A, B, C or D");
    if (!o.everyCode && (o.points < 3 || o.points > 65536))
        return UsageError(
            QStringLiteral("%1 points is outside 3 to 65536").arg(o.points).toStdString());
    if (o.carryNeighbours < 0 || o.carryNeighbours > 256)
        return UsageError("codes around a carry must be 0 to 256");
    const std::vector<SweepCode> codes = SweepCodes(o);

    if (!bench.function().sdoEnabled)
        return UsageError(
            "serial data output is off: switch it on so the channel can be put back as it was");

    SweepResult r;
    r.channel = o.channel;
    r.rangeVolts = bench.rangeVolts(o.channel);
    r.samples = meter.options().samples;
    r.twosComplement = !bench.lines().binary;
    r.points.reserve(codes.size());
    const Outcome<ChannelsAsFound> found = ChannelsAsFound::read(bench, std::span(&o.channel, 1));
    if (!found) return found.error();
    const MeterCancelScope cancelScope(meter, hooks.cancelled);
    if (Status s = meter.select(o.channel); !s) return s.error();

    // Zero scale and 0 V first: their step shows whether the meter follows the channel
    // before the rest is measured.
    std::vector<std::size_t> order(codes.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    const auto zeroVolts = std::ranges::find(codes, kZeroVoltsCode, &SweepCode::code);
    std::rotate(order.begin() + 1, order.begin() + (zeroVolts - codes.begin()),
                order.begin() + (zeroVolts - codes.begin()) + 1);

    const Clock::time_point start = Clock::now();
    const std::chrono::nanoseconds waitedBefore = meter.waited();
    const auto measureAll = [&]() -> Status {
        for (std::size_t i = 0; i < order.size(); ++i) {
            if (hooks.cancelled && hooks.cancelled())
                return Error{Error::Kind::Cancelled, "sweep cancelled"};
            if (hooks.progress && i % 32 == 0)
                hooks.progress({static_cast<int>(i), static_cast<int>(codes.size())});
            const SweepCode& code = codes[order[i]];
            if (Status s =
                    bench.setCode(o.channel, r.twosComplement ? code.code ^ 0x8000 : code.code);
                !s)
                return s;
            if (Status s = meter.settle(); !s) return s;
            Outcome<Reading> reading = meter.measure();
            if (!reading) return reading.error();
            if (Status s = CheckReading(o.channel, r.rangeVolts, reading->mean,
                                        QStringLiteral("code %1").arg(code.code));
                !s)
                return s;
            SweepPoint p;
            p.code = code.code;
            p.volts = reading->mean;
            p.stddev = reading->stddev;
            p.evenlySpaced = code.evenlySpaced;
            r.points.push_back(p);
            if (i == 1)
                if (Status s = CheckFollows(o.channel, r.rangeVolts,
                                            r.points[1].volts - r.points[0].volts);
                    !s)
                    return s;
        }
        return {};
    };
    Status measured = measureAll();
    const std::chrono::nanoseconds total = Clock::now() - start;
    const std::chrono::nanoseconds ours = total - (meter.waited() - waitedBefore);

    const Status restored = found->restore(bench);
    if (!measured) {
        Error e = measured.error();
        if (e.kind == Error::Kind::Cancelled) e.message = "sweep cancelled";
        if (!restored)
            e.message += "; putting the channel back failed too: " + restored.error().message;
        return e;
    }
    if (!restored) return restored.error();

    const double count = static_cast<double>(std::max<std::size_t>(1, r.points.size()));
    r.perPointMs = std::chrono::duration<double, std::milli>(total).count() / count;
    r.overheadPerPointMs = std::chrono::duration<double, std::milli>(ours).count() / count;
    if (Status analysed = AnalyseSweep(r); !analysed) return analysed.error();
    if (hooks.progress)
        hooks.progress({static_cast<int>(codes.size()), static_cast<int>(codes.size())});
    return r;
}

QString SweepSummary(const SweepResult& r) {
    QString s;
    s += QStringLiteral("%1, range +/-%2 V, %3 codes, %4 sample(s) each\n")
             .arg(Caption(r.channel))
             .arg(static_cast<double>(r.rangeVolts), 0, 'g', 6)
             .arg(r.points.size())
             .arg(r.samples);
    s += QStringLiteral("offset error     %1 at 0 V (code 32768), %2 at zero scale\n")
             .arg(Lsb(r.offsetErrorLsb), Lsb(r.zeroScaleErrorLsb));
    s += QStringLiteral("gain error       %1 over the span\n").arg(Lsb(r.gainErrorLsb));
    s += QStringLiteral("INL end-point    %1 at code %2\n")
             .arg(Lsb(r.inlEndPointMaxLsb))
             .arg(r.inlEndPointAt);
    s += QStringLiteral("INL best-fit     %1 at code %2\n")
             .arg(Lsb(r.inlBestFitMaxLsb))
             .arg(r.inlBestFitAt);
    if (r.dnlCount > 0)
        s += QStringLiteral("DNL              %1 at code %2, %3 at code %4 (%5 code pairs)\n")
                 .arg(Lsb(r.dnlMaxLsb))
                 .arg(r.dnlMaxAt)
                 .arg(Lsb(r.dnlMinLsb))
                 .arg(r.dnlMinAt)
                 .arg(r.dnlCount);
    else
        s += QStringLiteral("DNL              not measured (no consecutive codes)\n");
    s += QStringLiteral("time per point   %1 ms, of which ours %2 ms (meter and settling "
                        "excluded)\n")
             .arg(r.perPointMs, 0, 'f', 3)
             .arg(r.overheadPerPointMs, 0, 'f', 4);
    return s;
}

QByteArray SweepCsv(const SweepResult& r) {
    QByteArray out = "code,written_code,ideal_volts,measured_volts,stddev_volts,error_lsb,"
                     "inl_endpoint_lsb,inl_bestfit_lsb,dnl_lsb\n";
    for (const SweepPoint& p : r.points) {
        out += QByteArray::number(p.code) + ',' +
               QByteArray::number(r.twosComplement ? p.code ^ 0x8000 : p.code) + ',' +
               QByteArray::number(p.idealVolts, 'g', 10) + ',' +
               QByteArray::number(p.volts, 'g', 10) + ',' + QByteArray::number(p.stddev, 'g', 4) +
               ',' + QByteArray::number(p.errorLsb, 'f', 4) + ',' +
               QByteArray::number(p.inlEndPointLsb, 'f', 4) + ',' +
               QByteArray::number(p.inlBestFitLsb, 'f', 4) + ',' +
               (p.dnlLsb ? QByteArray::number(*p.dnlLsb, 'f', 4) : QByteArray()) + '\n';
    }
    return out;
}

QJsonObject SweepSummaryJson(const SweepResult& r) {
    const auto extreme = [](double lsb, int32_t code) {
        return QJsonObject{{"lsb", lsb}, {"code", code}};
    };
    return QJsonObject{
        {"channel", QString::fromLatin1(ChannelName(r.channel).data())},
        {"range_volts", static_cast<double>(r.rangeVolts)},
        {"coding", r.twosComplement ? "twos_complement" : "binary"},
        {"samples_per_point", r.samples},
        {"offset_error_lsb", r.offsetErrorLsb},
        {"zero_scale_error_lsb", r.zeroScaleErrorLsb},
        {"gain_error_lsb", r.gainErrorLsb},
        {"inl_endpoint_max", extreme(r.inlEndPointMaxLsb, r.inlEndPointAt)},
        {"inl_bestfit_max", extreme(r.inlBestFitMaxLsb, r.inlBestFitAt)},
        {"dnl_max", extreme(r.dnlMaxLsb, r.dnlMaxAt)},
        {"dnl_min", extreme(r.dnlMinLsb, r.dnlMinAt)},
        {"dnl_pairs", r.dnlCount},
        {"ms_per_point", r.perPointMs},
        {"overhead_ms_per_point", r.overheadPerPointMs},
    };
}

QByteArray SweepJson(const SweepResult& r) {
    QJsonArray points;
    for (const SweepPoint& p : r.points) {
        QJsonObject o{{"code", p.code},
                      {"ideal_volts", p.idealVolts},
                      {"volts", p.volts},
                      {"stddev_volts", p.stddev},
                      {"error_lsb", p.errorLsb},
                      {"inl_endpoint_lsb", p.inlEndPointLsb},
                      {"inl_bestfit_lsb", p.inlBestFitLsb}};
        if (p.dnlLsb) o.insert(QStringLiteral("dnl_lsb"), *p.dnlLsb);
        points.append(o);
    }
    QJsonObject root = SweepSummaryJson(r);
    root.insert(QStringLiteral("points"), points);
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

Status WriteFile(const QString& path, const QByteArray& bytes) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        return UsageError(
            QStringLiteral("cannot write %1: %2").arg(path, file.errorString()).toStdString());
    return {};
}

} // namespace tq::bench
