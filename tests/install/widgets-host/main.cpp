// A minimal windowed host of the installed component: it links buslink::widgets,
// so the design-time windows are there; it fills the property page from an instance.
#include <buslink/Buslink.h>
#include <buslink/Widgets.h>

#include <QApplication>
#include <QLineEdit>
#include <cstdio>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    buslink::Buslink component;
    component.InitProperties();
    component.setAddress(12);
    buslink::PropertyPage1 page;
    page.SelectionChanged({&component});
    std::printf("design pages %s\n", buslink::Buslink::DesignPagesAvailable() ? "yes" : "no");
    std::printf("property page address %s\n", qPrintable(page.txtAddress->text()));
    return 0;
}
