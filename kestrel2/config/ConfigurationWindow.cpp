#include "ConfigurationWindow.h"

namespace kestrel2 {

FrmKXConfig::FrmKXConfig(QWidget* parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("FrmKXConfig"));
    setWindowTitle(QStringLiteral("Configuration"));
}

} // namespace kestrel2
