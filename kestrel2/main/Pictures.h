#pragma once
// The tool's own pictures, drawn in code: an actuator on its valve, and a
// laptop linked to an actuator. Used by the main and about windows and as the
// window icon.
#include <QPixmap>
#include <QSize>

class QPainter;
class QRectF;

namespace kestrel2 {

// An actuator mounted on a valve in a pipe, fitted into `area`.
void DrawActuator(QPainter& painter, const QRectF& area);

QPixmap ActuatorPicture(const QSize& size);   // the main window's first picture
QPixmap LinkPicture(const QSize& size);       // a laptop talking to an actuator
QPixmap AboutPicture();                       // small, for the about window

} // namespace kestrel2
