#include "bench/Sweep.h"

#include "device/RegisterMap.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <algorithm>
#include <cmath>
#include <map>

namespace tq::bench {

namespace {

using Clock = std::chrono::steady_clock;
constexpr int32_t kLastCode = 65535;
constexpr int32_t kZeroVoltsCode = 32768;

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
    const double step = (high->volts - low->volts) / kLastCode;
    if (!(step > 0))
        return UsageError("the output does not rise from zero to full scale: is the meter "
                          "on the right channel?");

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

    SweepResult r;
    r.channel = o.channel;
    r.rangeVolts = bench.rangeVolts(o.channel);
    r.samples = meter.options().samples;
    r.twosComplement = !bench.lines().binary;
    r.points.reserve(codes.size());
    // Without serial data output the present code cannot be known, so nothing is restored.
    const Outcome<int32_t> before = bench.function().sdoEnabled
                                        ? bench.readRegister(device::DataRegister, o.channel)
                                        : Outcome<int32_t>(UsageError("not read"));
    if (Status s = meter.select(o.channel); !s) return s.error();

    const Clock::time_point start = Clock::now();
    const std::chrono::nanoseconds waitedBefore = meter.waited();
    std::optional<Error> failure;
    for (std::size_t i = 0; i < codes.size() && !failure; ++i) {
        if (hooks.cancelled && hooks.cancelled()) {
            failure = Error{Error::Kind::Cancelled, "sweep cancelled"};
            break;
        }
        if (hooks.progress && i % 32 == 0)
            hooks.progress({static_cast<int>(i), static_cast<int>(codes.size())});
        const int32_t code = codes[i].code;
        if (Status s = bench.setCode(o.channel, r.twosComplement ? code ^ 0x8000 : code); !s) {
            failure = s.error();
            break;
        }
        meter.settle();
        Outcome<Reading> reading = meter.measure();
        if (!reading) {
            failure = reading.error();
            break;
        }
        SweepPoint p;
        p.code = code;
        p.volts = reading->mean;
        p.stddev = reading->stddev;
        p.evenlySpaced = codes[i].evenlySpaced;
        r.points.push_back(p);
    }
    const std::chrono::nanoseconds total = Clock::now() - start;
    const std::chrono::nanoseconds ours = total - (meter.waited() - waitedBefore);

    Status restored = before ? bench.setCode(o.channel, *before) : Status{};
    if (failure) return *failure;
    if (!restored) return restored.error();
    if (hooks.progress)
        hooks.progress({static_cast<int>(codes.size()), static_cast<int>(codes.size())});

    const double count = static_cast<double>(std::max<std::size_t>(1, r.points.size()));
    r.perPointMs = std::chrono::duration<double, std::milli>(total).count() / count;
    r.overheadPerPointMs = std::chrono::duration<double, std::milli>(ours).count() / count;
    if (Status analysed = AnalyseSweep(r); !analysed) return analysed.error();
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
