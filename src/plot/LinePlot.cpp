#include "plot/LinePlot.h"

#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>

#include <QVBoxLayout>

#include <algorithm>

namespace tq::plot {

LinePlot::LinePlot(QWidget* parent) : QWidget(parent) {
    auto* chart = new QChart;
    chart->setAnimationOptions(QChart::NoAnimation);
    chart->legend()->setAlignment(Qt::AlignTop);
    view_ = new QChartView(chart, this);
    view_->setObjectName(QStringLiteral("LineChart"));
    view_->setRenderHint(QPainter::Antialiasing);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view_);
}

void LinePlot::setLines(std::span<const PlotLine> lines) {
    QChart* chart = view_->chart();
    chart->removeAllSeries();
    for (QAbstractAxis* axis : chart->axes()) {
        chart->removeAxis(axis);
        delete axis;
    }
    auto* x = new QValueAxis;
    x->setTitleText(QStringLiteral("s"));
    auto* y = new QValueAxis;
    y->setTitleText(QStringLiteral("V"));
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    double low = 0, high = 0, end = 0;
    for (const PlotLine& line : lines) {
        auto* series = new QLineSeries;
        series->setName(line.name);
        series->append(QList<QPointF>(line.points.begin(), line.points.end()));
        chart->addSeries(series); // the chart owns it
        series->attachAxis(x);
        series->attachAxis(y);
        for (const QPointF& p : line.points) {
            low = std::min(low, p.y());
            high = std::max(high, p.y());
            end = std::max(end, p.x());
        }
    }
    x->setRange(0, std::max(end, 1e-3));
    y->setRange(low - 0.5, high + 0.5);
}

} // namespace tq::plot
