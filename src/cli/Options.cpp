#include "cli/Options.h"

namespace tq::cli {

namespace {

struct KindRow {
    bench::Error::Kind kind;
    int exitCode;
    const char* name;
};

constexpr KindRow kKinds[] = {
    {bench::Error::Kind::Usage, kUsage, "usage"},
    {bench::Error::Kind::NoBoard, kNoBoard, "no-board"},
    {bench::Error::Kind::DriverLoad, kDriverLoad, "driver-load"},
    {bench::Error::Kind::Transfer, kTransferFailed, "transfer"},
    {bench::Error::Kind::Meter, kMeter, "meter"},
    {bench::Error::Kind::Cancelled, kCancelled, "cancelled"},
    // A feature the board lacks is refused like any other value: nothing was sent.
    {bench::Error::Kind::Missing, kUsage, "missing"},
};

const KindRow& RowOf(bench::Error::Kind kind) {
    for (const KindRow& row : kKinds)
        if (row.kind == kind) return row;
    return kKinds[3]; // unreachable: every kind has a row
}

} // namespace

int ExitCodeOf(bench::Error::Kind kind) {
    return RowOf(kind).exitCode;
}

QString KindName(bench::Error::Kind kind) {
    return QString::fromLatin1(RowOf(kind).name);
}

} // namespace tq::cli
