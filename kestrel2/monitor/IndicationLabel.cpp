#include "IndicationLabel.h"

#include <QPainter>

namespace kestrel2 {

IndicationLabel::IndicationLabel(const QString& text, const QColor& colour, QWidget* parent)
    : QWidget(parent), caption(text), current(colour)
{
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

void IndicationLabel::setText(const QString& text)
{
    caption = text;
    updateGeometry();
    update();
}

void IndicationLabel::setColour(const QColor& colour)
{
    if (colour == current) return;
    current = colour;
    update();
}

void IndicationLabel::setStale(bool on)
{
    if (on == stale) return;
    stale = on;
    update();
}

QSize IndicationLabel::sizeHint() const
{
    const QFontMetrics fm(font());
    return {fm.height() + 6 + fm.horizontalAdvance(caption) + 4, fm.height() + 4};
}

void IndicationLabel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (stale) painter.setOpacity(0.4);  // over the dark ground: dimmed, yet its colour still tells
    const QFontMetrics fm(font());
    const int lamp = fm.height() - 4;
    const QRectF lampRect(2, (height() - lamp) / 2.0, lamp, lamp);
    painter.setPen(QPen(current.darker(160), 1));
    painter.setBrush(current);
    painter.drawEllipse(lampRect);
    painter.setPen(current);
    const QRect textRect(int(lampRect.right()) + 6, 0, width() - int(lampRect.right()) - 6, height());
    painter.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter, caption);
}

} // namespace kestrel2
