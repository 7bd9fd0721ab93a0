#pragma once
// The plot library (libTQ5802Plot.so), loaded by path from the folder of the program's
// private libraries, and only when a plot is wanted: the programs start without Qt's chart
// libraries. Needs Qt Core only; the widgets it makes are the library's.

#include "bench/Outcome.h"
#include "bench/Sweep.h"
#include "plot/PlotEntries.h"

#include <QLibrary>
#include <QString>

#include <functional>
#include <span>

class QWidget;

namespace tq::plot {

class PlotLibrary {
public:
    // Loads it from the private library folder of `programDir` (once; later calls answer the
    // same). The error names the file and the loader's reason.
    bench::Status load(const QString& programDir);
    bool loaded() const { return entries_.render != nullptr; }

    // The calls below need a loaded library.
    // A QApplication for argc/argv; the caller owns it and keeps argc alive as long.
    QCoreApplication* createApplication(int* argc, char** argv) const;
    // Draws a sweep's plot into a file (SVG for ".svg", else PNG).
    bench::Status render(const bench::SweepResult& result, const QString& path) const;
    // A sweep's plot as a widget of parent, which owns it, and results shown in it.
    QWidget* createSweepPlot(QWidget* parent) const;
    void showSweep(QWidget* plot, const bench::SweepResult& result) const;
    // A plot of lines (volts against seconds) as a widget of parent, and lines shown in it.
    QWidget* createLinePlot(QWidget* parent) const;
    void showLines(QWidget* plot, std::span<const PlotLine> lines) const;

private:
    struct Entries {
        TQPlot_CreateApplication_fn createApplication = nullptr;
        TQPlot_Render_fn render = nullptr;
        TQPlot_CreateSweepPlot_fn createSweepPlot = nullptr;
        TQPlot_ShowSweep_fn showSweep = nullptr;
        TQPlot_CreateLinePlot_fn createLinePlot = nullptr;
        TQPlot_ShowLines_fn showLines = nullptr;
    };
    QLibrary library_;
    Entries entries_;
};

} // namespace tq::plot
