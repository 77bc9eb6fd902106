#include "main/MainWindow.h"
#include "main/ToolWindows.h"
#include "main/WindowPlacement.h"

#include <QApplication>
#include <QCommandLineParser>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    // The per-user data folder (working document, publications) is named after the program.
    QApplication::setApplicationName(QStringLiteral("kestrel2"));
    QApplication::setApplicationVersion(QStringLiteral(KESTREL2_VERSION_TEXT));
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Configure, document, monitor and operate motorised valve actuators fitted with a Modbus "
                       "network card."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.process(app);

    kestrel2::FrmMain window;
    kestrel2::SetMainWindow(&window);
    kestrel2::PlaceOnParentScreen(&window, nullptr);
    window.show();
    window.activateWindow();
    return app.exec();
}
