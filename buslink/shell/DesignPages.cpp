// The component's design-time windows: the about box and the scan route editor,
// shown through what the buslink-widgets library registered.
#include "DesignPages.h"

#include "Buslink.h"
#include "base/BuslinkError.h"

#include <QCoreApplication>

namespace buslink {

DesignPages& RegisteredDesignPages()
{
    static DesignPages pages;
    return pages;
}

namespace {

[[noreturn]] void noWidgets(const char* what)
{
    throw BuslinkError(ErrNoDesignPages, QStringLiteral("%1 needs the buslink-widgets library: link the host with "
                                                        "buslink::widgets (pkg-config buslink-widgets)")
                                             .arg(QLatin1String(what)));
}

} // namespace

bool Buslink::DesignPagesAvailable()
{
    return bool(RegisteredDesignPages().showAboutBox);
}

void Buslink::ShowAboutBox()
{
    // A console host has no windows to show.
    if (!QCoreApplication::instance() || !QCoreApplication::instance()->inherits("QApplication")) return;
    if (!RegisteredDesignPages().showAboutBox) noWidgets("ShowAboutBox");
    RegisteredDesignPages().showAboutBox();
}

void Buslink::EditScanDatabase()
{
    if (!RegisteredDesignPages().editScanDatabase) noWidgets("EditScanDatabase");
    RegisteredDesignPages().editScanDatabase();
}

} // namespace buslink
