#pragma once
// Entries of the plot library (libTQ5802Plot.so), for a program that loads it by path
// (PlotLibrary.h). Both sides are built together, so they pass C++ types by pointer.

#include "bench/Sweep.h"
#include "plot/PlotLine.h"

#include <QCoreApplication>
#include <QString>

#include <cstddef>

class QWidget;

extern "C" {
// A QApplication for argc/argv (plots need one; the offscreen platform needs no display).
// The caller owns it and keeps argc alive as long as it.
typedef QCoreApplication* (*TQPlot_CreateApplication_fn)(int* argc, char** argv);
// Writes the sweep's plot to path (SVG for ".svg", else PNG): 0 done, else -1 and *error.
typedef int (*TQPlot_Render_fn)(const tq::bench::SweepResult* result, const QString* path,
                                QString* error);
// A sweep's plot as a widget of parent (which owns it), and its results shown in it.
typedef QWidget* (*TQPlot_CreateSweepPlot_fn)(QWidget* parent);
typedef void (*TQPlot_ShowSweep_fn)(QWidget* plot, const tq::bench::SweepResult* result);
// A plot of lines as a widget of parent (which owns it), and the lines shown in it.
typedef QWidget* (*TQPlot_CreateLinePlot_fn)(QWidget* parent);
typedef void (*TQPlot_ShowLines_fn)(QWidget* plot, const tq::plot::PlotLine* lines,
                                    std::size_t count);
}
