#include "TorqueProfileWindow.h"

namespace kestrel2 {

FrmChart::FrmChart(QWidget* parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("frmChart"));
    setWindowTitle(QStringLiteral("Torque profile"));
}

} // namespace kestrel2
