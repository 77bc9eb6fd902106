// A minimal console host of the installed component: create an instance, set,
// save and reload its properties, call the conversions and MakeLRC. It links the
// console library alone, so the design-time windows are not there and say so.
#include <buslink/Buslink.h>
#include <buslink/Errors.h>
#include <buslink/PropertyBag.h>

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    buslink::Buslink component;
    component.InitProperties();
    component.setAddress(7);
    component.setSettings("19200,n,8,1");
    buslink::MemoryPropertyBag bag;
    component.WriteProperties(bag);
    buslink::Buslink reloaded;
    reloaded.ReadProperties(bag);
    std::printf("Address %d Settings %s\n", reloaded.Address(), qPrintable(reloaded.Settings()));
    float value = 100.0f;
    qint32 high = 0, low = 0;
    reloaded.DecToLongFloat(value, high, low);
    std::printf("100.0 -> %04X %04X\n", unsigned(high), unsigned(low));
    QString frame = ":010300000001";
    std::printf("LRC %s\n", qPrintable(reloaded.MakeLRC(frame)));
    std::printf("design pages %s\n", buslink::Buslink::DesignPagesAvailable() ? "yes" : "no");
    try {
        reloaded.EditScanDatabase();
    } catch (const buslink::BuslinkError& e) {
        std::printf("EditScanDatabase: %s\n", qPrintable(e.text()));
    }
    return 0;
}
