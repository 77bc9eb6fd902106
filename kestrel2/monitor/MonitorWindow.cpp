#include "MonitorWindow.h"

namespace kestrel2 {

FrmKXgroup::FrmKXgroup(QWidget* parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("FrmKXgroup"));
    setWindowTitle(QStringLiteral("Monitor"));
}

} // namespace kestrel2
