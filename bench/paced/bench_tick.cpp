// One polling tick of the tool's monitor window, at 9600 baud on a paced line
// (PacedLine, 11 bits a character) against the actuator simulator: the tick's wall
// time against the wire time of the frames it exchanged plus the pause the tool
// takes after every read attempt (the connection window's delay, 0.06 s).
//
//   bench_tick [--ticks N]      (default 5 measured ticks, after one to warm up)
//
// The tick is the window's own (FrmKXgroup::PollTick), on the tool's one component
// instance, driven directly instead of by its 3.5 s timer. Figures are printed, not
// judged: the relay's timestamps split the time beyond wire and pauses into the
// simulator's turnarounds, the relay's own lateness, and the tool's remainder.
#include "ActuatorSimulator.h"
#include "PaceTotals.h"
#include "PacedLine.h"
#include "PrivateHome.h"
#include "Statistics.h"
#include "ThreadCounters.h"
#include "link/ConnectionWindow.h"
#include "main/DialogService.h"
#include "main/ToolWindows.h"
#include "monitor/MonitorWindow.h"
#include "monitor/StatusMap.h"
#include "shell/Buslink.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTimer>

#include <cstdio>
#include <numeric>
#include <vector>

using namespace kestrel2;

namespace {

constexpr int Baud = 9600;
constexpr double BitsPerCharacter = 11;

// The reads of one tick, in its order (MonitorWindow.cpp, runTick), with the bytes
// of request and reply: a request is always 8 bytes; a reply is unit, function,
// byte count, the data and 2 CRC bytes.
struct TickRead {
    const char* what;
    int reference;
    int count;
    int replyBytes;
};
const TickRead TickReads[] = {
    {"status inputs", StatusFirstInput, StatusReadCount, 5 + (StatusReadCount + 7) / 8},
    {"alarm inputs", AlarmFirstInput, AlarmCount, 5 + (AlarmCount + 7) / 8},
    {"valve position", ValvePositionRegister, 1, 5 + 2},
    {"torque", TorqueRegister, 1, 5 + 2},
    {"analog input", AnalogInputRegister, 1, 5 + 2},
    {"relays", RelayFirstCoil, RelayCount, 5 + (RelayCount + 7) / 8},
};

struct Tick {
    double wallMs = 0;
    qint64 requests = 0;    // request frames the tick sent (one per read attempt)
    qint64 characters = 0;  // bytes carried both ways
    double wireMs = 0;
    double pausesMs = 0;
    double slaveMs = 0;     // the simulator's turnarounds, summed
    double relayMs = 0;     // what the relay added to the frames' ends, summed
    double cpuMs = 0;
    qint64 wakes = 0;
    int failedReads = 0;    // prompts the tick raised (a read that failed three times)
    double sumMs() const { return wireMs + pausesMs; }
    double toolMs() const { return wallMs - sumMs() - slaveMs - relayMs; }
};

int number(const QStringList& args, const QString& name, int fallback)
{
    const int at = int(args.indexOf(name));
    if (at < 0 || at + 1 >= args.size()) return fallback;
    bool ok = false;
    const int value = args.at(at + 1).toInt(&ok);
    return ok && value > 0 ? value : fallback;
}

// Lets events run for a while (window activation arrives through them).
void settle(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 10);
}

Tick measureTick(PacedLine& line, PaceTotals& totals, FrmKXgroup& monitor, double delaySeconds)
{
    DialogService& dialogs = DialogService::instance();
    const qsizetype promptsBefore = dialogs.messages().size();
    totals.add(line.take());
    const Counters before = CountersOfThisThread();
    const qint64 start = MonotonicNs();
    monitor.PollTick();
    const qint64 wallNs = MonotonicNs() - start;
    const Counters after = CountersOfThisThread();
    const PacedLine::Report report = line.take();
    totals.add(report);

    Tick t;
    t.wallMs = double(wallNs) / 1e6;
    t.requests = report.pace[PacedLine::ToSlave].frames;
    t.characters = report.pace[PacedLine::ToSlave].bytes + report.pace[PacedLine::ToClient].bytes;
    t.wireMs = double(t.characters) * line.characterTimeUs() / 1000.0;
    t.pausesMs = double(t.requests) * delaySeconds * 1000.0;
    const std::vector<double>& slaveTurns = report.turnaroundUs[PacedLine::ToClient];
    t.slaveMs = std::accumulate(slaveTurns.begin(), slaveTurns.end(), 0.0) / 1000.0;
    t.relayMs = (report.pace[0].endLateSumUs + report.pace[1].endLateSumUs) / 1000.0;
    t.cpuMs = double(after.cpuNs - before.cpuNs) / 1e6;
    t.wakes = after.wakes - before.wakes;
    t.failedReads = int(dialogs.messages().size() - promptsBefore);
    return t;
}

void printTick(const char* name, const Tick& t)
{
    std::printf("%-8s %8.1f %5lld %6lld %8.1f %9.1f %8.1f %8.1f %% %8.2f %8.2f %8.2f %7.2f %6lld %6d\n", name, t.wallMs,
                static_cast<long long>(t.requests), static_cast<long long>(t.characters), t.wireMs, t.pausesMs,
                t.sumMs(), t.sumMs() > 0 ? 100.0 * t.wallMs / t.sumMs() : 0.0, t.slaveMs, t.relayMs, t.toolMs(),
                t.cpuMs, static_cast<long long>(t.wakes), t.failedReads);
}

} // namespace

int main(int argc, char** argv)
{
    PrivateHome home;
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.contains(QStringLiteral("--help"))) {
        std::printf("usage: bench_tick [--ticks N]\n");
        return 0;
    }
    const int ticks = number(args, QStringLiteral("--ticks"), 5);

    PacedLine line(Baud, BitsPerCharacter);
    if (!line.isValid()) {
        std::fprintf(stderr, "cannot make the pseudo-terminals of the paced line\n");
        return 1;
    }
    line.resetDeviceSettings();
    ActuatorSimulator sim;
    if (!sim.start({"--port", line.slaveDevice(), "--settings", QStringLiteral("%1,e,8,1").arg(Baud)})) {
        std::fprintf(stderr, "%s\n", qPrintable(sim.errorText()));
        return 1;
    }

    // The tool as the connection window leaves it after OK: the component on the
    // line, the actuator's address, the window's retry count and delay.
    buslink::Buslink& component = Buslink1();
    component.setDevicePath(line.clientDevice());
    component.setSettings(QStringLiteral("%1,e,8,1").arg(Baud));
    component.setAddress(1);
    component.setPortOpen(true);
    component.setEnabled(true);
    ConnectionWindow().txtaddress()->setText(QStringLiteral("1"));
    const double delaySeconds = ConnectionWindow().txtDelayTime()->text().toDouble();

    // A read that fails three times asks whether to retry: No, and the tick ends there.
    DialogService& dialogs = DialogService::instance();
    dialogs.setScripted(true);
    dialogs.responder = [](const MessageRecord& m) {
        return m.buttons == DialogButtons::YesNo ? DialogAnswer::No : DialogAnswer::Ok;
    };

    FrmKXgroup& monitor = ShowMonitorWindow();
    settle(200);
    if (!monitor.isPolling()) monitor.ActivateWindow();
    settle(100);
    if (!monitor.isPolling()) {
        std::fprintf(stderr, "the monitor window did not start polling (the tag name could not be read)\n");
        return 1;
    }
    monitor.Timer1().stop();  // the ticks are driven here, back to back

    PaceTotals totals;
    measureTick(line, totals, monitor, delaySeconds);  // warm-up
    totals = PaceTotals();
    std::vector<Tick> measured;
    for (int i = 0; i < ticks; ++i) measured.push_back(measureTick(line, totals, monitor, delaySeconds));

    const double c = line.characterTimeUs();
    int expectedCharacters = 0;
    std::printf("One monitor tick at %d baud, %.0f bits a character (%.1f us), against actuator-sim on a paced line\n",
                Baud, BitsPerCharacter, c);
    std::printf("the tick's reads, in order, each followed by a pause of %.3f s (the connection window's delay):\n",
                delaySeconds);
    for (const TickRead& r : TickReads) {
        expectedCharacters += 8 + r.replyBytes;
        std::printf("  %-15s %6d x %-2d  8-byte request, %d-byte reply: %5.2f ms on the wire\n", r.what, r.reference,
                    r.count, r.replyBytes, (8 + r.replyBytes) * c / 1000.0);
    }
    const int reads = int(sizeof TickReads / sizeof TickReads[0]);
    std::printf("  expected: %d requests, %d characters = %.2f ms on the wire + %d pauses = %.2f ms; with the "
                "3.5-character silence before each reply %.2f ms\n",
                reads, expectedCharacters, expectedCharacters * c / 1000.0, reads,
                expectedCharacters * c / 1000.0 + reads * delaySeconds * 1000.0,
                expectedCharacters * c / 1000.0 + reads * delaySeconds * 1000.0 + reads * 3.5 * c / 1000.0);
    totals.print(line);
    std::printf("columns: frames and characters as the relay carried them; sum = wire + pauses; beyond the sum: the "
                "simulator's turnarounds, the relay's lateness at frame ends, and the rest (the tool and the "
                "component); CPU and wakes of the tool's thread\n");
    std::printf("%-8s %8s %5s %6s %8s %9s %8s %10s %8s %8s %8s %7s %6s %6s\n", "tick", "wall ms", "reqs", "chars",
                "wire ms", "pauses ms", "sum ms", "wall/sum", "slave ms", "relay ms", "tool ms", "CPU ms", "wakes",
                "failed");
    int failed = 0;
    for (size_t i = 0; i < measured.size(); ++i) {
        printTick(QByteArray::number(qulonglong(i + 1)).constData(), measured[i]);
        failed += measured[i].failedReads;
    }
    const auto medianOf = [&](double Tick::*field) {
        std::vector<double> v;
        for (const Tick& t : measured) v.push_back(t.*field);
        return Median(v);
    };
    Tick median;
    median.wallMs = medianOf(&Tick::wallMs);
    median.wireMs = medianOf(&Tick::wireMs);
    median.pausesMs = medianOf(&Tick::pausesMs);
    median.slaveMs = medianOf(&Tick::slaveMs);
    median.relayMs = medianOf(&Tick::relayMs);
    median.cpuMs = medianOf(&Tick::cpuMs);
    std::vector<double> requests, characters, wakes;
    for (const Tick& t : measured) {
        requests.push_back(double(t.requests));
        characters.push_back(double(t.characters));
        wakes.push_back(double(t.wakes));
    }
    median.requests = qint64(Median(requests));
    median.characters = qint64(Median(characters));
    median.wakes = qint64(Median(wakes));
    median.failedReads = failed;
    printTick("median", median);

    CloseToolWindows();
    CloseConnectionWindow();
    sim.stop();
    return failed > 0 ? 2 : 0;
}
