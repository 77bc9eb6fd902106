#pragma once
// The component's design-time windows (library buslink-widgets): the property
// page, the about box and the scan route editor. Linking buslink::widgets also
// makes Buslink::ShowAboutBox and Buslink::EditScanDatabase show them.
#include "pages/PropertyPage1.h"
#include "pages/dlgAbout.h"
#include "pages/frmScanRte.h"
