#pragma once
// Entries of the plot library (libTQ5802Plot.so), for a program that loads it by path.

#include "bench/Sweep.h"

#include <QCoreApplication>
#include <QString>

extern "C" {
// A QApplication for argc/argv (plots need one; the offscreen platform needs no display).
// The caller owns it and keeps argc alive as long as it.
typedef QCoreApplication* (*TQPlot_CreateApplication_fn)(int* argc, char** argv);
// Writes the sweep's plot to path (SVG for ".svg", else PNG): 0 done, else -1 and *error.
typedef int (*TQPlot_Render_fn)(const tq::bench::SweepResult* result, const QString* path,
                                QString* error);
}
