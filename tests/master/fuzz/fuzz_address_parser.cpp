// Fuzzes the address parser and the request planning that follows it: any
// text as an address, then a plan and a frame for each kind of request.
#include "scan/AddressResolution.h"
#include "protocol/AddressParsing.h"
#include "protocol/RequestBuilding.h"
#include "base/BuslinkError.h"

#include <cstdint>
#include <cstdlib>

using namespace buslink;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2) return 0;
    const int plcType = 1 + data[0] % 3;
    const int quantity = data[1] * 2 - 10;
    const QString text = QString::fromLatin1(reinterpret_cast<const char*>(data + 2), int(size - 2));

    QVariant reference;
    qint16 unit = -1, f2 = 0, f3 = 0, f4 = 0, f5 = 0, f6 = 0;
    if (ParseUnitAddress(text, reference, unit, f2, f3, f4, f5, f6) && text.contains(QLatin1Char(';')) && unit < 0)
        std::abort();  // a parsed unit is a field of digits
    unit = 1;
    if (!ResolveAddressForm(text, reference, unit)) return 0;

    for (RequestKind kind : {RequestKind::Read, RequestKind::SingleWrite, RequestKind::MultipleWrite}) {
        const RequestPlan plan = PlanRequest(plcType, kind, reference, quantity);
        if (!plan.ok) continue;
        if (plan.StartOffset < 0 || plan.StartOffset > 65535) std::abort();
        try {
            for (Framing framing : {Framing::Rtu, Framing::Ascii}) {
                if (kind == RequestKind::Read) ReadRequestFrame(framing, unit, plan);
                else if (kind == RequestKind::SingleWrite) SingleWriteFrame(framing, unit, plan, quantity);
                else MultipleWriteFrame(framing, unit, plan, std::vector<qint32>(size_t(plan.quantity), quantity));
            }
        } catch (const BuslinkError&) {
        }
    }
    return 0;
}
