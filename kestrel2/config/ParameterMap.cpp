#include "ParameterMap.h"

#include "link/ConnectionSettings.h"

#include <QLocale>
#include <QRegularExpression>
#include <cmath>
#include <iterator>

namespace kestrel2 {

QStringList CommsLossActionEntries()
{
    return {QStringLiteral("No Action"), QStringLiteral("Open"), QStringLiteral("Close"), QStringLiteral("Stop"),
            QStringLiteral("Goto Position")};
}

QStringList DigitalInput4Entries() { return {QStringLiteral("ESD"), QStringLiteral("Network Control")}; }

QStringList BaudRateEntries() { return BaudEntries(); }  // the rates the connection window offers

QStringList ParityStopEntries()
{
    return {QStringLiteral("No Parity, 1 stop"),   QStringLiteral("No Parity, 2 stop"),
            QStringLiteral("Even Parity, 1 stop"), QStringLiteral("Even Parity, 2 stop"),
            QStringLiteral("Odd Parity, 1 stop"),  QStringLiteral("Odd Parity, 2 stop")};
}

QStringList DataBaseEntries() { return {QStringLiteral("MK 1"), QStringLiteral("MK 2")}; }

namespace {
const int ActionCodes[] = {0, 1, 3, 5, 7};

QList<Parameter> buildMap()
{
    using K = ParameterKind;
    const QString percent = QStringLiteral("(0-100%)");
    const QString seconds = QStringLiteral("(0-255 sec)");
    QList<Parameter> map;
    auto add = [&map](int reference, QString caption, QString control, QString range, QString unit, K kind,
                      QStringList entries = {}) {
        Parameter p;
        p.reference = reference;
        p.position = reference - ConfigurationBlockStart;
        p.registers = kind == K::TagName ? TagNameRegisters : 1;
        p.caption = std::move(caption);
        p.control = std::move(control);
        p.rangeLabel = std::move(range);
        p.unit = std::move(unit);
        p.kind = kind;
        p.entries = std::move(entries);
        map.append(p);
    };
    add(40008, "Action on Loss of communications", "CmbCommsLossAction", "", "", K::ActionList,
        CommsLossActionEntries());
    add(40009, "Analog minimum position", "txtMinPosition", percent, "%", K::Number);
    add(40010, "Analog maximum position", "txtMaxPosition", percent, "%", K::Number);
    add(40011, "Deadband", "txtDeadband", "(0.0-25.5%)", "%", K::Tenths);
    add(40012, "Motion inhibit time", "txtMit", seconds, "sec", K::Number);
    add(40013, "Auxiliary input mask", "txtMask", "(Dec)", "", K::Number);
    add(40014, "Position to assume on loss of communications", "txtCommsLossPosition", percent, "%", K::Number);
    add(40015, "Hysteresis", "txtHysteresis", "(0-25.5%)", "%", K::Tenths);
    add(40016, "Slow mode range", "txtSlowModeRange", percent, "%", K::Number);
    add(40017, "Valve jammed timeout", "txtJammedTime", seconds, "sec", K::Number);
    add(40018, "Manual movement travel", "txtManualMoveTravel", "(1-100%)", "%", K::Number);
    add(40019, "Watchdog timeout", "txtWatchdogTime", seconds, "sec", K::Number);
    add(40020, "Digital input #4 actions", "CmbESDDI4", "", "", K::List, DigitalInput4Entries());
    add(40021, "Analog maximum value", "txtAnalogMax", "(0-1023)", "counts", K::Number);
    add(40022, "Communications loss timer", "txtCommsTimer", seconds, "sec", K::Number);
    add(40023, "Modbus address", "txtAddress", "(1-247)", "", K::Number);
    add(40024, "Baud rate", "CmbBaud", "", "baud", K::ListPlusOne, BaudRateEntries());
    add(40025, "Parity / Stop bits", "cmbParityStop", "", "", K::List, ParityStopEntries());
    add(40026, "Data base arrangement", "CmbDataBase", "", "", K::List, DataBaseEntries());
    add(40027, "Tag name", "txtTag", "", "", K::TagName);
    return map;
}

QChar byteCharacter(int byte) { return QChar(ushort(byte & 0xFF)); }
} // namespace

const QList<Parameter>& ParameterMap()
{
    static const QList<Parameter> map = buildMap();
    return map;
}

const Parameter* ParameterByControl(const QString& control)
{
    for (const Parameter& p : ParameterMap())
        if (p.control == control) return &p;
    return nullptr;
}

int CommsLossActionCode(int listPosition)
{
    if (listPosition < 0 || listPosition >= int(std::size(ActionCodes))) return 0;
    return ActionCodes[listPosition];
}

std::optional<int> CommsLossActionPosition(int code)
{
    for (int i = 0; i < int(std::size(ActionCodes)); ++i)
        if (ActionCodes[i] == code) return i;
    return std::nullopt;
}

QString DecodeTagName(const QList<int>& registers)
{
    QString text;
    text.reserve(registers.size() * 2);
    for (int value : registers) {
        text.append(byteCharacter(value));
        text.append(byteCharacter(value >> 8));
    }
    return text;
}

QString DecodeTagName(const buslink::IntArray& values, int firstIndex, int count)
{
    QList<int> registers;
    for (int i = firstIndex; i < firstIndex + count; ++i) registers.append(values.hasIndex(i) ? values[i] : 0);
    return DecodeTagName(registers);
}

QList<int> EncodeTagName(const QString& text)
{
    auto code = [&text](int index) -> int {
        if (index >= text.size()) return ' ';
        const ushort unicode = text.at(index).unicode();
        return unicode <= 0xFF ? int(unicode) : int('?');
    };
    QList<int> registers;
    for (int k = 0; k < TagNameRegisters; ++k) registers.append(code(2 * k) + 256 * code(2 * k + 1));
    return registers;
}

QString TenthsText(int registerValue)
{
    // Shortest decimal form: 25 -> 2.5, 30 -> 3, 0 -> 0.
    return QString::number(registerValue / 10.0, 'g', 12);
}

std::optional<QString> UploadedText(const Parameter& parameter, const QList<int>& block)
{
    if (parameter.position + parameter.registers > block.size()) return std::nullopt;
    const int value = block.at(parameter.position);
    auto entry = [&parameter](int position) -> std::optional<QString> {
        if (position < 0 || position >= parameter.entries.size()) return std::nullopt;
        return parameter.entries.at(position);
    };
    switch (parameter.kind) {
    case ParameterKind::Number: return QString::number(value);
    case ParameterKind::Tenths: return TenthsText(value);
    case ParameterKind::ActionList: {
        const auto position = CommsLossActionPosition(value);
        if (!position) return std::nullopt;
        return entry(*position);
    }
    case ParameterKind::List: return entry(value);
    case ParameterKind::ListPlusOne: return entry(value - 1);
    case ParameterKind::TagName: return DecodeTagName(block.mid(parameter.position, parameter.registers));
    }
    return std::nullopt;
}

std::optional<double> ParseNumber(const QString& text)
{
    static const QRegularExpression number(
        QStringLiteral("^\\s*[+-]?(\\d+\\.?\\d*|\\.\\d+)([eE][+-]?\\d+)?\\s*$"));
    if (!number.match(text).hasMatch()) return std::nullopt;
    bool ok = false;
    const double value = QLocale::c().toDouble(text.trimmed(), &ok);
    // An exponent too large for a double reads as not a number rather than as infinity.
    if (!ok || !std::isfinite(value)) return std::nullopt;
    return value;
}

double RoundHalfEven(double value)
{
    return std::nearbyint(value);  // the default rounding mode: ties to even
}

std::optional<QString> MaskBinaryText(const QString& maskText)
{
    const auto number = ParseNumber(maskText);
    if (!number || *number > 255) return std::nullopt;
    const double rounded = RoundHalfEven(*number);
    if (rounded < 0) return std::nullopt;
    return QStringLiteral("%1").arg(int(rounded), 8, 2, QLatin1Char('0'));
}

QString FormatDateStamp(const QDateTime& when)
{
    static const QLocale english(QLocale::English, QLocale::UnitedStates);
    return english.toString(when, QStringLiteral("dddd,  MMMM   dd,    yyyy        hh:mm AP"));
}

} // namespace kestrel2
