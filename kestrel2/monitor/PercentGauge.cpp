#include "PercentGauge.h"

#include <QPainter>
#include <QStyleOptionFrame>
#include <algorithm>
#include <cmath>

namespace kestrel2 {

PercentGauge::PercentGauge(QWidget* parent) : QWidget(parent)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void PercentGauge::setValue(double percent)
{
    if (percent == current) return;
    current = percent;
    update();
}

void PercentGauge::setStale(bool on)
{
    if (on == stale) return;
    stale = on;
    update();
}

QString PercentGauge::formatPercent(double percent)
{
    return QString::asprintf("%0.0f %%", percent);
}

QString PercentGauge::text() const { return formatPercent(current); }

QSize PercentGauge::sizeHint() const
{
    const QFontMetrics fm(font());
    return {std::max(160, fm.horizontalAdvance(QStringLiteral("-000 %")) * 3), fm.height() + 10};
}

QSize PercentGauge::minimumSizeHint() const
{
    const QFontMetrics fm(font());
    return {fm.horizontalAdvance(QStringLiteral("-000 %")) + 12, fm.height() + 10};
}

void PercentGauge::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QRect frame = rect().adjusted(0, 0, -1, -1);
    painter.setPen(palette().color(QPalette::Mid));
    painter.setBrush(palette().color(QPalette::Base));
    painter.drawRect(frame);

    const double fraction = std::isfinite(current) ? std::clamp(current / 100.0, 0.0, 1.0) : 0.0;
    const QRect inner = frame.adjusted(2, 2, -1, -1);
    if (fraction > 0) {
        QRect bar = inner;
        bar.setWidth(int(std::lround(inner.width() * fraction)));
        painter.fillRect(bar, stale ? QColor(170, 170, 170) : QColor(0, 120, 215));
    }

    // The text sits in the middle; drawn twice, clipped, so it stays readable
    // over both the filled and the empty part.
    const QString label = text();
    const int split = inner.left() + int(std::lround(inner.width() * fraction));
    painter.save();
    painter.setClipRect(QRect(inner.left(), inner.top(), split - inner.left(), inner.height()));
    painter.setPen(Qt::white);
    painter.drawText(inner, Qt::AlignCenter, label);
    painter.restore();
    painter.setClipRect(QRect(split, inner.top(), inner.right() - split + 1, inner.height()));
    painter.setPen(palette().color(stale ? QPalette::Disabled : QPalette::Active, QPalette::Text));
    painter.drawText(inner, Qt::AlignCenter, label);
}

} // namespace kestrel2
