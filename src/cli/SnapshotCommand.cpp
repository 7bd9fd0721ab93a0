// snapshot save|load FILE: the board's set-up as a file (the format is in bench/Snapshot.h).

#include "cli/Commands.h"
#include "cli/Parse.h"

#include "bench/Snapshot.h"

#include <QFileInfo>

namespace tq::cli {

bench::Outcome<Step> ParseSnapshot(Args args) {
    if (args.size() != 2) return UsageOf("snapshot");
    const bench::Outcome<int> action = ParseChoice(args[0], "snapshot action", {"save", "load"});
    if (!action) return action.error();
    const QString path = QFileInfo(QString::fromUtf8(args[1])).absoluteFilePath();
    const bool save = *action == 0;
    return Step{[save, path](Context& ctx) -> bench::Outcome<Reply> {
        bench::Bench& b = *ctx.bench;
        if (save) {
            const bench::Outcome<bench::Snapshot> snapshot = bench::TakeSnapshot(b);
            if (!snapshot) return snapshot.error();
            if (bench::Status saved = bench::SaveSnapshotFile(*snapshot, path); !saved)
                return saved.error();
        } else {
            // Read and checked whole before anything is written to the board.
            const bench::Outcome<bench::Snapshot> snapshot =
                bench::LoadSnapshotFile(path, b.model());
            if (!snapshot) return snapshot.error();
            if (bench::Status restored = bench::RestoreSnapshot(b, *snapshot); !restored)
                return restored.error();
        }
        Reply r;
        r.json = QJsonObject{
            {QStringLiteral("action"), save ? QStringLiteral("save") : QStringLiteral("load")},
            {QStringLiteral("file"), path}};
        r.text = (save ? QStringLiteral("saved the set-up to %1")
                       : QStringLiteral("loaded the set-up from %1"))
                     .arg(path)
                     .toStdString();
        return r;
    }};
}

} // namespace tq::cli
