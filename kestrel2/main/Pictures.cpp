#include "Pictures.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPen>

namespace kestrel2 {

namespace {

const QColor Housing(0x2f, 0x5d, 0x8a);
const QColor HousingLight(0x5b, 0x8c, 0xbf);
const QColor Steel(0x8a, 0x93, 0x9b);
const QColor SteelLight(0xc9, 0xcf, 0xd4);
const QColor Outline(0x1d, 0x2b, 0x38);
const QColor Display(0x9f, 0xe0, 0x8b);

QPixmap blank(const QSize& size)
{
    QPixmap pixmap(size);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

QLinearGradient vertical(const QRectF& r, const QColor& top, const QColor& bottom)
{
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, top);
    g.setColorAt(1, bottom);
    return g;
}

void drawLaptop(QPainter& p, const QRectF& area)
{
    const qreal w = area.width();
    const qreal h = area.height();
    const QRectF lid(area.left() + w * 0.12, area.top() + h * 0.10, w * 0.76, h * 0.58);
    p.setPen(QPen(Outline, qMax<qreal>(1.0, w / 90)));
    p.setBrush(vertical(lid, QColor(0x44, 0x4c, 0x55), QColor(0x2a, 0x30, 0x36)));
    p.drawRoundedRect(lid, w * 0.03, w * 0.03);
    const QRectF screen = lid.adjusted(w * 0.04, w * 0.04, -w * 0.04, -w * 0.04);
    p.setBrush(vertical(screen, QColor(0xd9, 0xec, 0xff), QColor(0x8d, 0xb8, 0xe3)));
    p.drawRect(screen);
    // A trend line on the screen, as the monitor window draws one.
    QPainterPath trend;
    trend.moveTo(screen.left() + screen.width() * 0.08, screen.bottom() - screen.height() * 0.2);
    trend.cubicTo(screen.left() + screen.width() * 0.35, screen.bottom() - screen.height() * 0.9,
                  screen.left() + screen.width() * 0.6, screen.bottom() - screen.height() * 0.1,
                  screen.right() - screen.width() * 0.08, screen.top() + screen.height() * 0.3);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(Housing, qMax<qreal>(1.5, w / 60), Qt::SolidLine, Qt::RoundCap));
    p.drawPath(trend);
    QPolygonF base;
    base << QPointF(lid.left() - w * 0.02, lid.bottom()) << QPointF(lid.right() + w * 0.02, lid.bottom())
         << QPointF(area.right() - w * 0.02, area.top() + h * 0.82) << QPointF(area.left() + w * 0.02, area.top() + h * 0.82);
    p.setPen(QPen(Outline, qMax<qreal>(1.0, w / 90)));
    p.setBrush(vertical(base.boundingRect(), SteelLight, Steel));
    p.drawPolygon(base);
}

} // namespace

void DrawActuator(QPainter& p, const QRectF& area)
{
    const qreal w = area.width();
    const qreal h = area.height();
    const qreal line = qMax<qreal>(1.0, w / 80);
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Outline, line));

    // The pipe and its flanges.
    const QRectF pipe(area.left(), area.top() + h * 0.78, w, h * 0.14);
    p.setBrush(vertical(pipe, SteelLight, Steel));
    p.drawRect(pipe);
    for (qreal x : {0.22, 0.70}) {
        const QRectF flange(area.left() + w * x, pipe.top() - h * 0.03, w * 0.08, pipe.height() + h * 0.06);
        p.drawRect(flange);
    }
    // The valve body.
    const QRectF body(area.left() + w * 0.30, area.top() + h * 0.70, w * 0.40, h * 0.28);
    p.setBrush(vertical(body, SteelLight, Steel.darker(115)));
    p.drawRoundedRect(body, w * 0.05, w * 0.05);
    // The yoke between valve and actuator.
    const QRectF yoke(area.left() + w * 0.44, area.top() + h * 0.58, w * 0.12, h * 0.13);
    p.setBrush(Steel);
    p.drawRect(yoke);
    // The actuator housing with its handwheel and local display.
    const QRectF housing(area.left() + w * 0.22, area.top() + h * 0.12, w * 0.56, h * 0.47);
    p.setBrush(vertical(housing, HousingLight, Housing));
    p.drawRoundedRect(housing, w * 0.06, w * 0.06);
    const QRectF cover(housing.left() + w * 0.10, housing.top() - h * 0.07, w * 0.36, h * 0.09);
    p.drawRoundedRect(cover, w * 0.03, w * 0.03);
    const QRectF display(housing.left() + w * 0.08, housing.top() + h * 0.10, w * 0.22, h * 0.13);
    p.setBrush(Display);
    p.drawRoundedRect(display, w * 0.015, w * 0.015);
    const QPointF wheelCentre(housing.right() + w * 0.06, housing.center().y());
    const qreal wheel = w * 0.12;
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(Outline, line * 2.5));
    p.drawEllipse(wheelCentre, wheel, wheel);
    p.setPen(QPen(Outline, line * 1.5));
    p.drawLine(wheelCentre - QPointF(wheel, 0), wheelCentre + QPointF(wheel, 0));
    p.drawLine(wheelCentre - QPointF(0, wheel), wheelCentre + QPointF(0, wheel));
    p.drawLine(QPointF(housing.right(), wheelCentre.y()), wheelCentre);
    // Two indicator lamps: open (red) and closed (green).
    p.setPen(QPen(Outline, line));
    p.setBrush(QColor(0xd9, 0x3b, 0x30));
    p.drawEllipse(QPointF(housing.left() + w * 0.40, housing.top() + h * 0.16), w * 0.03, w * 0.03);
    p.setBrush(QColor(0x3a, 0xa8, 0x4c));
    p.drawEllipse(QPointF(housing.left() + w * 0.48, housing.top() + h * 0.16), w * 0.03, w * 0.03);
    p.restore();
}

QPixmap ActuatorPicture(const QSize& size)
{
    QPixmap pixmap = blank(size);
    QPainter p(&pixmap);
    const qreal side = qMin(size.width(), size.height());
    DrawActuator(p, QRectF((size.width() - side) / 2.0, (size.height() - side) / 2.0, side, side));
    return pixmap;
}

QPixmap LinkPicture(const QSize& size)
{
    QPixmap pixmap = blank(size);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal w = size.width();
    const qreal h = size.height();
    const QRectF laptop(0, h * 0.25, w * 0.45, h * 0.55);
    const QRectF actuator(w * 0.58, h * 0.20, w * 0.42, w * 0.42);
    drawLaptop(p, laptop);
    DrawActuator(p, actuator);
    // The serial cable from the laptop to the actuator's network card.
    QPainterPath cable;
    const QPointF from(laptop.right() - laptop.width() * 0.04, laptop.top() + laptop.height() * 0.75);
    const QPointF to(actuator.left() + actuator.width() * 0.24, actuator.top() + actuator.height() * 0.42);
    cable.moveTo(from);
    cable.cubicTo(from + QPointF(w * 0.08, h * 0.15), to + QPointF(-w * 0.12, h * 0.05), to);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(0xe0, 0x8a, 0x1e), qMax<qreal>(2.0, w / 70), Qt::SolidLine, Qt::RoundCap));
    p.drawPath(cable);
    return pixmap;
}

QPixmap AboutPicture() { return ActuatorPicture(QSize(64, 64)); }

} // namespace kestrel2
