#include "plot/SweepPlot.h"

#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QLineSeries>
#include <QtCharts/QScatterSeries>
#include <QtCharts/QValueAxis>

#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QSvgGenerator>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace tq::plot {

namespace {

QString Caption(bench::Channel c) {
    const std::string_view text = bench::ChannelCaption(c);
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

// Codes on 0..65536 in eighths of the span; a symmetric LSB scale with room above the data.
void AddAxes(QChart* chart, double extent) {
    auto* x = new QValueAxis;
    x->setRange(0, 65536);
    x->setTickCount(9);
    x->setLabelFormat(QStringLiteral("%d"));
    x->setTitleText(QStringLiteral("code (0 = zero scale, 32768 = 0 V)"));
    auto* y = new QValueAxis;
    const double top = std::max(0.25, extent * 1.15);
    y->setRange(-top, top);
    y->applyNiceNumbers();
    y->setLabelFormat(QStringLiteral("%.2f"));
    y->setTitleText(QStringLiteral("LSB"));
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    for (QAbstractSeries* s : chart->series()) {
        s->attachAxis(x);
        s->attachAxis(y);
    }
}

QChart* NewChart(const QString& title) {
    auto* chart = new QChart;
    chart->setTitle(title);
    chart->setAnimationOptions(QChart::NoAnimation);
    chart->legend()->setAlignment(Qt::AlignTop);
    return chart;
}

QLineSeries* Line(const QString& name, const QColor& color) {
    auto* s = new QLineSeries;
    s->setName(name);
    QPen pen(color);
    pen.setWidthF(1.5);
    s->setPen(pen);
    return s;
}

// The three charts of a result.
std::array<QChart*, 3> BuildCharts(const bench::SweepResult& r) {
    const QString who = Caption(r.channel);
    QChart* transfer = NewChart(QStringLiteral("%1: transfer error (offset %2, gain %3 LSB)")
                                    .arg(who)
                                    .arg(r.offsetErrorLsb, 0, 'f', 2)
                                    .arg(r.gainErrorLsb, 0, 'f', 2));
    QChart* inl = NewChart(QStringLiteral("%1: INL (end-point max %2, best-fit max %3 LSB)")
                               .arg(who)
                               .arg(r.inlEndPointMaxLsb, 0, 'f', 3)
                               .arg(r.inlBestFitMaxLsb, 0, 'f', 3));
    QChart* dnl = NewChart(QStringLiteral("%1: DNL (%2 to %3 LSB, %4 code pairs)")
                               .arg(who)
                               .arg(r.dnlMinLsb, 0, 'f', 3)
                               .arg(r.dnlMaxLsb, 0, 'f', 3)
                               .arg(r.dnlCount));
    QLineSeries* error = Line(QStringLiteral("error"), QColor(0x1f, 0x77, 0xb4));
    QLineSeries* endPoint = Line(QStringLiteral("end-point"), QColor(0xd6, 0x27, 0x28));
    QLineSeries* bestFit = Line(QStringLiteral("best-fit"), QColor(0x2c, 0xa0, 0x2c));
    auto* steps = new QScatterSeries;
    steps->setName(QStringLiteral("DNL"));
    steps->setMarkerSize(6);
    steps->setColor(QColor(0x94, 0x67, 0xbd));
    steps->setBorderColor(steps->color());
    double errorExtent = 0, inlExtent = 0, dnlExtent = 0;
    QList<QPointF> e, a, b, d;
    for (const bench::SweepPoint& p : r.points) {
        // Runs around the carries are plotted with the DNL only, so the curves stay even.
        if (p.evenlySpaced) {
            e.append({static_cast<double>(p.code), p.errorLsb});
            a.append({static_cast<double>(p.code), p.inlEndPointLsb});
            b.append({static_cast<double>(p.code), p.inlBestFitLsb});
            errorExtent = std::max(errorExtent, std::abs(p.errorLsb));
            inlExtent =
                std::max({inlExtent, std::abs(p.inlEndPointLsb), std::abs(p.inlBestFitLsb)});
        }
        if (p.dnlLsb) {
            d.append({static_cast<double>(p.code), *p.dnlLsb});
            dnlExtent = std::max(dnlExtent, std::abs(*p.dnlLsb));
        }
    }
    error->replace(e);
    endPoint->replace(a);
    bestFit->replace(b);
    steps->replace(d);
    transfer->addSeries(error);
    inl->addSeries(endPoint);
    inl->addSeries(bestFit);
    dnl->addSeries(steps);
    AddAxes(transfer, errorExtent);
    AddAxes(inl, inlExtent);
    AddAxes(dnl, dnlExtent);
    transfer->legend()->hide();
    dnl->legend()->hide();
    return {transfer, inl, dnl};
}

} // namespace

SweepPlot::SweepPlot(QWidget* parent) : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (int i = 0; i < 3; ++i) {
        auto* view = new QChartView(this);
        view->setObjectName(QStringLiteral("SweepChart%1").arg(i));
        view->setRenderHint(QPainter::Antialiasing);
        layout->addWidget(view);
    }
}

void SweepPlot::setResult(const bench::SweepResult& result) {
    const auto charts = BuildCharts(result);
    const auto views = findChildren<QChartView*>(QString(), Qt::FindDirectChildrenOnly);
    for (std::size_t i = 0; i < charts.size() && i < static_cast<std::size_t>(views.size()); ++i) {
        QChart* old = views[static_cast<qsizetype>(i)]->chart();
        views[static_cast<qsizetype>(i)]->setChart(charts[i]); // the view owns the chart
        delete old;
    }
}

bench::Status RenderSweepPlot(const bench::SweepResult& result, const QString& path, QSize size) {
    SweepPlot plot;
    plot.setAttribute(Qt::WA_DontShowOnScreen);
    plot.resize(size);
    plot.setResult(result);
    // Laid out without being shown (render() delivers the pending resizes): showing, even
    // off screen, has the offscreen platform complain on standard error.
    plot.ensurePolished();
    plot.layout()->activate();
    const bool svg =
        QFileInfo(path).suffix().compare(QLatin1String("svg"), Qt::CaseInsensitive) == 0;
    if (svg) {
        QSvgGenerator generator;
        generator.setFileName(path);
        generator.setSize(size);
        generator.setViewBox(QRect(QPoint(0, 0), size));
        generator.setTitle(QStringLiteral("%1 sweep").arg(Caption(result.channel)));
        QPainter painter;
        if (!painter.begin(&generator))
            return bench::UsageError(QStringLiteral("cannot write %1").arg(path).toStdString());
        plot.render(&painter);
        painter.end();
        return {};
    }
    QImage image(size, QImage::Format_ARGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        plot.render(&painter);
    }
    if (!image.save(path, "PNG"))
        return bench::UsageError(QStringLiteral("cannot write %1").arg(path).toStdString());
    return {};
}

} // namespace tq::plot
