#pragma once
// A sweep's results drawn with Qt Charts: transfer error, INL (end-point and best-fit) and
// DNL against code, one chart above the other; in a window, or written to a PNG or SVG file.
// Writing needs a QApplication but no display (the offscreen platform does).

#include "bench/Outcome.h"
#include "bench/Sweep.h"

#include <QSize>
#include <QWidget>

namespace tq::plot {

class SweepPlot : public QWidget {
    Q_OBJECT

public:
    explicit SweepPlot(QWidget* parent = nullptr);
    // Replaces the plotted results.
    void setResult(const bench::SweepResult& result);
};

// Writes the plot as SVG when the path ends in ".svg" (any case), otherwise as PNG.
bench::Status RenderSweepPlot(const bench::SweepResult& result, const QString& path,
                              QSize size = QSize(1000, 1100));

} // namespace tq::plot
