// The sweep plots as a library of their own (libTQ5802Plot.so), loaded by tq5802ctl only
// when a plot is asked for, so its other commands start without Qt's widget and chart
// libraries. The C entries are resolved by name; both sides are built together.

#include "plot/PlotEntries.h"
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
