// The simulator's core without a line: references, settings, request framing, the
// actuator model, the fault plan and the simulator's frame handling, from tables.
#include "ActuatorModel.h"
#include "FaultPlan.h"
#include "RtuFraming.h"
#include "SimOptions.h"
#include "Simulator.h"

#include <QTest>

#include <functional>

using namespace actuatorsim;

using Bytes = std::vector<std::uint8_t>;
using Values = std::vector<int>;
using Scenario = std::function<void(ActuatorModel&)>;
Q_DECLARE_METATYPE(Values)
Q_DECLARE_METATYPE(Scenario)
Q_DECLARE_METATYPE(std::vector<Bytes>)

namespace {
Bytes hex(const char* text)
{
    const QByteArray bytes = QByteArray::fromHex(text);
    return Bytes(bytes.begin(), bytes.end());
}

Bytes withCrc(const char* text)
{
    Bytes frame = hex(text);
    const std::uint16_t crc = crc16(frame.data(), frame.size());
    frame.push_back(std::uint8_t(crc & 0xFF));
    frame.push_back(std::uint8_t(crc >> 8));
    return frame;
}

Bytes concat(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

Request coilWrite(int coil, bool on) { return Request{1, 5, Table::Coil, coil, 1, true, {std::uint16_t(on ? 1 : 0)}}; }
Request registerWrite(int offset, int value)
{
    return Request{1, 6, Table::HoldingRegister, offset, 1, true, {std::uint16_t(value)}};
}

ModelOptions fastModel(int positionTenths = 0)
{
    ModelOptions options;
    options.strokeSeconds = 2.0;
    options.positionTenths = positionTenths;
    return options;
}

Values profile(const ActuatorModel& model, int first)
{
    Values values;
    for (int k = 0; k <= 10; ++k) values.push_back(model.value(Table::HoldingRegister, first + k));
    return values;
}

void runUntilStopped(ActuatorModel& model, double stepMs)
{
    for (int i = 0; i < 100000 && model.isMoving(); ++i) model.advance(stepMs);
}
}  // namespace

class SimCoreTest : public QObject {
    Q_OBJECT

private slots:
    void references_data();
    void references();
    void lineSettings_data();
    void lineSettings();
    void registerCodesRoundTrip();
    void framer_data();
    void framer();
    void requestChecks_data();
    void requestChecks();
    void fullStrokeProfileIsIndependentOfStep_data();
    void fullStrokeProfileIsIndependentOfStep();
    void partStrokeLeavesUnpassedMarksAtZero();
    void commandEffects_data();
    void commandEffects();
    void powerCycleAppliesPendingSettings();
    void communicationLossTimer();
    void exceptionRules_data();
    void exceptionRules();
    void faultPlanIsDeterministic();
    void silencePlan();
    void simulatorReplies_data();
    void simulatorReplies();
    void consoleCommands_data();
    void consoleCommands();
};

void SimCoreTest::references_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("table");
    QTest::addColumn<int>("offset");
    QTest::newRow("coil 5") << "5" << true << int(Table::Coil) << 4;
    QTest::newRow("coil 000005") << "000005" << true << int(Table::Coil) << 4;
    QTest::newRow("10001") << "10001" << true << int(Table::DiscreteInput) << 0;
    QTest::newRow("100024") << "100024" << true << int(Table::DiscreteInput) << 23;
    QTest::newRow("30004") << "30004" << true << int(Table::InputRegister) << 3;
    QTest::newRow("40026") << "40026" << true << int(Table::HoldingRegister) << 25;
    QTest::newRow("400026") << "400026" << true << int(Table::HoldingRegister) << 25;
    QTest::newRow("400057") << "400057" << true << int(Table::HoldingRegister) << 56;
    QTest::newRow("0") << "0" << false << 0 << 0;
    QTest::newRow("40000") << "40000" << false << 0 << 0;
    QTest::newRow("400000") << "400000" << false << 0 << 0;
    QTest::newRow("20001") << "20001" << false << 0 << 0;
    QTest::newRow("seven digits") << "4000001" << false << 0 << 0;
    QTest::newRow("sign") << "-5" << false << 0 << 0;
    QTest::newRow("text") << "coil" << false << 0 << 0;
}

void SimCoreTest::references()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(int, table);
    QFETCH(int, offset);
    const auto reference = parseReference(text.toStdString());
    QCOMPARE(reference.has_value(), valid);
    if (!valid) return;
    QCOMPARE(int(reference->table), table);
    QCOMPARE(reference->offset, offset);
    QCOMPARE(parseReference(sixDigit(*reference)), reference);
}

void SimCoreTest::lineSettings_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("normalised");  // empty: refused
    QTest::newRow("9600,e,8,1") << "9600,e,8,1" << "9600,e,8,1";
    QTest::newRow("upper-case parity") << "115200,N,8,2" << "115200,n,8,2";
    QTest::newRow("blanks") << " 300 , o , 8 , 1 " << "300,o,8,1";
    QTest::newRow("7 data bits") << "9600,e,7,1" << "";
    QTest::newRow("baud not in the list") << "9601,e,8,1" << "";
    QTest::newRow("3 stop bits") << "9600,e,8,3" << "";
    QTest::newRow("mark parity") << "9600,m,8,1" << "";
    QTest::newRow("three fields") << "9600,e,8" << "";
    QTest::newRow("empty") << "" << "";
}

void SimCoreTest::lineSettings()
{
    QFETCH(QString, text);
    QFETCH(QString, normalised);
    const auto settings = parseLineSettings(text.toStdString());
    QCOMPARE(settings.has_value(), !normalised.isEmpty());
    if (settings) QCOMPARE(QString::fromStdString(settings->text()), normalised);
}

void SimCoreTest::registerCodesRoundTrip()
{
    const int rates[] = {300, 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};
    for (int i = 0; i < 10; ++i) {
        QCOMPARE(baudCode(rates[i]), i + 1);
        QCOMPARE(*baudFromCode(i + 1), rates[i]);
    }
    QCOMPARE(baudCode(1234), 0);
    QVERIFY(!baudFromCode(0));
    const char* expected[] = {"9600,n,8,1", "9600,n,8,2", "9600,e,8,1", "9600,e,8,2", "9600,o,8,1", "9600,o,8,2"};
    for (int code = 0; code < 6; ++code) {
        LineSettings s;
        QVERIFY(applyParityStopCode(code, s));
        QCOMPARE(QString::fromStdString(s.text()), QString(expected[code]));
        QCOMPARE(parityStopCode(s.parity, s.stopBits), code);
    }
    LineSettings s;
    QVERIFY(!applyParityStopCode(6, s));
}

void SimCoreTest::framer_data()
{
    QTest::addColumn<std::vector<Bytes>>("chunks");  // fed 1 ms apart
    QTest::addColumn<int>("framesBeforeGap");
    QTest::addColumn<int>("framesAfterGap");
    QTest::addColumn<int>("discarded");
    const Bytes read = withCrc("010300050001");
    const Bytes write16 = withCrc("011000060002040001000A");
    QTest::newRow("one request") << std::vector<Bytes>{read} << 1 << 0 << 0;
    QTest::newRow("two in one chunk") << std::vector<Bytes>{concat({read, write16})} << 2 << 0 << 0;
    QTest::newRow("split") << std::vector<Bytes>{Bytes(read.begin(), read.begin() + 5), Bytes(read.begin() + 5, read.end())}
                           << 1 << 0 << 0;
    QTest::newRow("garbage in front") << std::vector<Bytes>{concat({hex("FF0103"), read})} << 1 << 0 << 3;
    Bytes bad = read;
    bad[7] ^= 0x40;
    // Sliding past the bad bytes meets an unknown function code; the good frame is found once the line is quiet.
    QTest::newRow("bad CRC then good") << std::vector<Bytes>{bad, read} << 0 << 1 << 8;
    QTest::newRow("bad CRC alone") << std::vector<Bytes>{bad} << 0 << 0 << 8;
    QTest::newRow("cut short") << std::vector<Bytes>{Bytes(read.begin(), read.begin() + 6)} << 0 << 0 << 6;
    QTest::newRow("unknown function, taken at the gap") << std::vector<Bytes>{withCrc("0141")} << 0 << 1 << 0;
    QTest::newRow("unknown function junk") << std::vector<Bytes>{hex("0141FFFF")} << 0 << 0 << 4;
}

void SimCoreTest::framer()
{
    QFETCH(std::vector<Bytes>, chunks);
    QFETCH(int, framesBeforeGap);
    QFETCH(int, framesAfterGap);
    QFETCH(int, discarded);
    RtuFramer framer(20);
    std::int64_t now = 1000;
    int before = 0;
    for (const auto& chunk : chunks) before += int(framer.feed(chunk.data(), chunk.size(), now++).size());
    QCOMPARE(before, framesBeforeGap);
    QCOMPARE(int(framer.expire(now + 5).size()), 0);  // not quiet long enough yet
    const auto after = framer.expire(now + 25);
    QCOMPARE(int(after.size()), framesAfterGap);
    for (const auto& frame : after) QVERIFY(hasValidCrc(frame.data(), frame.size()));
    QCOMPARE(framer.discardedBytes(), long(discarded));
    QVERIFY(!framer.hasPending());
}

void SimCoreTest::requestChecks_data()
{
    QTest::addColumn<Bytes>("frame");
    QTest::addColumn<int>("check");
    QTest::addColumn<int>("table");
    QTest::addColumn<int>("offset");
    QTest::addColumn<Values>("values");
    QTest::newRow("read 25 holding") << withCrc("010300070019") << int(RequestCheck::Ok) << int(Table::HoldingRegister) << 7 << Values{};
    QTest::newRow("read 125") << withCrc("01030000007D") << int(RequestCheck::Ok) << int(Table::HoldingRegister) << 0 << Values{};
    QTest::newRow("read 126") << withCrc("01030000007E") << int(RequestCheck::IllegalValue) << 0 << 0 << Values{};
    QTest::newRow("read 0 coils") << withCrc("010100000000") << int(RequestCheck::IllegalValue) << 0 << 0 << Values{};
    QTest::newRow("coil on") << withCrc("01050004FF00") << int(RequestCheck::Ok) << int(Table::Coil) << 4 << Values{1};
    QTest::newRow("coil 1234") << withCrc("010500041234") << int(RequestCheck::IllegalValue) << 0 << 0 << Values{};
    QTest::newRow("write 400 to 40007") << withCrc("010600060190") << int(RequestCheck::Ok) << int(Table::HoldingRegister) << 6
                                        << Values{400};
    QTest::newRow("write two") << withCrc("011000060002040001000A") << int(RequestCheck::Ok) << int(Table::HoldingRegister) << 6
                               << Values{1, 10};
    QTest::newRow("byte count wrong") << withCrc("011000060002030001000A") << int(RequestCheck::IllegalValue) << 0 << 0
                                      << Values{};
    QTest::newRow("coils 5 to 8") << withCrc("010F000400040105") << int(RequestCheck::Ok) << int(Table::Coil) << 4
                                  << Values{1, 0, 1, 0};
    QTest::newRow("function 43") << withCrc("012B0E010000") << int(RequestCheck::IllegalFunction) << 0 << 0 << Values{};
}

void SimCoreTest::requestChecks()
{
    QFETCH(Bytes, frame);
    QFETCH(int, check);
    QFETCH(int, table);
    QFETCH(int, offset);
    QFETCH(Values, values);
    const ParsedRequest parsed = parseRequest(frame);
    QCOMPARE(int(parsed.check), check);
    if (parsed.check != RequestCheck::Ok) return;
    QCOMPARE(int(parsed.request.table), table);
    QCOMPARE(parsed.request.offset, offset);
    QCOMPARE(Values(parsed.request.values.begin(), parsed.request.values.end()), values);
}

void SimCoreTest::fullStrokeProfileIsIndependentOfStep_data()
{
    QTest::addColumn<double>("stepMs");
    QTest::newRow("1 ms") << 1.0;
    QTest::newRow("7 ms") << 7.0;
    QTest::newRow("20 ms") << 20.0;
    QTest::newRow("333 ms") << 333.0;
    QTest::newRow("whole stroke at once") << 5000.0;
}

void SimCoreTest::fullStrokeProfileIsIndependentOfStep()
{
    QFETCH(double, stepMs);
    ActuatorModel model(fastModel());
    QCOMPARE(model.serve(coilWrite(2, true)), 0);
    runUntilStopped(model, stepMs);
    QCOMPARE(model.positionTenths(), 1000);
    QCOMPARE(profile(model, reg::OpenProfile), (Values{55, 21, 21, 22, 22, 23, 23, 24, 24, 25, 50}));
    QCOMPARE(model.serve(coilWrite(1, true)), 0);
    runUntilStopped(model, stepMs);
    QCOMPARE(model.positionTenths(), 0);
    QCOMPARE(profile(model, reg::ClosedProfile), (Values{70, 30, 29, 29, 28, 28, 27, 27, 26, 26, 60}));
    QCOMPARE(model.value(Table::HoldingRegister, reg::ClosedOperations), std::uint16_t(1));
    QCOMPARE(model.value(Table::HoldingRegister, reg::OpenOperations), std::uint16_t(1));
}

void SimCoreTest::partStrokeLeavesUnpassedMarksAtZero()
{
    ActuatorModel model(fastModel(300));
    QCOMPARE(model.serve(coilWrite(2, true)), 0);
    runUntilStopped(model, 20);
    const Values open = profile(model, reg::OpenProfile);
    QCOMPARE(Values(open.begin(), open.begin() + 3), (Values{0, 0, 0}));
    QVERIFY(open[3] > open[4]);  // break-out where the stroke began
    // A stroke stopped short keeps the last full profile.
    QCOMPARE(model.serve(registerWrite(reg::SetPoint, 500)), 0);
    runUntilStopped(model, 20);
    QCOMPARE(model.positionTenths(), 500);
    QCOMPARE(profile(model, reg::ClosedProfile), Values(11, 0));
    QCOMPARE(model.value(Table::HoldingRegister, reg::ClosedOperations), std::uint16_t(1));
}

void SimCoreTest::commandEffects_data()
{
    QTest::addColumn<int>("start");
    QTest::addColumn<Scenario>("scenario");
    QTest::addColumn<int>("motion");
    auto coil = [](int c) { return [c](ActuatorModel& m) { m.serve(coilWrite(c, true)); }; };
    auto alarm = [](int a) { return [a](ActuatorModel& m) { m.setAlarm(a, true); }; };
    auto both = [](Scenario a, Scenario b) { return Scenario([a, b](ActuatorModel& m) { a(m); b(m); }); };
    auto run = [](ActuatorModel& m) { m.advance(100); };
    const int stopped = int(Motion::Stopped), opening = int(Motion::Opening), closing = int(Motion::Closing);
    QTest::newRow("open") << 0 << Scenario(coil(2)) << opening;
    QTest::newRow("open when open") << 1000 << Scenario(coil(2)) << stopped;
    QTest::newRow("stop coil") << 0 << both(coil(2), coil(0)) << stopped;
    QTest::newRow("reverse") << 500 << both(coil(2), coil(1)) << closing;
    QTest::newRow("open interlock blocks open") << 500 << both(alarm(OpenInterlock), coil(2)) << stopped;
    QTest::newRow("open interlock lets close") << 500 << both(alarm(OpenInterlock), coil(1)) << closing;
    QTest::newRow("open interlock stops opening") << 500 << both(coil(2), alarm(OpenInterlock)) << stopped;
    QTest::newRow("ESD overrides closed interlock") << 500 << both(alarm(ClosedInterlock), coil(3)) << closing;
    QTest::newRow("thermostat blocks") << 0 << both(alarm(Thermostat), coil(2)) << stopped;
    QTest::newRow("thermostat stops a run") << 0 << both(both(coil(2), run), alarm(Thermostat)) << stopped;
    QTest::newRow("selector to stop stops") << 0
        << both(coil(2), [](ActuatorModel& m) { m.setSelector(Selector::Stop); }) << stopped;
    QTest::newRow("ESD in stop position") << 500
        << both([](ActuatorModel& m) { m.setSelector(Selector::Stop); }, coil(3)) << stopped;
    QTest::newRow("digital input 4 as ESD") << 500 << Scenario(alarm(DigitalInput4)) << closing;
    QTest::newRow("digital input 4 as network control") << 500
        << both([](ActuatorModel& m) { m.serve(registerWrite(reg::DigitalInput4Action, 1)); }, alarm(DigitalInput4))
        << stopped;
    QTest::newRow("local push button in remote") << 0
        << Scenario([](ActuatorModel& m) { m.localCommand(Motion::Opening); }) << stopped;
    QTest::newRow("local push button in local") << 0
        << Scenario([](ActuatorModel& m) { m.setSelector(Selector::Local); m.localCommand(Motion::Opening); })
        << opening;
    QTest::newRow("set-point in local") << 0
        << Scenario([](ActuatorModel& m) { m.setSelector(Selector::Local); m.serve(registerWrite(reg::SetPoint, 600)); })
        << stopped;
}

void SimCoreTest::commandEffects()
{
    QFETCH(int, start);
    QFETCH(Scenario, scenario);
    QFETCH(int, motion);
    ActuatorModel model(fastModel(start));
    scenario(model);
    QCOMPARE(int(model.currentMotion()), motion);
}

void SimCoreTest::powerCycleAppliesPendingSettings()
{
    ModelOptions options = fastModel();
    options.arrangement = Arrangement::Mk1;
    ActuatorModel model(options);
    QCOMPARE(model.serve(coilWrite(5, true)), 0);
    QCOMPARE(model.serve(coilWrite(2, true)), 0);
    QCOMPARE(model.serve(registerWrite(reg::FormatRequest, 1)), 0);
    QCOMPARE(model.serve(registerWrite(reg::Address, 17)), 0);
    QCOMPARE(model.serve(registerWrite(reg::BaudRate, 10)), 0);
    QCOMPARE(model.serve(registerWrite(reg::ParityStop, 5)), 0);
    QCOMPARE(model.currentUnit(), 1);

    const PowerCycleResult after = model.powerCycle();
    QCOMPARE(int(after.arrangement), int(Arrangement::Mk2));
    QCOMPARE(model.currentUnit(), 17);
    QCOMPARE(QString::fromStdString(model.currentSettings().text()), QString("115200,o,8,2"));
    QCOMPARE(model.value(Table::HoldingRegister, reg::DataBase), std::uint16_t(1));
    QCOMPARE(model.value(Table::Coil, 5), std::uint16_t(0));  // relays drop out
    QVERIFY(!model.isMoving());
    QCOMPARE(model.value(Table::HoldingRegister, reg::SetPoint), std::uint16_t(model.positionTenths()));

    // Values that name no setting leave the running one alone.
    QVERIFY(model.setRaw(Reference{Table::HoldingRegister, reg::BaudRate}, 0));
    QVERIFY(model.setRaw(Reference{Table::HoldingRegister, reg::Address}, 0));
    model.powerCycle();
    QCOMPARE(model.currentUnit(), 17);
    QCOMPARE(model.currentSettings().baud, 115200);
}

void SimCoreTest::communicationLossTimer()
{
    ActuatorModel model(fastModel());
    QCOMPARE(model.serve(registerWrite(reg::CommsLossAction, 7)), 0);  // go to position
    QCOMPARE(model.serve(registerWrite(reg::CommsLossPosition, 40)), 0);
    QCOMPARE(model.serve(registerWrite(reg::CommsLossTimer, 2)), 0);
    QCOMPARE(model.msUntilNextEvent(), 2000);
    model.advance(1500);
    model.noteRequest();  // a request restarts the timer
    model.advance(1999);
    QVERIFY(!model.isMoving());
    model.advance(1);
    QCOMPARE(model.currentMotion(), Motion::Opening);
    runUntilStopped(model, 20);
    QCOMPARE(model.positionTenths(), 400);
    QCOMPARE(model.msUntilNextEvent(), -1);  // acted once; waits for the next request
}

void SimCoreTest::exceptionRules_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("described");  // empty: refused
    QTest::newRow("single, default code") << "400015" << "400015:4";
    QTest::newRow("five-digit range") << "40008-40032:2" << "400008-400032:2";
    QTest::newRow("coil") << "3:6" << "000003:6";
    QTest::newRow("inputs code 11") << "10009-10024:11" << "100009-100024:11";
    QTest::newRow("code 0") << "400015:0" << "";
    QTest::newRow("code 12") << "400015:12" << "";
    QTest::newRow("backwards") << "400020-400010" << "";
    QTest::newRow("across tables") << "1-40001" << "";
    QTest::newRow("not a reference") << "x" << "";
}

void SimCoreTest::exceptionRules()
{
    QFETCH(QString, text);
    QFETCH(QString, described);
    const auto rule = parseExceptionRule(text.toStdString());
    QCOMPARE(rule.has_value(), !described.isEmpty());
    if (rule) QCOMPARE(QString::fromStdString(describe(*rule)), described);
}

void SimCoreTest::faultPlanIsDeterministic()
{
    auto fates = [](std::uint32_t seed, double drop, double corrupt) {
        FaultPlan plan(seed);
        plan.dropFraction = drop;
        plan.corruptFraction = corrupt;
        QString marks;
        for (int i = 0; i < 64; ++i) {
            const ReplyFate f = plan.nextReply();
            marks += f.drop ? (f.corrupt ? 'B' : 'D') : (f.corrupt ? 'C' : '.');
        }
        return marks;
    };
    const QString a = fates(42, 0.3, 0.3);
    QCOMPARE(fates(42, 0.3, 0.3), a);
    QVERIFY(fates(43, 0.3, 0.3) != a);
    QVERIFY(a.contains('D') && a.contains('C') && a.contains('.'));
    QCOMPARE(fates(42, 0, 0), QString(64, '.'));
    QCOMPARE(fates(42, 1, 0), QString(64, 'D'));
    // Enabling corruption does not change which replies are dropped.
    const QString dropOnly = fates(42, 0.3, 0);
    for (int i = 0; i < 64; ++i) QCOMPARE(dropOnly[i] == 'D', a[i] == 'D' || a[i] == 'B');
}

void SimCoreTest::silencePlan()
{
    FaultPlan plan;
    plan.silenceAfter(2, 100);
    QVERIFY(!plan.isSilent(0));
    plan.noteAnswered(0);
    QVERIFY(!plan.isSilent(10));
    plan.noteAnswered(10);
    QVERIFY(plan.isSilent(11));
    QCOMPARE(*plan.silenceEnd(), std::int64_t(110));
    QVERIFY(plan.isSilent(109));
    QVERIFY(!plan.isSilent(110));
    plan.silenceNow(200, 0);  // until resume
    QVERIFY(plan.isSilent(100000));
    plan.resume();
    QVERIFY(!plan.isSilent(100001));
}

void SimCoreTest::simulatorReplies_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<Bytes>("request");
    QTest::addColumn<Bytes>("reply");  // empty: none
    QTest::newRow("presence") << QStringList{} << withCrc("010300050001") << withCrc("0103020001");
    QTest::newRow("format probe in MK 1") << QStringList{"--format", "mk1"} << withCrc("010300190001") << withCrc("018302");
    QTest::newRow("injected exception") << QStringList{"--exception", "400006:6"} << withCrc("010300050001") << withCrc("018306");
    QTest::newRow("illegal function") << QStringList{} << withCrc("0107") << withCrc("018701");
    QTest::newRow("illegal value") << QStringList{} << withCrc("01030000007E") << withCrc("018303");
    QTest::newRow("other unit") << QStringList{} << withCrc("020300050001") << Bytes{};
    QTest::newRow("broadcast write") << QStringList{} << withCrc("00050004FF00") << Bytes{};
    QTest::newRow("coil echo") << QStringList{} << withCrc("01050004FF00") << withCrc("01050004FF00");
    QTest::newRow("dropped") << QStringList{"--drop", "1"} << withCrc("010300050001") << Bytes{};
    Bytes corrupted = withCrc("0103020001");
    corrupted[5] ^= 0xFF;
    corrupted[6] ^= 0xFF;
    QTest::newRow("corrupted") << QStringList{"--corrupt", "1"} << withCrc("010300050001") << corrupted;
}

void SimCoreTest::simulatorReplies()
{
    QFETCH(QStringList, args);
    QFETCH(Bytes, request);
    QFETCH(Bytes, reply);
    std::vector<std::string> words;
    for (const QString& a : args) words.push_back(a.toStdString());
    const OptionsResult options = parseOptions(words);
    QVERIFY(options.error.empty());
    Simulator sim(options.options);
    QVERIFY(sim.isValid());
    const auto out = sim.handleFrame(request, 1000);
    if (reply.empty()) {
        QVERIFY(out.empty());
    } else {
        QCOMPARE(out.size(), std::size_t(1));
        QCOMPARE(out[0].bytes, reply);
        QCOMPARE(out[0].dueMs, std::int64_t(1000));
    }
    if (request[0] == 0) QCOMPARE(sim.model().value(Table::Coil, 4), std::uint16_t(1));  // broadcast applied
}

void SimCoreTest::consoleCommands_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("reply");  // the first line of the output
    QTest::newRow("selector") << "selector local" << "OK selector local";
    QTest::newRow("bad selector") << "selector middle" << "ERROR usage: selector remote|local|stop";
    QTest::newRow("alarm by reference") << "alarm 10024 on" << "OK alarm slow-mode on";
    QTest::newRow("alarm bad state") << "alarm thermostat maybe" << "ERROR usage: alarm NAME|REF on|off (see help)";
    QTest::newRow("local open in remote") << "open" << "ERROR open refused: selector not in local";
    QTest::newRow("analog") << "analog 12.34" << "OK analog 123";
    QTest::newRow("analog too big") << "analog 101" << "ERROR usage: analog PERCENT (0 to 100)";
    QTest::newRow("set a count") << "set 400057 65535" << "OK set 400057 65535";
    QTest::newRow("set an input") << "set 10001 1" << "ERROR usage: set REF VALUE (a coil 1 to 8 or a holding register 40001 to 40060)";
    QTest::newRow("drop") << "drop 0.25" << "OK drop 0.25";
    QTest::newRow("drop negative") << "drop -1" << "ERROR usage: drop FRACTION (0 to 1)";
    QTest::newRow("delay") << "delay 50" << "OK delay 50";
    QTest::newRow("silent for") << "silent 500" << "OK silent 500";
    QTest::newRow("power cycle") << "power-cycle" << "OK power-cycle format mk2 unit 1 settings 9600,e,8,1";
    QTest::newRow("unknown") << "fly" << "ERROR unknown command 'fly' (try help)";
}

void SimCoreTest::consoleCommands()
{
    QFETCH(QString, line);
    QFETCH(QString, reply);
    Simulator sim(SimOptions{});
    const ConsoleResult result = sim.execute(line.toStdString(), 0);
    const QString output = QString::fromStdString(result.output);
    QCOMPARE(output.section('\n', 0, 0), reply);
    QVERIFY(output.endsWith('\n'));
}

QTEST_GUILESS_MAIN(SimCoreTest)
#include "SimCoreTest.moc"
