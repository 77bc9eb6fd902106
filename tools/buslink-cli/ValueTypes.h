#pragma once
// The value types of --type: how many registers a value takes, which of the
// component's conversions carries it, and how values typed on the command line
// are checked before anything is sent.
#include "conversions/RegisterWords.h"

#include <QString>
#include <QVariant>

namespace cli {

enum class ValueType {
    Word,        // one register, 0 to 65535
    Signed,      // one register, -32768 to 32767
    FixedPoint,  // "float": two registers, integer part and fraction x 10000
    DFloat,      // "dfloat": two registers through the component's own single-precision conversion
    Ieee32,      // "ieee32": two registers, IEEE 754 single precision bit for bit, in the chosen word order
};

// The name on the command line ("word", "signed", "float", "dfloat", "ieee32"); false when unknown.
bool ValueTypeFromName(const QString& name, ValueType& type);
// The value-type code the component's ReadPLC and WritePLC take (ieee32 travels as plain words).
qint16 ComponentIoType(ValueType type);
int RegistersPerValue(ValueType type);

// A value typed on the command line, checked for the type; false with the reason when it is no
// value of the type ("not a number: ten", "value out of range: 40000 (-32768 to 32767)").
bool ParseWriteValue(ValueType type, const QString& text, QVariant& value, QString& why);

// The paragraph the help and the man page give on --type and --word-order.
QString ValueTypesHelp();

} // namespace cli
