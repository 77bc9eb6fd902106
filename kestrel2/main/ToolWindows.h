#pragma once
// Where the tool's windows are found. The connection window (owner of the one
// component instance, Buslink1) lives from first use until the main window
// closes; the other windows are created when first shown and released when closed.
namespace buslink { class Buslink; }

namespace kestrel2 {

class FrmMain;
class FrmConnection;
class FrmKXConfig;
class FrmKXgroup;
class FrmChart;
class Frmhelp;

FrmConnection& ConnectionWindow();
bool ConnectionWindowExists();
void CloseConnectionWindow();          // releases Buslink1
buslink::Buslink& Buslink1();

void SetMainWindow(FrmMain* window);
FrmMain* MainWindow();                 // nullptr when none
void ShowMainWindow();                 // brings it to the front

FrmKXConfig& ShowConfigurationWindow();
FrmKXConfig* ConfigurationWindowIfOpen();
FrmKXgroup& ShowMonitorWindow();
FrmKXgroup* MonitorWindowIfOpen();
FrmChart& ShowTorqueProfileWindow();
FrmChart* TorqueProfileWindowIfOpen();

// The technical publications window (not modal).
Frmhelp& ShowPublicationsWindow();
Frmhelp* PublicationsWindowIfOpen();
// The help prompt of the "&Help" menus of the configuration and monitor
// windows: OK opens the technical publications window, Cancel says where to
// download the publications.
void ShowHelpPrompt();

// Closes every tool window except the main and connection windows (the end of the program).
void CloseToolWindows();

} // namespace kestrel2
