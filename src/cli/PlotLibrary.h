#pragma once
// The sweep plot library (libTQ5802Plot.so), loaded by path from where the program's
// libraries lie, only when a plot is asked for.

#include "bench/Outcome.h"
#include "bench/Sweep.h"

#include <QCoreApplication>
#include <QLibrary>
#include <QString>

#include <functional>
#include <memory>

namespace tq::cli {

class PlotLibrary {
public:
    // Loads the library and makes the application with it (plots need widgets). nullptr,
    // with the reason on standard error, when the library cannot be loaded. argc must
    // outlive the application.
    std::unique_ptr<QCoreApplication> createApplication(int& argc, char** argv);
    // Draws a sweep's plot into a file; empty while the library is not loaded.
    std::function<bench::Status(const bench::SweepResult&, const QString&)> renderer() const;

private:
    QLibrary library_;
    void* render_ = nullptr;
};

} // namespace tq::cli
