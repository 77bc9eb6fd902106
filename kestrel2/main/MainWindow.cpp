#include "MainWindow.h"

namespace kestrel2 {

FrmMain::FrmMain(QWidget* parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("FrmMain"));
    setWindowTitle(QStringLiteral("Corvane Kestrel II"));
}

} // namespace kestrel2
