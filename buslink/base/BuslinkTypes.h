#pragma once
// The component's mode, PLC type and value-type codes, shared by every floor.
#include <QtGlobal>

namespace buslink {

enum EnModBusMode : qint16 { Rtu = 1, Ascii = 2, SlaveRtu = 3, SlaveAscii = 4 };
enum EnPLCType : qint32 {
    EnStdModbus = 1, EnType2, EnType3, EnType4, EnType5, EnType6, EnType7, EnType8, EnType9, EnType10
};
// Value-type codes of reads and writes; codes not listed behave as ioWord.
enum IoType : qint16 {
    ioWord = 0, ioDWord = 1, ioFloat = 2, ioDFloat = 3, ioString = 4, ioSignedWord = 5,
    ioScaledWord = 20, ioScaledDWord = 21, ioScaledFloat = 22, ioScaledDFloat = 23
};

} // namespace buslink
