#include "ui/main/ProductPanel.h"

#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QVBoxLayout>

#include <cmath>
#include <numbers>

namespace tq::ui {

namespace {

// A small logo of our own: a ring with a stylised sine wave rising out of a staircase,
// the DAC's job in one picture.
QPixmap drawLogo(int size, qreal dpr) {
    QPixmap pm(QSize(size, size) * dpr);
    pm.setDevicePixelRatio(dpr);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor blue(0x1f, 0x4e, 0x8c);
    const QColor teal(0x1a, 0x9e, 0x8f);
    const qreal s = size;
    p.setPen(QPen(blue, s * 0.06));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QRectF(s * 0.05, s * 0.05, s * 0.9, s * 0.9));

    // Staircase: the digital codes.
    QPainterPath steps;
    const int n = 8;
    const qreal x0 = s * 0.2, w = s * 0.6, mid = s * 0.5, amp = s * 0.22;
    for (int i = 0; i <= n; ++i) {
        const qreal x = x0 + w * i / n;
        const qreal y = mid - amp * std::sin(2 * std::numbers::pi * i / n);
        if (i == 0) {
            steps.moveTo(x, y);
        } else {
            steps.lineTo(x, steps.currentPosition().y());
            steps.lineTo(x, y);
        }
    }
    p.setPen(QPen(blue, s * 0.035, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
    p.drawPath(steps);

    // The smooth output.
    QPainterPath wave;
    for (int i = 0; i <= 60; ++i) {
        const qreal t = i / 60.0;
        const QPointF pt(x0 + w * t, mid - amp * std::sin(2 * std::numbers::pi * t));
        if (i == 0)
            wave.moveTo(pt);
        else
            wave.lineTo(pt);
    }
    p.setPen(QPen(teal, s * 0.05, Qt::SolidLine, Qt::RoundCap));
    p.drawPath(wave);
    return pm;
}

} // namespace

ProductPanel::ProductPanel(const Variant& variant, QWidget* parent) : QGroupBox(parent) {
    setObjectName(QStringLiteral("Frame18"));
    LabelProduct = new QLabel(QString::fromUtf8(variant.productName), this);
    LabelProduct->setObjectName(QStringLiteral("LabelProduct"));
    QFont f = LabelProduct->font();
    f.setPointSizeF(f.pointSizeF() * 2.2);
    f.setBold(true);
    LabelProduct->setFont(f);
    LabelProduct->setAlignment(Qt::AlignCenter);

    QRVLogo = new QLabel(this);
    QRVLogo->setObjectName(QStringLiteral("QRVLogo"));
    QRVLogo->setPixmap(drawLogo(72, devicePixelRatioF()));
    QRVLogo->setAlignment(Qt::AlignCenter);
    QRVLogo->setAccessibleName(QStringLiteral("Logo"));

    auto* l = new QVBoxLayout(this);
    l->addStretch(1);
    l->addWidget(QRVLogo);
    l->addWidget(LabelProduct);
    l->addStretch(1);
}

} // namespace tq::ui
