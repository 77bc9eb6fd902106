// Loading the widgets library hands the component its design-time windows.
#include "dlgAbout.h"
#include "frmScanRte.h"
#include "shell/DesignPages.h"

#include <QApplication>
#include <QFont>

namespace buslink {

namespace {

[[maybe_unused]] const bool registered = [] {
    DesignPages& pages = RegisteredDesignPages();
    pages.showAboutBox = [] {
        dlgAbout box;
        box.exec();
    };
    pages.editScanDatabase = [] { frmScanRte::Open(); };
    pages.ambientFont = [] {
        return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) ? QGuiApplication::font().toString()
                                                                             : QString();
    };
    return true;
}();

} // namespace

} // namespace buslink
