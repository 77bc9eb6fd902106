#include "main/MainWindow.h"
#include "main/ToolWindows.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    kestrel2::FrmMain window;
    kestrel2::SetMainWindow(&window);
    window.show();
    return app.exec();
}
