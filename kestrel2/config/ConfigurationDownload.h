#pragma once
// What a download checks and what it writes, as pure functions of the texts
// the configuration window shows.
#include <QList>
#include <QMap>
#include <QString>
#include <optional>

namespace kestrel2 {

// Control name -> the text it shows (a list: its selected entry, empty when none).
using FormValues = QMap<QString, QString>;

// One row of the download checks, in the order they are made.
struct ValidationRule {
    QString control;
    QString notNumberText;   // first line when the text is not a number
    QString outOfRangeText;  // first line when the number is out of range
    double low = 0;          // accepted range, inclusive, compared after scaling
    double high = 0;
    double scale = 1;        // 10 for the tenths fields
    QString lastText;        // second line of either message
};
const QList<ValidationRule>& DownloadValidationRules();

// Why a download is refused: the message to show and the control that gets the focus.
struct DownloadRefusal {
    QString control;
    QString message;
};
// The first failing check, or nullopt when the download may go ahead. Besides the
// numeric fields, the auxiliary input mask must be a number from 0 to 255 and the
// lists other than the loss-of-communications action must have an entry selected,
// because neither can be turned into a register value otherwise.
std::optional<DownloadRefusal> ValidateDownload(const FormValues& values);

struct RegisterWrite {
    int reference = 0;
    int value = 0;
    bool operator==(const RegisterWrite& other) const
    {
        return reference == other.reference && value == other.value;
    }
};
// The register writes of a download, one register each, in map order (40008 ... 40032).
// Only meaningful for values that ValidateDownload accepted.
QList<RegisterWrite> DownloadWrites(const FormValues& values);

} // namespace kestrel2
