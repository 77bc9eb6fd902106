#include "ToolWindows.h"

#include "config/ConfigurationWindow.h"
#include "link/ConnectionWindow.h"
#include "link/RegisterAccess.h"
#include "main/HelpWindow.h"
#include "main/MainWindow.h"
#include "main/WindowPlacement.h"
#include "monitor/MonitorWindow.h"
#include "monitor/TorqueProfileWindow.h"

#include <QPointer>

namespace kestrel2 {

namespace {
QPointer<FrmConnection> connectionWindow;
QPointer<FrmMain> mainWindow;
QPointer<FrmKXConfig> configurationWindow;
QPointer<FrmKXgroup> monitorWindow;
QPointer<FrmChart> torqueProfileWindow;
QPointer<Frmhelp> publicationsWindow;

// A window created anew opens on the screen of the window it is opened from, centred on it.
template <typename W>
W& showWindow(QPointer<W>& slot, QWidget* openedFrom)
{
    if (!slot) {
        slot = new W();
        slot->setAttribute(Qt::WA_DeleteOnClose);
        PlaceOnParentScreen(slot, openedFrom);
    }
    slot->show();
    slot->raise();
    slot->activateWindow();
    return *slot;
}
} // namespace

FrmConnection& ConnectionWindow()
{
    if (!connectionWindow) connectionWindow = new FrmConnection();
    return *connectionWindow;
}

bool ConnectionWindowExists() { return !connectionWindow.isNull(); }

void CloseConnectionWindow()
{
    if (connectionWindow) {
        connectionWindow->close();
        // A register transaction below us on the stack still uses Buslink1:
        // release it once control is back in the event loop.
        if (RegisterTransactionRunning()) connectionWindow->deleteLater();
        else delete connectionWindow.data();
    }
}

buslink::Buslink& Buslink1() { return ConnectionWindow().Buslink1(); }

void SetMainWindow(FrmMain* window) { mainWindow = window; }
FrmMain* MainWindow() { return mainWindow.data(); }

void ShowMainWindow()
{
    if (!mainWindow) return;
    mainWindow->show();
    mainWindow->raise();
    mainWindow->activateWindow();
}

FrmKXConfig& ShowConfigurationWindow() { return showWindow(configurationWindow, OpeningWindow()); }
FrmKXConfig* ConfigurationWindowIfOpen() { return configurationWindow.data(); }
FrmKXgroup& ShowMonitorWindow() { return showWindow(monitorWindow, OpeningWindow()); }
FrmKXgroup* MonitorWindowIfOpen() { return monitorWindow.data(); }
FrmChart& ShowTorqueProfileWindow()
{
    // Opened by the monitor window's button.
    QWidget* opener = monitorWindow ? static_cast<QWidget*>(monitorWindow.data()) : OpeningWindow();
    return showWindow(torqueProfileWindow, opener);
}
FrmChart* TorqueProfileWindowIfOpen() { return torqueProfileWindow.data(); }
Frmhelp& ShowPublicationsWindow() { return showWindow(publicationsWindow, OpeningWindow()); }
Frmhelp* PublicationsWindowIfOpen() { return publicationsWindow.data(); }

void CloseToolWindows()
{
    const QList<QWidget*> windows{configurationWindow.data(), monitorWindow.data(), torqueProfileWindow.data(),
                                  publicationsWindow.data()};
    for (QWidget* window : windows)
        if (window) window->close();
}

} // namespace kestrel2
