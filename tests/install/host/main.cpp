// A minimal host program of the installed component: create an instance, set,
// save and reload its properties, call the conversions and MakeLRC.
#include <shell/Buslink.h>
#include <shell/PropertyBag.h>

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
    return 0;
}
