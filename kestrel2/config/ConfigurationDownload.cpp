#include "ConfigurationDownload.h"

#include "ParameterMap.h"

#include <algorithm>
#include <cmath>

namespace kestrel2 {

namespace {
const QString LineBreak = QStringLiteral("\r\n");

QList<ValidationRule> buildRules()
{
    const QString to100 = QStringLiteral("  You must enter a number from 1 to 100.");
    const QString zeroTo100 = QStringLiteral("  You must enter a number from 0 to 100.");
    const QString to255 = QStringLiteral("  You must enter a number from 0 to 255.");
    const QString tenths = QStringLiteral("  You must enter a number from 0.0 to 25.5.");
    auto same = [](const QString& control, const QString& text, double low, double high, const QString& last,
                   double scale = 1) {
        return ValidationRule{control, text, text, low, high, scale, last};
    };
    // Each second line names the range its field accepts.
    return {
        {"txtAddress", "Unable to download, Invalid Modbus Base address. ", "Unable to download, Invalid Modbus address. ",
         1, 247, 1, "  You must enter a number from 1 to 247."},
        {"txtMinPosition", "Unable to download, Invalid Minimum position. ",
         "Unable to download, Invalid minimum postion. ", 0, 100, 1, zeroTo100},
        {"txtMaxPosition", "Unable to download, Invalid Maximum position. ",
         "Unable to download, Invalid Maximum postion. ", 1, 100, 1, to100},
        same("txtDeadband", "Unable to download, Invalid Deadband. ", 0, 255, tenths, 10),
        same("txtMit", "Unable to download, Invalid Motion inhibit time. ", 0, 255, to255),
        same("txtCommsLossPosition", "Unable to download, Invalid Communication loss position. ", 0, 100, zeroTo100),
        same("txtHysteresis", "Unable to download, Invalid Hysteresis. ", 0, 255, tenths, 10),
        {"txtSlowModeRange", "Unable to download, Invalid Slow mode range. ",
         "Unable to download, InvalidSlow mode range. ", 0, 100, 1, zeroTo100},
        same("txtJammedTime", "Unable to download, Invalid Valve jammed time. ", 0, 255, to255),
        same("txtManualMoveTravel", "Unable to download, Invalid Manual movement travel. ", 1, 100, to100),
        same("txtWatchdogTime", "Unable to download, Invalid Watchdog timeout. ", 0, 255, to255),
        same("txtAnalogMax", "Unable to download, Invalid Analog maximum value. ", 0, 1023,
             QStringLiteral("  You must enter a number from 0 to 1023.")),
        {"txtCommsTimer", "Unable to download, Invalid Communication loss timer value. ",
         "Unable to download, Invalid Communications loss timer value. ", 0, 255, 1, to255},
    };
}

// Lists whose empty selection has no register value, with the name used in the refusal.
struct RequiredList {
    const char* control;
    const char* name;
};
const RequiredList RequiredLists[] = {
    {"CmbESDDI4", "Digital input #4 action"},
    {"CmbBaud", "Baud rate"},
    {"cmbParityStop", "Parity / Stop bits"},
    {"CmbDataBase", "Data base arrangement"},
};

// True when the number has no fraction; the tenths fields are checked after scaling,
// so they take one decimal. The tolerance absorbs binary rounding (2.3 x 10).
bool isWhole(double value)
{
    return std::fabs(value - std::nearbyint(value)) <= 1e-9 * std::max(1.0, std::fabs(value));
}

int roundedNumber(const QString& text, double scale = 1)
{
    const auto number = ParseNumber(text);
    return number ? int(RoundHalfEven(*number * scale)) : 0;
}
} // namespace

const QList<ValidationRule>& DownloadValidationRules()
{
    static const QList<ValidationRule> rules = buildRules();
    return rules;
}

std::optional<DownloadRefusal> ValidateDownload(const FormValues& values)
{
    for (const ValidationRule& rule : DownloadValidationRules()) {
        // A fraction the register cannot hold is refused as not a number, rather than written rounded.
        const auto number = ParseNumber(values.value(rule.control));
        const double scaled = number ? *number * rule.scale : 0.0;
        if (!number || !isWhole(scaled))
            return DownloadRefusal{rule.control, rule.notNumberText + LineBreak + rule.lastText};
        if (scaled < rule.low || scaled > rule.high)
            return DownloadRefusal{rule.control, rule.outOfRangeText + LineBreak + rule.lastText};
    }
    const auto mask = ParseNumber(values.value(QStringLiteral("txtMask")));
    if (!mask || !isWhole(*mask) || *mask < 0 || *mask > 255)
        return DownloadRefusal{QStringLiteral("txtMask"),
                               QStringLiteral("Unable to download, Invalid Auxiliary input mask. ") + LineBreak +
                                   QStringLiteral("  You must enter a number from 0 to 255.")};
    for (const RequiredList& list : RequiredLists) {
        const Parameter* parameter = ParameterByControl(QString::fromLatin1(list.control));
        if (!parameter->entries.contains(values.value(parameter->control)))
            return DownloadRefusal{parameter->control,
                                   QStringLiteral("Unable to download, no %1 selected. ").arg(QLatin1String(list.name)) +
                                       LineBreak + QStringLiteral("  You must select an entry from the list.")};
    }
    return std::nullopt;
}

QList<RegisterWrite> DownloadWrites(const FormValues& values)
{
    QList<RegisterWrite> writes;
    for (const Parameter& p : ParameterMap()) {
        const QString text = values.value(p.control);
        const int listPosition = int(p.entries.indexOf(text));
        switch (p.kind) {
        case ParameterKind::Number: writes.append({p.reference, roundedNumber(text)}); break;
        case ParameterKind::Tenths: writes.append({p.reference, roundedNumber(text, 10)}); break;
        case ParameterKind::ActionList: writes.append({p.reference, CommsLossActionCode(listPosition)}); break;
        case ParameterKind::List: writes.append({p.reference, listPosition}); break;
        case ParameterKind::ListPlusOne: writes.append({p.reference, listPosition + 1}); break;
        case ParameterKind::TagName: {
            const QList<int> tag = EncodeTagName(text);
            for (int k = 0; k < tag.size(); ++k) writes.append({p.reference + k, tag.at(k)});
            break;
        }
        }
    }
    return writes;
}

} // namespace kestrel2
