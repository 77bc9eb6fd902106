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

} // namespace kestrel2
