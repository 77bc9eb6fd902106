#include "main/MainWindow.h"
#include "main/ToolWindows.h"
#include "main/WindowPlacement.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    // The per-user data folder (working document, publications) is named after the program.
    QApplication::setApplicationName(QStringLiteral("kestrel2"));
    kestrel2::FrmMain window;
    kestrel2::SetMainWindow(&window);
    kestrel2::PlaceOnParentScreen(&window, nullptr);
    window.show();
    window.activateWindow();
    return app.exec();
}
