#pragma once
// One named line of points, as the plot library takes it: plain data, no chart types.

#include <QPointF>
#include <QString>

#include <vector>

namespace tq::plot {

struct PlotLine {
    QString name;
    std::vector<QPointF> points;
};

} // namespace tq::plot
