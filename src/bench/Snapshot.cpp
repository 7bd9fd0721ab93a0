#include "bench/Snapshot.h"

#include "bench/FileInput.h"
#include "bench/Quantities.h"

#include "device/Encodings.h"
#include "device/RegisterMap.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <cmath>

namespace tq::bench {

namespace {

constexpr const char* kFormat = "tq5802-board-setup";

Error Refused(const QString& why) {
    return UsageError(why.toStdString());
}

// A set-up of the other board, with the program that opens that board.
QString OtherBoard(const QString& fileBoard, Model model) {
    QString why = QStringLiteral("the set-up is for the %1, this board is a %2")
                      .arg(fileBoard.isEmpty() ? QStringLiteral("(no board)") : fileBoard,
                           QString::fromUtf8(ModelName(model)));
    for (const Model other : {Model::TQ5802R, Model::TQ5802}) {
        if (other == model || fileBoard != QString::fromUtf8(ModelName(other))) continue;
        why += other == Model::TQ5802
                   ? QStringLiteral(": load it with tq5802, or tq5802ctl --legacy")
                   : QStringLiteral(": load it with tq5802r, or tq5802ctl without --legacy");
    }
    return why;
}

// The function flags and the control lines are stored under their keys of the board's
// table of settings (Quantities.h), one switch per key.
template <class T, class Table> QJsonObject FlagsToJson(const T& value, const Table& flags) {
    QJsonObject o;
    for (const auto& f : flags)
        o.insert(QString::fromUtf8(f.jsonKey), value.*f.member);
    return o;
}

template <class T, class Table>
Outcome<T> FlagsFromJson(const QJsonValue& json, const Table& flags, const char* what) {
    T value;
    const QJsonObject o = json.toObject();
    for (const auto& f : flags) {
        const QString key = QString::fromUtf8(f.jsonKey);
        const QJsonValue v = o.value(key);
        if (!v.isBool())
            return Refused(QStringLiteral("\"%1\" of \"%2\" is missing or not true/false")
                               .arg(key, QLatin1String(what)));
        value.*f.member = v.toBool();
    }
    return value;
}

struct RegisterField {
    const char* name;
    int32_t ChannelRegisters::*member;
    int32_t max;
};
constexpr RegisterField kRegisterFields[] = {
    {"data", &ChannelRegisters::data, device::DataCodeMax},
    {"coarse", &ChannelRegisters::coarse,
     static_cast<int32_t>(device::CoarseGainRanges.size()) - 1},
    {"fine", &ChannelRegisters::fine, device::FineGainFieldMask},
    {"offset", &ChannelRegisters::offset, device::OffsetFieldMask},
};

} // namespace

Outcome<Snapshot> TakeSnapshot(Bench& bench) {
    Snapshot s;
    s.model = bench.model();
    for (const Channel c : kChannels) {
        Outcome<ChannelRegisters> r = bench.readChannel(c);
        if (!r) return r.error();
        s.channels[ChannelIndex(c)] = *r;
    }
    Outcome<FunctionFlags> f = bench.readFunction();
    if (!f) return f.error();
    s.function = *f;
    s.lines = bench.lines();
    return s;
}

Status RestoreSnapshot(Bench& bench, const Snapshot& s) {
    if (s.model != bench.model())
        return Refused(OtherBoard(QString::fromUtf8(ModelName(s.model)), bench.model()));
    // Held: the input registers take everything, the outputs change once, at the LOAD.
    ControlLines held = s.lines;
    // Out of reset and not cleared while writing: the converter ignores register writes
    // while RSTIN is low, and a LOAD while CLR is low.
    held.ldac = true;
    held.rstin = true;
    held.clr = true;
    held.pulseAfterWrite = false;
    Status status = bench.setLines(held);
    for (const Channel c : kChannels) {
        const ChannelRegisters& r = s.channels[ChannelIndex(c)];
        const int16_t a = AddressCode(c);
        for (auto [code, value] : {std::pair{device::CoarseGainRegister, r.coarse},
                                   {device::FineGainRegister, r.fine},
                                   {device::OffsetRegister, r.offset}})
            if (status) status = bench.writeRaw(code, a, value);
    }
    for (const Channel c : kChannels)
        if (status)
            status = bench.writeRaw(device::DataRegister, AddressCode(c),
                                    s.channels[ChannelIndex(c)].data);
    if (status) status = bench.load();
    if (status) status = bench.setFunction(s.function);
    if (status) status = bench.setLines(s.lines);
    return status;
}

QByteArray SnapshotToJson(const Snapshot& s) {
    QJsonObject channels;
    for (const Channel c : kChannels) {
        const ChannelRegisters& r = s.channels[ChannelIndex(c)];
        QJsonObject o;
        for (const auto& f : kRegisterFields)
            o.insert(QLatin1String(f.name), r.*f.member);
        const float fs = device::RangeFromCoarseCode(r.coarse, 10.0f);
        o.insert(QStringLiteral("volts"), device::DataCodeToVolts(r.data, fs, s.lines.binary));
        o.insert(QStringLiteral("fineLsb"), device::CodeToFineGain(r.fine));
        o.insert(QStringLiteral("offsetLsb"), device::CodeToOffset(r.offset));
        channels.insert(QString::fromUtf8(ChannelName(c)), o);
    }
    QJsonObject root{
        {QStringLiteral("format"), QLatin1String(kFormat)},
        {QStringLiteral("version"), kSnapshotVersion},
        {QStringLiteral("board"), QString::fromUtf8(ModelName(s.model))},
        {QStringLiteral("channels"), channels},
        {QStringLiteral("function"), FlagsToJson(s.function, kFunctionBits)},
        {QStringLiteral("lines"), FlagsToJson(s.lines, kLineSwitches)},
    };
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

Outcome<Snapshot> SnapshotFromJson(const QByteArray& json, Model model) {
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parseError);
    if (doc.isNull())
        return Refused(QStringLiteral("not a board set-up file: %1 at byte %2")
                           .arg(parseError.errorString())
                           .arg(parseError.offset));
    const QJsonObject root = doc.object();
    if (root.value(QStringLiteral("format")).toString() != QLatin1String(kFormat))
        return Refused(QStringLiteral("not a board set-up file (\"format\" is not \"%1\")")
                           .arg(QLatin1String(kFormat)));
    const QJsonValue version = root.value(QStringLiteral("version"));
    if (version.toInt(-1) != kSnapshotVersion)
        return Refused(QStringLiteral("set-up file version %1 is not supported (this program "
                                      "reads version %2)")
                           .arg(version.isDouble() ? QString::number(version.toDouble())
                                                   : QStringLiteral("(none)"))
                           .arg(kSnapshotVersion));
    const QString board = root.value(QStringLiteral("board")).toString();
    if (board != QString::fromUtf8(ModelName(model))) return Refused(OtherBoard(board, model));
    Snapshot s;
    s.model = model;
    const QJsonObject channels = root.value(QStringLiteral("channels")).toObject();
    for (const Channel c : kChannels) {
        const QJsonObject o = channels.value(QString::fromUtf8(ChannelName(c))).toObject();
        for (const auto& f : kRegisterFields) {
            const QJsonValue v = o.value(QLatin1String(f.name));
            const double x = v.toDouble(-1);
            // Range first: only then is the whole-number test's cast defined.
            if (!v.isDouble() || !(x >= 0 && x <= f.max) || x != std::floor(x))
                return Refused(QStringLiteral("channel %1 \"%2\" must be a whole number from 0 "
                                              "to %3")
                                   .arg(QString::fromUtf8(ChannelName(c)), QLatin1String(f.name))
                                   .arg(f.max));
            s.channels[ChannelIndex(c)].*f.member = static_cast<int32_t>(x);
        }
    }
    Outcome<FunctionFlags> function = FlagsFromJson<FunctionFlags>(
        root.value(QStringLiteral("function")), kFunctionBits, "function");
    if (!function) return function.error();
    s.function = *function;
    Outcome<ControlLines> lines =
        FlagsFromJson<ControlLines>(root.value(QStringLiteral("lines")), kLineSwitches, "lines");
    if (!lines) return lines.error();
    s.lines = *lines;
    return s;
}

Status SaveSnapshotFile(const Snapshot& snapshot, const QString& path) {
    // Written aside and renamed, so a failed save never leaves half a file behind.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(SnapshotToJson(snapshot)) < 0 ||
        !file.commit())
        return Refused(QStringLiteral("cannot write %1: %2").arg(path, file.errorString()));
    return {};
}

Outcome<Snapshot> LoadSnapshotFile(const QString& path, Model model) {
    // A set-up file is a few hundred bytes; anything far larger is not one.
    constexpr qint64 kLargest = 1 << 20;
    const Outcome<QByteArray> bytes = ReadInputFile(path, kLargest);
    if (!bytes) return bytes.error();
    Outcome<Snapshot> s = SnapshotFromJson(*bytes, model);
    if (!s)
        return Refused(
            QStringLiteral("%1: %2").arg(path, QString::fromStdString(s.error().message)));
    return s;
}

} // namespace tq::bench
