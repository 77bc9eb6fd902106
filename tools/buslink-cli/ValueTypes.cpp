#include "ValueTypes.h"

#include "base/BuslinkTypes.h"

#include <cmath>
#include <limits>

namespace cli {

bool ValueTypeFromName(const QString& name, ValueType& type)
{
    static const QList<QPair<QString, ValueType>> names{
        {QStringLiteral("word"), ValueType::Word},        {QStringLiteral("signed"), ValueType::Signed},
        {QStringLiteral("float"), ValueType::FixedPoint}, {QStringLiteral("dfloat"), ValueType::DFloat},
        {QStringLiteral("ieee32"), ValueType::Ieee32},
    };
    for (const auto& entry : names) {
        if (entry.first == name) {
            type = entry.second;
            return true;
        }
    }
    return false;
}

qint16 ComponentIoType(ValueType type)
{
    switch (type) {
    case ValueType::Signed: return buslink::ioSignedWord;
    case ValueType::FixedPoint: return buslink::ioFloat;
    case ValueType::DFloat: return buslink::ioDFloat;
    case ValueType::Word:
    case ValueType::Ieee32: break;
    }
    return buslink::ioWord;
}

int RegistersPerValue(ValueType type)
{
    return type == ValueType::FixedPoint || type == ValueType::DFloat || type == ValueType::Ieee32 ? 2 : 1;
}

bool ParseWriteValue(ValueType type, const QString& text, QVariant& value, QString& why)
{
    bool ok = false;
    if (type == ValueType::Word || type == ValueType::Signed) {
        const qlonglong v = text.toLongLong(&ok);
        if (!ok) {
            why = QStringLiteral("not a whole number: %1").arg(text);
            return false;
        }
        // Word values are checked against the register or coil by the component; a signed
        // value above 32767 would come back negative, so it is refused here.
        const qlonglong low = type == ValueType::Signed ? -32768 : std::numeric_limits<qint32>::min();
        const qlonglong high = type == ValueType::Signed ? 32767 : std::numeric_limits<qint32>::max();
        if (v < low || v > high) {
            why = type == ValueType::Signed ? QStringLiteral("value out of range: %1 (-32768 to 32767)").arg(text)
                                            : QStringLiteral("value out of range: %1").arg(text);
            return false;
        }
        value = v;
        return true;
    }
    const QString lower = text.trimmed().toLower();
    double d = 0;
    if (lower == QLatin1String("nan")) d = std::numeric_limits<double>::quiet_NaN();
    else if (lower == QLatin1String("inf") || lower == QLatin1String("+inf")) d = std::numeric_limits<double>::infinity();
    else if (lower == QLatin1String("-inf")) d = -std::numeric_limits<double>::infinity();
    else {
        d = text.toDouble(&ok);
        if (!ok || !std::isfinite(d)) {
            why = QStringLiteral("not a number: %1").arg(text);
            return false;
        }
    }
    if (!std::isfinite(d) && type != ValueType::Ieee32) {
        why = QStringLiteral("value out of range: %1 (only --type ieee32 carries NaN and infinity)").arg(text);
        return false;
    }
    if (type == ValueType::FixedPoint) {
        value = d;  // the component checks the integer part against the register
        return true;
    }
    if (std::isfinite(d) && std::fabs(d) > double(std::numeric_limits<float>::max())) {
        why = QStringLiteral("value out of range: %1 (a single-precision float lies within +-3.4028235e+38)").arg(text);
        return false;
    }
    // ieee32 values are converted here; dfloat values go to the component as they were typed.
    value = type == ValueType::Ieee32 ? QVariant(float(d)) : QVariant(d);
    return true;
}

QString ValueTypesHelp()
{
    return QStringLiteral(
        "Value types (--type):\n"
        "  word    one register per value, 0 to 65535 (coils and inputs: 0 or 1); the\n"
        "          default\n"
        "  signed  one register per value, two's complement, -32768 to 32767\n"
        "  float   fixed point, not IEEE: two registers per value, the integer part\n"
        "          (0 to 65535) in the first, the fraction x 10000 in the second\n"
        "          (12.3456 is 12 and 3456); a write sends one value, as two\n"
        "          single-register writes\n"
        "  dfloat  single precision over two registers, high half first, through the\n"
        "          component's own conversion: a write rounds the value to 7\n"
        "          significant digits, then truncates it to 24 bits (0.1 goes as\n"
        "          3DCC CCCC, not the nearest 3DCC CCCD); a read takes every exponent\n"
        "          as a normal one (no subnormals) and fails on an exponent field of\n"
        "          255 (no infinity, no NaN)\n"
        "  ieee32  IEEE 754 single precision over two registers, bit for bit: a write\n"
        "          rounds to the nearest float; NaN, infinities and subnormals pass\n"
        "          both ways; --word-order big (the default) puts the high 16 bits in\n"
        "          the first register, little the low 16 bits\n");
}

} // namespace cli
