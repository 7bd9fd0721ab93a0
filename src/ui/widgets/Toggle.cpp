#include "ui/widgets/Toggle.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <QStyle>
#include <QStyleOptionFocusRect>

#include <algorithm>
#include <utility>

namespace tq::ui {

namespace {
constexpr int kTrackWidth = 34;
constexpr int kTrackHeight = 18;
constexpr int kGap = 6;
constexpr int kMargin = 2;
} // namespace

Toggle::Toggle(QString falseCaption, QString trueCaption, QWidget* parent)
    : QAbstractButton(parent), falseCaption_(std::move(falseCaption)),
      trueCaption_(std::move(trueCaption)) {
    setCheckable(true);
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    // clicked() comes from the user only (mouse, space key); setChecked() never raises it.
    connect(this, &QAbstractButton::clicked, this, [this] { emit Change(); });
    // The caption is what screen readers announce as the state: the text, and the
    // description for a switch whose accessible name says which one it is.
    connect(this, &QAbstractButton::toggled, this, [this] {
        setText(caption());
        setAccessibleDescription(caption());
    });
    setText(caption());
    setAccessibleDescription(caption());
}

QSize Toggle::sizeHint() const {
    const QFontMetrics fm(font());
    const int textWidth =
        std::max(fm.horizontalAdvance(falseCaption_), fm.horizontalAdvance(trueCaption_));
    return {kMargin + kTrackWidth + kGap + textWidth + kMargin,
            std::max(kTrackHeight, fm.height()) + 2 * kMargin};
}

void Toggle::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QPalette& pal = palette();
    const bool on = value();
    const bool enabled = isEnabled();

    const QRectF track(kMargin, (height() - kTrackHeight) / 2.0, kTrackWidth, kTrackHeight);
    QColor trackColor = on ? pal.color(QPalette::Highlight) : pal.color(QPalette::Mid);
    if (!enabled) trackColor = pal.color(QPalette::Disabled, QPalette::Mid).lighter(115);
    p.setPen(Qt::NoPen);
    p.setBrush(trackColor);
    p.drawRoundedRect(track, kTrackHeight / 2.0, kTrackHeight / 2.0);

    const qreal knob = kTrackHeight - 4;
    const qreal knobX = on ? track.right() - 2 - knob : track.left() + 2;
    p.setBrush(enabled ? pal.color(QPalette::Base)
                       : pal.color(QPalette::Disabled, QPalette::Button));
    p.setPen(QPen(pal.color(QPalette::Dark), 0.8));
    p.drawEllipse(QRectF(knobX, track.top() + 2, knob, knob));

    const QRect textRect(kMargin + kTrackWidth + kGap, 0, width() - (kMargin + kTrackWidth + kGap),
                         height());
    p.setPen(pal.color(enabled ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    p.drawText(textRect, Qt::AlignVCenter | Qt::AlignLeft, caption());

    if (hasFocus()) {
        QStyleOptionFocusRect opt;
        opt.initFrom(this);
        opt.rect = rect().adjusted(0, 0, -1, -1);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &opt, &p, this);
    }
}

} // namespace tq::ui
