#include "plot/PlotLibrary.h"

#include "board/FirmwareSearch.h"

namespace tq::plot {

namespace {

template <typename Fn> Fn Resolve(QLibrary& library, const char* name) {
    return reinterpret_cast<Fn>(library.resolve(name));
}

} // namespace

bench::Status PlotLibrary::load(const QString& programDir) {
    if (loaded()) return {};
    library_.setFileName(board::privateLibraryDir(programDir) +
                         QStringLiteral("/libTQ5802Plot.so"));
    Entries e;
    e.createApplication =
        Resolve<TQPlot_CreateApplication_fn>(library_, "TQPlot_CreateApplication");
    e.render = Resolve<TQPlot_Render_fn>(library_, "TQPlot_Render");
    e.createSweepPlot = Resolve<TQPlot_CreateSweepPlot_fn>(library_, "TQPlot_CreateSweepPlot");
    e.showSweep = Resolve<TQPlot_ShowSweep_fn>(library_, "TQPlot_ShowSweep");
    e.createLinePlot = Resolve<TQPlot_CreateLinePlot_fn>(library_, "TQPlot_CreateLinePlot");
    e.showLines = Resolve<TQPlot_ShowLines_fn>(library_, "TQPlot_ShowLines");
    if (!e.createApplication || !e.render || !e.createSweepPlot || !e.showSweep ||
        !e.createLinePlot || !e.showLines)
        return bench::UsageError("the plot library cannot be loaded: " +
                                 library_.errorString().toStdString());
    entries_ = e;
    return {};
}

QCoreApplication* PlotLibrary::createApplication(int* argc, char** argv) const {
    return entries_.createApplication(argc, argv);
}

bench::Status PlotLibrary::render(const bench::SweepResult& result, const QString& path) const {
    QString error;
    if (entries_.render(&result, &path, &error) != 0) return bench::UsageError(error.toStdString());
    return {};
}

QWidget* PlotLibrary::createSweepPlot(QWidget* parent) const {
    return entries_.createSweepPlot(parent);
}

void PlotLibrary::showSweep(QWidget* plot, const bench::SweepResult& result) const {
    entries_.showSweep(plot, &result);
}

QWidget* PlotLibrary::createLinePlot(QWidget* parent) const {
    return entries_.createLinePlot(parent);
}

void PlotLibrary::showLines(QWidget* plot, std::span<const PlotLine> lines) const {
    entries_.showLines(plot, lines.data(), lines.size());
}

} // namespace tq::plot
