#include "ui/bench/BoardSetup.h"

#include "bench/Snapshot.h"

#include <QFileDialog>
#include <QMessageBox>

namespace tq::ui {

namespace {

const QString kFilter = QStringLiteral("Board set-up (*.json);;All files (*)");

QString Reason(const bench::Error& e) {
    return QString::fromStdString(e.message);
}

} // namespace

BoardSetup::BoardSetup(board::BoardLink& declare, board::DriverApi& driver, bench::Model model,
                       QWidget* parent, std::function<void()> showBoardState)
    : declare_(declare), driver_(driver), model_(model), parent_(parent),
      showBoardState_(std::move(showBoardState)) {}

QString BoardSetup::saveTo(const QString& path) {
    bench::Bench bench(declare_, driver_, model_);
    const bench::Outcome<bench::Snapshot> snapshot = bench::TakeSnapshot(bench);
    if (!snapshot) return Reason(snapshot.error());
    const bench::Status saved = bench::SaveSnapshotFile(*snapshot, path);
    return saved ? QString() : Reason(saved.error());
}

QString BoardSetup::loadFrom(const QString& path) {
    const bench::Outcome<bench::Snapshot> snapshot = bench::LoadSnapshotFile(path, model_);
    if (!snapshot) return Reason(snapshot.error());
    bench::Bench bench(declare_, driver_, model_);
    const bench::Status restored = bench::RestoreSnapshot(bench, *snapshot);
    // Whatever went through, the controls show it.
    showBoardState_();
    return restored ? QString() : Reason(restored.error());
}

void BoardSetup::save() {
    const QString path = QFileDialog::getSaveFileName(parent_, QStringLiteral("Save Board Set-up"),
                                                      QString(), kFilter);
    if (path.isEmpty()) return;
    if (const QString why = saveTo(path); !why.isEmpty())
        QMessageBox::warning(parent_, QStringLiteral("Save Board Set-up"),
                             QStringLiteral("The set-up was not saved: %1").arg(why));
}

void BoardSetup::load() {
    const QString path = QFileDialog::getOpenFileName(parent_, QStringLiteral("Load Board Set-up"),
                                                      QString(), kFilter);
    if (path.isEmpty()) return;
    if (const QString why = loadFrom(path); !why.isEmpty())
        QMessageBox::warning(parent_, QStringLiteral("Load Board Set-up"),
                             QStringLiteral("The set-up was not loaded: %1").arg(why));
}

} // namespace tq::ui
