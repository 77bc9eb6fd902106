#pragma once
// The actuator's configuration block: 25 holding registers from 40008, their
// captions, controls, range labels and encodings. Upload, download, the window
// layout and the report all work from this one table.
#include "base/BoundedArray.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace kestrel2 {

// How a parameter's registers relate to the text its control shows.
enum class ParameterKind {
    Number,        // the register as a decimal integer
    Tenths,        // register = shown value x 10
    ActionList,    // CmbCommsLossAction: action code 0, 1, 3, 5, 7 <-> list position 0..4
    List,          // register = list position
    ListPlusOne,   // register = list position + 1 (CmbBaud)
    TagName        // six registers, two characters each
};

struct Parameter {
    int reference = 0;       // first register (Modicon reference)
    int position = 0;        // position in the block read from 40008
    int registers = 1;       // 6 for the tag name
    QString caption;
    QString control;         // object name of the window's control
    QString rangeLabel;      // empty for lists and the tag name
    QString unit;            // unit printed in the report; empty when none
    ParameterKind kind = ParameterKind::Number;
    QStringList entries;     // list entries, in list order
};

constexpr int ConfigurationBlockStart = 40008;
constexpr int ConfigurationBlockSize = 25;
constexpr int TagNameReference = 40027;
constexpr int TagNameRegisters = 6;

// The configuration block in register order (40008 ... 40027, the last being the tag name).
const QList<Parameter>& ParameterMap();
// The parameter shown by a control; nullptr when none.
const Parameter* ParameterByControl(const QString& control);

// List entries of the window's lists.
QStringList CommsLossActionEntries();
QStringList DigitalInput4Entries();
QStringList BaudRateEntries();
QStringList ParityStopEntries();
QStringList DataBaseEntries();

// Action code of register 40008 for a list position (0 when nothing is selected), and back.
int CommsLossActionCode(int listPosition);
std::optional<int> CommsLossActionPosition(int code);

// Tag name: each register gives the character of its low byte, then that of its high byte.
QString DecodeTagName(const QList<int>& registers);
// The same from a read buffer indexed from 1 (e.g. RegValues), `count` registers from `firstIndex`.
QString DecodeTagName(const buslink::IntArray& values, int firstIndex, int count = TagNameRegisters);
// Six register values of a tag: characters by position, blanks past the end, nothing after the
// twelfth; code of the first + 256 x code of the second (Latin-1; other characters become '?').
QList<int> EncodeTagName(const QString& text);

// Text shown for a register block position: nullopt leaves the control as it was
// (a list value without an entry). `block` holds the 25 registers of the block.
std::optional<QString> UploadedText(const Parameter& parameter, const QList<int>& block);

// Whole-text decimal number, blanks around allowed ("12", "-0.1", "2.5e1").
std::optional<double> ParseNumber(const QString& text);
// Rounds to the nearest integer, halves to the even neighbour.
double RoundHalfEven(double value);
// Tenths as shown: 25 -> "2.5", 30 -> "3".
QString TenthsText(int registerValue);

// Eight binary digits of the mask text; nullopt when the binary view should stay as it is.
std::optional<QString> MaskBinaryText(const QString& maskText);

// "Monday,  February   23,    2004        04:56 PM", English names whatever the locale.
QString FormatDateStamp(const QDateTime& when);

} // namespace kestrel2
