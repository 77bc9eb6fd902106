#include "ConnectionWindow.h"

namespace kestrel2 {

FrmConnection::FrmConnection(QWidget* parent) : QDialog(parent), component(new buslink::Buslink(this))
{
    setObjectName(QStringLiteral("frmConnection"));
    setWindowTitle(QStringLiteral("Connection "));
}

} // namespace kestrel2
