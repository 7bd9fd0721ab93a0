// The plots as a library of their own (libTQ5802Plot.so), loaded by the programs only when a
// plot is wanted, so they start without Qt's chart libraries. The C entries are resolved by
// name; both sides are built together.

#include "plot/PlotEntries.h"
#include "plot/LinePlot.h"
#include "plot/SweepPlot.h"

#include <QApplication>

#include <memory>

extern "C" Q_DECL_EXPORT QCoreApplication* TQPlot_CreateApplication(int* argc, char** argv) {
    // The caller owns the application; Qt keeps a reference to argc, which must outlive it.
    return std::make_unique<QApplication>(*argc, argv).release();
}

extern "C" Q_DECL_EXPORT int TQPlot_Render(const tq::bench::SweepResult* result,
                                           const QString* path, QString* error) {
    const tq::bench::Status status = tq::plot::RenderSweepPlot(*result, *path);
    if (!status && error) *error = QString::fromStdString(status.error().message);
    return status ? 0 : -1;
}

extern "C" Q_DECL_EXPORT QWidget* TQPlot_CreateSweepPlot(QWidget* parent) {
    return new tq::plot::SweepPlot(parent); // owned by parent
}

extern "C" Q_DECL_EXPORT void TQPlot_ShowSweep(QWidget* plot,
                                               const tq::bench::SweepResult* result) {
    static_cast<tq::plot::SweepPlot*>(plot)->setResult(*result);
}

extern "C" Q_DECL_EXPORT QWidget* TQPlot_CreateLinePlot(QWidget* parent) {
    return new tq::plot::LinePlot(parent); // owned by parent
}

extern "C" Q_DECL_EXPORT void TQPlot_ShowLines(QWidget* plot, const tq::plot::PlotLine* lines,
                                               std::size_t count) {
    static_cast<tq::plot::LinePlot*>(plot)->setLines({lines, count});
}
