// The component's design-time windows: the about box and the scan route editor.
#include "Buslink.h"
#include "pages/dlgAbout.h"
#include "pages/frmScanRte.h"

#include <QApplication>

namespace buslink {

void Buslink::ShowAboutBox()
{
    // A console host has no windows to show.
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return;
    dlgAbout box;
    box.exec();
}

void Buslink::EditScanDatabase()
{
    frmScanRte::Open();
}

} // namespace buslink
