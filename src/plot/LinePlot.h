#pragma once
// Lines of volts against seconds drawn with Qt Charts: the preview of what a play will send.

#include "plot/PlotLine.h"

#include <QWidget>

#include <span>

class QChartView;

namespace tq::plot {

class LinePlot : public QWidget {
    Q_OBJECT

public:
    explicit LinePlot(QWidget* parent = nullptr);
    // Replaces the lines; the axes span them, with half a volt to spare above and below.
    void setLines(std::span<const PlotLine> lines);

private:
    QChartView* view_;
};

} // namespace tq::plot
