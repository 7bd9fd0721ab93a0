// A board set-up file's text: refused or read, never a crash, and what is read writes back
// to the same set-up.
#include "bench/Snapshot.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray json(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    for (const auto model : {tq::bench::Model::TQ5802R, tq::bench::Model::TQ5802}) {
        const auto snapshot = tq::bench::SnapshotFromJson(json, model);
        if (!snapshot) continue;
        const auto again = tq::bench::SnapshotFromJson(tq::bench::SnapshotToJson(*snapshot), model);
        if (!again || !(*again == *snapshot)) std::abort();
    }
    return 0;
}
