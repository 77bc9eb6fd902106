// The configuration block's encodings, upload decoding, download checks and
// download writes, from tables and without an actuator.
#include "config/ConfigurationDownload.h"
#include "config/ParameterMap.h"

#include <QtTest>

using namespace kestrel2;

namespace {
// A form that passes every download check. Every register gets a value of its own, so a
// parameter map that sent one field's value to another field's register cannot pass.
FormValues goodForm()
{
    return {
        {"CmbCommsLossAction", "Goto Position"}, {"txtMinPosition", "3"},       {"txtMaxPosition", "100"},
        {"txtDeadband", "2.5"},                   {"txtMit", "10"},              {"txtMask", "129"},
        {"txtCommsLossPosition", "50"},           {"txtHysteresis", "1.5"},      {"txtSlowModeRange", "11"},
        {"txtJammedTime", "30"},                  {"txtManualMoveTravel", "8"},  {"txtWatchdogTime", "20"},
        {"CmbESDDI4", "ESD"},                     {"txtAnalogMax", "1023"},      {"txtCommsTimer", "17"},
        {"txtAddress", "247"},                    {"CmbBaud", "9600"},           {"cmbParityStop", "Odd Parity, 1 stop"},
        {"CmbDataBase", "MK 2"},                  {"txtTag", "VALVE 7 EAST"},
    };
}

QList<int> blockOf(const QList<RegisterWrite>& writes)
{
    QList<int> block;
    for (const RegisterWrite& w : writes) block.append(w.value);
    return block;
}
} // namespace

class TestConfigParameterMap : public QObject {
    Q_OBJECT
private slots:
    void mapCoversTheBlockInOrder();
    void uploadedText_data();
    void uploadedText();
    void tagNameCodec();
    void parseNumber_data();
    void parseNumber();
    void maskBinary_data();
    void maskBinary();
    void dateStampIsEnglishWhateverTheLocale_data();
    void dateStampIsEnglishWhateverTheLocale();
    void validation_data();
    void validation();
    void downloadWritesEveryRegisterInMapOrder();
    void downloadEncodings_data();
    void downloadEncodings();
    void uploadShowsWhatDownloadWrote();
};

void TestConfigParameterMap::mapCoversTheBlockInOrder()
{
    // 20 parameters over 25 registers, contiguous from 40008, the tag name last with six registers.
    const QList<Parameter>& map = ParameterMap();
    QCOMPARE(map.size(), 20);
    int next = ConfigurationBlockStart;
    for (const Parameter& p : map) {
        QCOMPARE(p.reference, next);
        QCOMPARE(p.position, p.reference - ConfigurationBlockStart);
        QVERIFY2(ParameterByControl(p.control) == &p, qPrintable(p.control));
        next += p.registers;
    }
    QCOMPARE(next, ConfigurationBlockStart + ConfigurationBlockSize);
    QCOMPARE(map.last().control, QStringLiteral("txtTag"));
    QCOMPARE(map.last().reference, TagNameReference);
    QCOMPARE(ParameterByControl("CmbBaud")->entries.size(), 10);
    QCOMPARE(ParameterByControl("cmbParityStop")->entries.at(5), QStringLiteral("Odd Parity, 2 stop"));
    QCOMPARE(ParameterByControl("txtDeadband")->rangeLabel, QStringLiteral("(0.0-25.5%)"));
    QCOMPARE(ParameterByControl("txtHysteresis")->rangeLabel, QStringLiteral("(0-25.5%)"));
    // The range beside these fields is the range their download check accepts.
    for (const QString control : {"txtAddress", "txtManualMoveTravel"}) {
        const auto rule = std::find_if(DownloadValidationRules().cbegin(), DownloadValidationRules().cend(),
                                       [&](const ValidationRule& r) { return r.control == control; });
        QVERIFY(rule != DownloadValidationRules().cend());
        const QString label = ParameterByControl(control)->rangeLabel;
        QVERIFY2(label.startsWith(QStringLiteral("(%1-%2").arg(rule->low).arg(rule->high)), qPrintable(label));
    }
    QCOMPARE(ParameterByControl("txtCommsLossPosition")->caption,
             QStringLiteral("Position to assume on loss of communications"));
    QVERIFY(!ParameterByControl("txtMaskBinary"));
}

void TestConfigParameterMap::uploadedText_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("shown");  // "<unchanged>": the control keeps what it showed
    const QString unchanged = "<unchanged>";
    QTest::newRow("action 0") << "CmbCommsLossAction" << 0 << "No Action";
    QTest::newRow("action 3 is Close") << "CmbCommsLossAction" << 3 << "Close";
    QTest::newRow("action 5 is Stop") << "CmbCommsLossAction" << 5 << "Stop";
    QTest::newRow("action 7") << "CmbCommsLossAction" << 7 << "Goto Position";
    QTest::newRow("action 2 has no entry") << "CmbCommsLossAction" << 2 << unchanged;
    QTest::newRow("min position") << "txtMinPosition" << 42 << "42";
    QTest::newRow("deadband 15") << "txtDeadband" << 15 << "1.5";
    QTest::newRow("deadband 25") << "txtDeadband" << 25 << "2.5";
    QTest::newRow("deadband 30") << "txtDeadband" << 30 << "3";
    QTest::newRow("hysteresis 0") << "txtHysteresis" << 0 << "0";
    QTest::newRow("out-of-range shown as read") << "txtMit" << 999 << "999";
    QTest::newRow("DI4 1") << "CmbESDDI4" << 1 << "Network Control";
    QTest::newRow("DI4 2") << "CmbESDDI4" << 2 << unchanged;
    QTest::newRow("baud 6") << "CmbBaud" << 6 << "9600";
    QTest::newRow("baud 1") << "CmbBaud" << 1 << "300";
    QTest::newRow("baud 10") << "CmbBaud" << 10 << "115200";
    QTest::newRow("baud 0") << "CmbBaud" << 0 << unchanged;
    QTest::newRow("baud 11") << "CmbBaud" << 11 << unchanged;
    QTest::newRow("parity 0") << "cmbParityStop" << 0 << "No Parity, 1 stop";
    QTest::newRow("parity 6") << "cmbParityStop" << 6 << unchanged;
    QTest::newRow("database 1") << "CmbDataBase" << 1 << "MK 2";
    QTest::newRow("database 65535") << "CmbDataBase" << 65535 << unchanged;
}

void TestConfigParameterMap::uploadedText()
{
    QFETCH(QString, control);
    QFETCH(int, value);
    QFETCH(QString, shown);
    const Parameter* p = ParameterByControl(control);
    QVERIFY(p);
    QList<int> block(ConfigurationBlockSize, 0);
    block[p->position] = value;
    const auto text = UploadedText(*p, block);
    QCOMPARE(text.value_or("<unchanged>"), shown);
}

void TestConfigParameterMap::tagNameCodec()
{
    const QList<int> registers = {0x4241, 0x4443, 0x2045, 0x2020, 0x2020, 0x2020};
    QCOMPARE(DecodeTagName(registers), QStringLiteral("ABCDE       "));
    QList<int> block(ConfigurationBlockSize, 0);
    for (int k = 0; k < 6; ++k) block[19 + k] = registers.at(k);
    QCOMPARE(UploadedText(*ParameterByControl("txtTag"), block).value(), QStringLiteral("ABCDE       "));

    // From a read buffer indexed from 1, as the monitor reads it.
    buslink::IntArray values(1, 8);
    values[3] = 0x6548;  // "He"
    values[4] = 0x6C6C;  // "ll"
    QCOMPARE(DecodeTagName(values, 3, 2), QStringLiteral("Hell"));

    QCOMPARE(EncodeTagName("AB"), (QList<int>{16961, 8224, 8224, 8224, 8224, 8224}));
    QCOMPARE(EncodeTagName("ABCDE"), (QList<int>{0x4241, 0x4443, 0x2045, 0x2020, 0x2020, 0x2020}));
    QCOMPARE(EncodeTagName("ABCDEFGHIJKLMNOP"), EncodeTagName("ABCDEFGHIJKL"));  // nothing after the twelfth
    QCOMPARE(EncodeTagName(""), QList<int>(6, 0x2020));
    QCOMPARE(EncodeTagName(QString::fromUtf8("\xc3\xa9")).first(), 0x20E9);  // Latin-1 e-acute
    QCOMPARE(EncodeTagName(QString::fromUtf8("\xe2\x82\xac")).first(), 0x203F);  // not single-byte: '?'
    // Every byte value survives a round trip.
    for (int v : {0x0000, 0xFFFF, 0x7F80, 0x0A0D})
        QCOMPARE(EncodeTagName(DecodeTagName({v, v, v, v, v, v})), QList<int>(6, v));
}

void TestConfigParameterMap::parseNumber_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("isNumber");
    QTest::addColumn<double>("value");
    QTest::newRow("integer") << "12" << true << 12.0;
    QTest::newRow("blanks around") << " 12 " << true << 12.0;
    QTest::newRow("fraction") << "12.5" << true << 12.5;
    QTest::newRow("leading point") << ".5" << true << 0.5;
    QTest::newRow("trailing point") << "5." << true << 5.0;
    QTest::newRow("signs") << "-0.1" << true << -0.1;
    QTest::newRow("plus") << "+5" << true << 5.0;
    QTest::newRow("exponent") << "2.5e1" << true << 25.0;
    QTest::newRow("empty") << "" << false << 0.0;
    QTest::newRow("blank") << "  " << false << 0.0;
    QTest::newRow("letter") << "x" << false << 0.0;
    QTest::newRow("trailing letters") << "12abc" << false << 0.0;
    QTest::newRow("decimal comma") << "1,5" << false << 0.0;
    QTest::newRow("inner blank") << "1 2" << false << 0.0;
    QTest::newRow("huge exponent") << "1e400" << false << 0.0;
}

void TestConfigParameterMap::parseNumber()
{
    QFETCH(QString, text);
    QFETCH(bool, isNumber);
    QFETCH(double, value);
    const auto number = ParseNumber(text);
    QCOMPARE(number.has_value(), isNumber);
    if (isNumber) QCOMPARE(*number, value);
}

void TestConfigParameterMap::maskBinary_data()
{
    QTest::addColumn<QString>("mask");
    QTest::addColumn<QString>("binary");  // empty: the binary view stays as it is
    QTest::newRow("5") << "5" << "00000101";
    QTest::newRow("128") << "128" << "10000000";
    QTest::newRow("255") << "255" << "11111111";
    QTest::newRow("0") << "0" << "00000000";
    QTest::newRow("300") << "300" << "";
    QTest::newRow("255.4 is above 255") << "255.4" << "";
    QTest::newRow("letter") << "a" << "";
    QTest::newRow("empty") << "" << "";
    QTest::newRow("negative") << "-1" << "";
    QTest::newRow("-0.4 rounds to 0") << "-0.4" << "00000000";
    QTest::newRow("2.5 rounds to even") << "2.5" << "00000010";
    QTest::newRow("3.5 rounds to even") << "3.5" << "00000100";
}

void TestConfigParameterMap::maskBinary()
{
    QFETCH(QString, mask);
    QFETCH(QString, binary);
    QCOMPARE(MaskBinaryText(mask).value_or(QString()), binary);
}

void TestConfigParameterMap::dateStampIsEnglishWhateverTheLocale_data()
{
    QTest::addColumn<QDateTime>("when");
    QTest::addColumn<QString>("stamp");
    QTest::newRow("afternoon") << QDateTime(QDate(2004, 2, 23), QTime(16, 56))
                               << "Monday,  February   23,    2004        04:56 PM";
    QTest::newRow("after midnight") << QDateTime(QDate(2024, 12, 1), QTime(0, 5))
                                    << "Sunday,  December   01,    2024        12:05 AM";
    QTest::newRow("noon") << QDateTime(QDate(2023, 7, 9), QTime(12, 0)) << "Sunday,  July   09,    2023        12:00 PM";
}

void TestConfigParameterMap::dateStampIsEnglishWhateverTheLocale()
{
    QFETCH(QDateTime, when);
    QFETCH(QString, stamp);
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const QString text = FormatDateStamp(when);
    QLocale::setDefault(before);
    QCOMPARE(text, stamp);
}

void TestConfigParameterMap::validation_data()
{
    QTest::addColumn<FormValues>("changes");
    QTest::addColumn<QString>("control");  // empty: the download goes ahead
    QTest::addColumn<QString>("message");
    auto row = [](const char* name, FormValues changes, const QString& control = QString(),
                  const QString& first = QString(), const QString& last = QString()) {
        QTest::newRow(name) << changes << control << (control.isEmpty() ? QString() : first + "\r\n" + last);
    };
    const QString to247 = "  You must enter a number from 1 to 247.";
    const QString to100 = "  You must enter a number from 1 to 100.";
    const QString zeroTo100 = "  You must enter a number from 0 to 100.";
    const QString to255 = "  You must enter a number from 0 to 255.";
    const QString to1023 = "  You must enter a number from 0 to 1023.";
    const QString tenths = "  You must enter a number from 0.0 to 25.5.";
    row("all good", {});
    row("address 0", {{"txtAddress", "0"}}, "txtAddress", "Unable to download, Invalid Modbus address. ", to247);
    row("address x", {{"txtAddress", "x"}}, "txtAddress", "Unable to download, Invalid Modbus Base address. ", to247);
    row("address empty", {{"txtAddress", ""}}, "txtAddress", "Unable to download, Invalid Modbus Base address. ", to247);
    row("address 248", {{"txtAddress", "248"}}, "txtAddress", "Unable to download, Invalid Modbus address. ", to247);
    row("address 1", {{"txtAddress", "1"}});
    row("min position 0", {{"txtMinPosition", "0"}});
    row("min position 101", {{"txtMinPosition", "101"}}, "txtMinPosition",
        "Unable to download, Invalid minimum postion. ", zeroTo100);
    row("min position text", {{"txtMinPosition", "lo"}}, "txtMinPosition",
        "Unable to download, Invalid Minimum position. ", zeroTo100);
    row("max position 0", {{"txtMaxPosition", "0"}}, "txtMaxPosition",
        "Unable to download, Invalid Maximum postion. ", to100);
    row("max position text", {{"txtMaxPosition", "?"}}, "txtMaxPosition",
        "Unable to download, Invalid Maximum position. ", to100);
    row("deadband 25.5", {{"txtDeadband", "25.5"}});
    row("deadband 25.6", {{"txtDeadband", "25.6"}}, "txtDeadband", "Unable to download, Invalid Deadband. ", tenths);
    row("deadband -0.1", {{"txtDeadband", "-0.1"}}, "txtDeadband", "Unable to download, Invalid Deadband. ", tenths);
    row("deadband text", {{"txtDeadband", "2,5"}}, "txtDeadband", "Unable to download, Invalid Deadband. ", tenths);
    row("mit 256", {{"txtMit", "256"}}, "txtMit", "Unable to download, Invalid Motion inhibit time. ", to255);
    row("comms loss position 101", {{"txtCommsLossPosition", "101"}}, "txtCommsLossPosition",
        "Unable to download, Invalid Communication loss position. ", zeroTo100);
    row("hysteresis 26", {{"txtHysteresis", "26"}}, "txtHysteresis", "Unable to download, Invalid Hysteresis. ", tenths);
    row("slow mode 101", {{"txtSlowModeRange", "101"}}, "txtSlowModeRange",
        "Unable to download, InvalidSlow mode range. ", zeroTo100);
    row("slow mode text", {{"txtSlowModeRange", "s"}}, "txtSlowModeRange",
        "Unable to download, Invalid Slow mode range. ", zeroTo100);
    row("jammed -1", {{"txtJammedTime", "-1"}}, "txtJammedTime", "Unable to download, Invalid Valve jammed time. ", to255);
    row("manual travel 0", {{"txtManualMoveTravel", "0"}}, "txtManualMoveTravel",
        "Unable to download, Invalid Manual movement travel. ", to100);
    row("watchdog 300", {{"txtWatchdogTime", "300"}}, "txtWatchdogTime",
        "Unable to download, Invalid Watchdog timeout. ", to255);
    row("analog max 1023", {{"txtAnalogMax", "1023"}});
    row("analog max 1024", {{"txtAnalogMax", "1024"}}, "txtAnalogMax",
        "Unable to download, Invalid Analog maximum value. ", to1023);
    row("comms timer 256", {{"txtCommsTimer", "256"}}, "txtCommsTimer",
        "Unable to download, Invalid Communications loss timer value. ", to255);
    row("comms timer text", {{"txtCommsTimer", "t"}}, "txtCommsTimer",
        "Unable to download, Invalid Communication loss timer value. ", to255);
    row("only the first bad field", {{"txtCommsTimer", "t"}, {"txtDeadband", "99"}, {"txtMinPosition", "-5"}},
        "txtMinPosition", "Unable to download, Invalid minimum postion. ", zeroTo100);
    // A whole-number field refuses a fraction with its not-a-number message (12.5 is not
    // written as 12); the tenths fields take one decimal and no more.
    row("address 12.5", {{"txtAddress", "12.5"}}, "txtAddress", "Unable to download, Invalid Modbus Base address. ",
        to247);
    row("min position 12.5", {{"txtMinPosition", "12.5"}}, "txtMinPosition",
        "Unable to download, Invalid Minimum position. ", zeroTo100);
    row("max position 99.9", {{"txtMaxPosition", "99.9"}}, "txtMaxPosition",
        "Unable to download, Invalid Maximum position. ", to100);
    row("mit 0.5", {{"txtMit", "0.5"}}, "txtMit", "Unable to download, Invalid Motion inhibit time. ", to255);
    row("comms loss position 33.3", {{"txtCommsLossPosition", "33.3"}}, "txtCommsLossPosition",
        "Unable to download, Invalid Communication loss position. ", zeroTo100);
    row("slow mode 12.5", {{"txtSlowModeRange", "12.5"}}, "txtSlowModeRange",
        "Unable to download, Invalid Slow mode range. ", zeroTo100);
    row("jammed 1.5", {{"txtJammedTime", "1.5"}}, "txtJammedTime", "Unable to download, Invalid Valve jammed time. ",
        to255);
    row("manual travel 2.5", {{"txtManualMoveTravel", "2.5"}}, "txtManualMoveTravel",
        "Unable to download, Invalid Manual movement travel. ", to100);
    row("watchdog 9.99", {{"txtWatchdogTime", "9.99"}}, "txtWatchdogTime",
        "Unable to download, Invalid Watchdog timeout. ", to255);
    row("analog max 1000.5", {{"txtAnalogMax", "1000.5"}}, "txtAnalogMax",
        "Unable to download, Invalid Analog maximum value. ", to1023);
    row("comms timer 0.1", {{"txtCommsTimer", "0.1"}}, "txtCommsTimer",
        "Unable to download, Invalid Communication loss timer value. ", to255);
    row("fraction out of range: not a number first", {{"txtMit", "300.5"}}, "txtMit",
        "Unable to download, Invalid Motion inhibit time. ", to255);
    row("whole number written with a point", {{"txtMit", "12.0"}, {"txtAnalogMax", "1e3"}});
    row("deadband one decimal", {{"txtDeadband", "2.3"}, {"txtHysteresis", "0.7"}});
    row("deadband two decimals", {{"txtDeadband", "2.55"}}, "txtDeadband", "Unable to download, Invalid Deadband. ",
        tenths);
    row("hysteresis two decimals", {{"txtHysteresis", "0.25"}}, "txtHysteresis",
        "Unable to download, Invalid Hysteresis. ", tenths);
    // Beyond the numeric table: values that have no register form.
    row("mask text", {{"txtMask", "ff"}}, "txtMask", "Unable to download, Invalid Auxiliary input mask. ", to255);
    row("mask 256", {{"txtMask", "256"}}, "txtMask", "Unable to download, Invalid Auxiliary input mask. ", to255);
    row("mask 255", {{"txtMask", "255"}});
    row("mask 12.5", {{"txtMask", "12.5"}}, "txtMask", "Unable to download, Invalid Auxiliary input mask. ", to255);
    row("numeric fields first", {{"txtMask", ""}, {"txtCommsTimer", "999"}}, "txtCommsTimer",
        "Unable to download, Invalid Communications loss timer value. ", to255);
    row("no action selected writes No Action", {{"CmbCommsLossAction", ""}});
    row("no DI4 action", {{"CmbESDDI4", ""}}, "CmbESDDI4", "Unable to download, no Digital input #4 action selected. ",
        "  You must select an entry from the list.");
    row("no baud rate", {{"CmbBaud", ""}}, "CmbBaud", "Unable to download, no Baud rate selected. ",
        "  You must select an entry from the list.");
    row("no parity", {{"cmbParityStop", ""}}, "cmbParityStop", "Unable to download, no Parity / Stop bits selected. ",
        "  You must select an entry from the list.");
    row("no format", {{"CmbDataBase", ""}}, "CmbDataBase", "Unable to download, no Data base arrangement selected. ",
        "  You must select an entry from the list.");
}

void TestConfigParameterMap::validation()
{
    QFETCH(FormValues, changes);
    QFETCH(QString, control);
    QFETCH(QString, message);
    FormValues form = goodForm();
    for (auto it = changes.cbegin(); it != changes.cend(); ++it) form.insert(it.key(), it.value());
    const auto refusal = ValidateDownload(form);
    QCOMPARE(refusal.has_value(), !control.isEmpty());
    if (refusal) {
        QCOMPARE(refusal->control, control);
        QCOMPARE(refusal->message, message);
    }
}

void TestConfigParameterMap::downloadWritesEveryRegisterInMapOrder()
{
    const QList<RegisterWrite> writes = DownloadWrites(goodForm());
    // Written out by hand from the register table, not from the parameter map.
    const QList<RegisterWrite> expected = {
        {40008, 7},     {40009, 3},     {40010, 100},   {40011, 25},    {40012, 10},    {40013, 129},  {40014, 50},
        {40015, 15},    {40016, 11},    {40017, 30},    {40018, 8},     {40019, 20},    {40020, 0},    {40021, 1023},
        {40022, 17},    {40023, 247},   {40024, 6},     {40025, 4},     {40026, 1},     {40027, 16726}, {40028, 22092},
        {40029, 8261},  {40030, 8247},  {40031, 16709}, {40032, 21587},
    };
    QSet<int> values;
    for (const RegisterWrite& w : expected) values.insert(w.value);
    QCOMPARE(values.size(), int(expected.size()));
    QCOMPARE(writes, expected);
}

void TestConfigParameterMap::downloadEncodings_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("reference");
    QTest::addColumn<int>("value");
    QTest::newRow("no action") << "CmbCommsLossAction" << "No Action" << 40008 << 0;
    QTest::newRow("open") << "CmbCommsLossAction" << "Open" << 40008 << 1;
    QTest::newRow("close") << "CmbCommsLossAction" << "Close" << 40008 << 3;
    QTest::newRow("stop") << "CmbCommsLossAction" << "Stop" << 40008 << 5;
    QTest::newRow("nothing selected") << "CmbCommsLossAction" << "" << 40008 << 0;
    QTest::newRow("deadband 2.3 x 10") << "txtDeadband" << "2.3" << 40011 << 23;
    QTest::newRow("deadband 25.5") << "txtDeadband" << "25.5" << 40011 << 255;
    QTest::newRow("hysteresis 0.7 x 10") << "txtHysteresis" << "0.7" << 40015 << 7;
    QTest::newRow("whole number with a point") << "txtMinPosition" << "12.0" << 40009 << 12;
    QTest::newRow("blanks") << "txtAddress" << " 17 " << 40023 << 17;
    QTest::newRow("baud 300") << "CmbBaud" << "300" << 40024 << 1;
    QTest::newRow("baud 115200") << "CmbBaud" << "115200" << 40024 << 10;
    QTest::newRow("odd 2 stop") << "cmbParityStop" << "Odd Parity, 2 stop" << 40025 << 5;
    QTest::newRow("MK 1") << "CmbDataBase" << "MK 1" << 40026 << 0;
    QTest::newRow("ESD") << "CmbESDDI4" << "ESD" << 40020 << 0;
    QTest::newRow("network control") << "CmbESDDI4" << "Network Control" << 40020 << 1;
    QTest::newRow("tag AB: blanks after it") << "txtTag" << "AB" << 40028 << 8224;
    QTest::newRow("tag 12 chars, last pair") << "txtTag" << "ABCDEFGHIJKL" << 40032 << ('K' + 256 * 'L');
}

void TestConfigParameterMap::downloadEncodings()
{
    QFETCH(QString, control);
    QFETCH(QString, text);
    QFETCH(int, reference);
    QFETCH(int, value);
    FormValues form = goodForm();
    form.insert(control, text);
    const QList<RegisterWrite> writes = DownloadWrites(form);
    QCOMPARE(writes.size(), ConfigurationBlockSize);
    QCOMPARE(writes.at(reference - ConfigurationBlockStart).reference, reference);
    QCOMPARE(writes.at(reference - ConfigurationBlockStart).value, value);
}

void TestConfigParameterMap::uploadShowsWhatDownloadWrote()
{
    FormValues form = goodForm();
    form.insert("txtTag", "VALVE 12 EAS");
    const QList<int> block = blockOf(DownloadWrites(form));
    for (const Parameter& p : ParameterMap())
        QCOMPARE(UploadedText(p, block).value_or("<unchanged>"), form.value(p.control));
}

QTEST_GUILESS_MAIN(TestConfigParameterMap)
#include "test_config_parameter_map.moc"
