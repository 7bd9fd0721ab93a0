#include "ui/simboard/OutputTrace.h"

#include <QPainter>
#include <QPainterPath>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace tq::ui {

namespace {

constexpr int kRepaintMs = 40;
constexpr qint64 kSpanNs = static_cast<qint64>(OutputTrace::kSeconds * 1e9);
const std::array<QColor, 4> kColours{QColor(0x1f, 0x77, 0xb4), QColor(0xd6, 0x27, 0x28),
                                     QColor(0x2c, 0xa0, 0x2c), QColor(0xff, 0x7f, 0x0e)};

} // namespace

OutputTrace::OutputTrace(QWidget* parent) : QWidget(parent), repaint_(new QTimer(this)) {
    setObjectName(QStringLiteral("OutputTrace"));
    setMinimumSize(360, 160);
    setAttribute(Qt::WA_OpaquePaintEvent);
    clock_.start();
    // The trace moves on while the outputs hold still; it is drawn only while shown.
    repaint_->setInterval(kRepaintMs);
    connect(repaint_, &QTimer::timeout, this, [this] {
        if (isVisible()) update();
    });
    repaint_->start();
}

void OutputTrace::record(const std::array<double, 4>& volts) {
    const qint64 now = clock_.nsecsElapsed();
    if (!samples_.empty() && samples_.back().volts == volts) return;
    samples_.push_back({now, volts});
    if (samples_.size() > kMaxSamples) samples_.pop_front();
    dropOld(now);
}

void OutputTrace::dropOld(qint64 now) {
    // The newest sample from before the span stays: the level the trace starts with.
    while (samples_.size() > 1 && samples_[1].ns < now - kSpanNs)
        samples_.pop_front();
}

void OutputTrace::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().base());
    const QRectF area = QRectF(rect()).adjusted(4, 4, -4, -4);
    const auto y = [&](double v) {
        const double clamped = std::isfinite(v) ? std::clamp(v, -kFullScale, kFullScale) : 0.0;
        return area.center().y() - clamped / kFullScale * area.height() / 2;
    };
    p.setPen(QPen(palette().mid().color(), 0, Qt::DashLine));
    for (const double v : {-10.0, 0.0, 10.0})
        p.drawLine(QPointF(area.left(), y(v)), QPointF(area.right(), y(v)));
    p.setPen(palette().text().color());
    p.drawText(area, Qt::AlignLeft | Qt::AlignTop, QStringLiteral("+10 V"));
    p.drawText(area, Qt::AlignLeft | Qt::AlignBottom,
               QStringLiteral("-10 V    last %1 s").arg(kSeconds));

    const qint64 now = clock_.nsecsElapsed();
    dropOld(now);
    if (samples_.empty()) return;
    const auto x = [&](qint64 ns) {
        return area.right() - static_cast<double>(now - ns) / kSpanNs * area.width();
    };
    p.setRenderHint(QPainter::Antialiasing);
    for (std::size_t ch = 0; ch < 4; ++ch) {
        // Steps: the level holds until the next sample. Samples that fall in one pixel
        // column are drawn as the column's extent, so a dense trace costs the width.
        QPainterPath path;
        double level = samples_.front().volts[ch];
        path.moveTo(std::max(x(samples_.front().ns), area.left()), y(level));
        int column = -1;
        double low = level, high = level;
        const auto flush = [&] {
            if (column < 0 || low == high) return;
            path.lineTo(column, y(low));
            path.lineTo(column, y(high));
            path.lineTo(column, y(level));
        };
        for (std::size_t i = 1; i < samples_.size(); ++i) {
            const double at = std::max(x(samples_[i].ns), area.left());
            if (static_cast<int>(at) != column) {
                flush();
                path.lineTo(at, y(level));
                column = static_cast<int>(at);
                low = high = level;
            }
            level = samples_[i].volts[ch];
            low = std::min(low, level);
            high = std::max(high, level);
        }
        flush();
        path.lineTo(area.right(), y(level));
        p.setPen(QPen(kColours[ch], 1.5));
        p.drawPath(path);
        p.drawText(area.adjusted(0, 0, -static_cast<double>(3 - ch) * 28, 0),
                   Qt::AlignRight | Qt::AlignTop, QString(QChar(u'A' + static_cast<int>(ch))));
    }
}

} // namespace tq::ui
