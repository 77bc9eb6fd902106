// The component on a line that runs at its baud rate (PacedLine: each byte one
// character time after the previous, 11 bits a character), at 9600 and 115200
// baud, against libmodbus measured in the same run on the same line:
//
// 1. Master: 25-register reads, the component's ReadPLC against libmodbus's
//    modbus_read_registers, both against the same libmodbus slave (a child process).
//    Per read: wall time against the wire time of request and reply, CPU time and
//    wake-ups of the reading thread; the ratios to libmodbus.
// 2. Slave: a libmodbus master (its own thread) reads 25 registers in a loop from
//    the component in slave mode and from libmodbus's own slave (a child process).
//    Per request: the slave's turnaround (last request byte to first reply byte, from
//    the relay's timestamps) beside the RTU silence, CPU time and wake-ups of the
//    serving thread.
//
//   bench_paced [--reads-9600 N] [--reads-115200 N] [--rounds R] [--part master|slave]
//
// Defaults: 40 reads (or requests) per client at 9600, 200 at 115200, in 4 rounds
// that alternate the clients; medians of the rounds are printed.
#include "PaceTotals.h"
#include "PacedLine.h"
#include "PeerProcess.h"
#include "PrivateHome.h"
#include "Statistics.h"
#include "ThreadCounters.h"
#include "shell/Buslink.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QStringList>

#include <modbus.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <thread>
#include <vector>

namespace {

constexpr double BitsPerCharacter = 11;  // start, 8 data, even parity, stop
constexpr int Registers = 25;
constexpr int RequestBytes = 8;
constexpr int ReplyBytes = 5 + 2 * Registers;
constexpr int WarmUpReads = 3;

QString settingsFor(int baud) { return QStringLiteral("%1,e,8,1").arg(baud); }

// libmodbus's slave on the slave's end of the line, a child process.
bool startLibmodbusSlave(PeerProcess& slave, PacedLine& line)
{
    line.resetDeviceSettings();
    if (slave.start(BUSLINK_LIBMODBUS_SLAVE, {line.slaveDevice(), "1", settingsFor(line.baudRate())})) return true;
    std::fprintf(stderr, "%s\n", qPrintable(slave.errorText()));
    return false;
}

// Waiting for a request, libmodbus's slave goes on waiting through SIGTERM (libmodbus
// restarts its select), so it is killed at once rather than after a grace period.
void stopLibmodbusSlave(PeerProcess& slave)
{
    slave.process().kill();
    slave.process().waitForFinished(3000);
    slave.stop();
}

// ---- What one round of one client measured -----------------------------------

struct Round {
    int n = 0;
    int failures = 0;
    qint64 wallNs = 0;
    qint64 cpuNs = 0;
    qint64 wakes = 0;
    std::vector<double> turnaroundUs;  // the client's (master part) or the slave's (slave part)
    QString firstFailure;              // why the first failed read failed, where the client says
    qint64 failedNs = 0;               // wall time of the failed reads
    double wallMs() const { return n ? double(wallNs) / 1e6 / n : 0; }
    double cpuUs() const { return n ? double(cpuNs) / 1e3 / n : 0; }
    double wakesPer() const { return n ? double(wakes) / n : 0; }
};

struct Summary {
    int n = 0;
    int failures = 0;
    QString firstFailure;
    qint64 failedNs = 0;
    double wallMs = 0;
    double cpuUs = 0;
    double wakes = 0;
    std::vector<double> turnaroundUs;  // every sample of every round
};

Summary summarise(const std::vector<Round>& rounds)
{
    Summary s;
    std::vector<double> wall, cpu, wakes;
    for (const Round& r : rounds) {
        s.n += r.n;
        s.failures += r.failures;
        s.failedNs += r.failedNs;
        if (s.firstFailure.isEmpty()) s.firstFailure = r.firstFailure;
        wall.push_back(r.wallMs());
        cpu.push_back(r.cpuUs());
        wakes.push_back(r.wakesPer());
        s.turnaroundUs.insert(s.turnaroundUs.end(), r.turnaroundUs.begin(), r.turnaroundUs.end());
    }
    s.wallMs = Median(wall);
    s.cpuUs = Median(cpu);
    s.wakes = Median(wakes);
    return s;
}

// ---- Master part ------------------------------------------------------------

// Times n calls of once() on the calling thread; the client's turnarounds from the
// relay. why() names the cause of a failed read.
Round measureReads(PacedLine& line, PaceTotals& totals, int n, const std::function<bool()>& once,
                   const std::function<QString()>& why)
{
    Round r;
    r.n = n;
    totals.add(line.take());
    const Counters before = CountersOfThisThread();
    const qint64 start = MonotonicNs();
    for (int i = 0; i < n; ++i) {
        const qint64 readStart = MonotonicNs();
        if (once()) continue;
        r.failedNs += MonotonicNs() - readStart;
        if (r.failures++ == 0) r.firstFailure = why();
    }
    r.wallNs = MonotonicNs() - start;
    const Counters after = CountersOfThisThread();
    const PacedLine::Report report = line.take();
    totals.add(report);
    r.cpuNs = after.cpuNs - before.cpuNs;
    r.wakes = after.wakes - before.wakes;
    r.turnaroundUs = report.turnaroundUs[PacedLine::ToSlave];
    return r;
}

Round readPlcRound(PacedLine& line, PaceTotals& totals, int n, bool silenceTimer)
{
    buslink::Buslink link;
    link.InitProperties();
    link.setDevicePath(line.clientDevice());
    link.setSettings(settingsFor(line.baudRate()));
    link.setPortOpen(true);
    // On a pseudo-terminal the component leaves its frame-end timer off; on a real
    // line it is on and restarted at every arrival.
    if (silenceTimer) link.port().setSilenceDetection(buslink::SerialPortService::SilenceDetection::Always);
    buslink::VariantArray values(1, Registers);
    QVariant size = Registers;
    qint16 type = buslink::ioWord;
    for (int i = 0; i < WarmUpReads; ++i) link.ReadPLC(40001, values, size, type);
    Round r = measureReads(
        line, totals, n,
        [&] { return link.ReadPLC(40001, values, size, type) == -1 && values[Registers].toInt() == Registers - 1; },
        [&] { return link.LastResult().text; });
    link.setPortOpen(false);
    return r;
}

modbus_t* openLibmodbusMaster(const PacedLine& line)
{
    modbus_t* ctx = modbus_new_rtu(line.clientDevice().toLocal8Bit().constData(), line.baudRate(), 'E', 8, 1);
    if (!ctx) return nullptr;
    if (modbus_set_slave(ctx, 1) != 0 || modbus_connect(ctx) != 0) {
        std::fprintf(stderr, "libmodbus cannot open %s: %s\n", qPrintable(line.clientDevice()), modbus_strerror(errno));
        modbus_free(ctx);
        return nullptr;
    }
    modbus_set_response_timeout(ctx, 1, 0);
    return ctx;
}

void closeLibmodbusMaster(modbus_t* ctx)
{
    modbus_close(ctx);
    modbus_free(ctx);
}

bool libmodbusRead(modbus_t* ctx)
{
    uint16_t regs[Registers];
    return modbus_read_registers(ctx, 0, Registers, regs) == Registers && regs[Registers - 1] == Registers - 1;
}

Round libmodbusRound(PacedLine& line, PaceTotals& totals, int n)
{
    modbus_t* ctx = openLibmodbusMaster(line);
    if (!ctx) {
        Round r;
        r.n = r.failures = n;
        return r;
    }
    for (int i = 0; i < WarmUpReads; ++i) libmodbusRead(ctx);
    Round r = measureReads(line, totals, n, [&] { return libmodbusRead(ctx); },
                           [] { return QString::fromLocal8Bit(modbus_strerror(errno)); });
    closeLibmodbusMaster(ctx);
    return r;
}

// What the failed reads of a row took and why the first failed.
void printFailures(const char* name, const Summary& s)
{
    if (s.failures == 0) return;
    std::printf("  %s: %d failed, %.1f ms each on average; the first: %s\n", name, s.failures,
                double(s.failedNs) / 1e6 / s.failures, qPrintable(s.firstFailure));
}

void printClient(const char* name, const Summary& s, double wireMs)
{
    std::printf("%-34s %6d %9.2f %8.1f %% %11.1f %11.1f %11.0f %7d\n", name, s.n, s.wallMs,
                s.wallMs > 0 ? 100.0 * wireMs / s.wallMs : 0.0, s.cpuUs, s.wakes, Median(s.turnaroundUs), s.failures);
}

void printMasterRatio(const char* name, const Summary& s, const Summary& ref)
{
    std::printf("ratio %s / libmodbus: wall per read %.3f, CPU per read %.2f, wake-ups per read %.2f\n", name,
                ref.wallMs > 0 ? s.wallMs / ref.wallMs : 0.0, ref.cpuUs > 0 ? s.cpuUs / ref.cpuUs : 0.0,
                ref.wakes > 0 ? s.wakes / ref.wakes : 0.0);
}

int masterPart(int baud, int n, int rounds)
{
    PacedLine line(baud, BitsPerCharacter);
    if (!line.isValid()) {
        std::fprintf(stderr, "cannot make the pseudo-terminals of the paced line\n");
        return n;
    }
    PeerProcess slave;
    if (!startLibmodbusSlave(slave, line)) return n;
    PaceTotals totals;
    std::vector<Round> plain, silence, reference;
    const int perRound = std::max(1, n / rounds);
    for (int round = 0; round < rounds; ++round) {
        // Alternate the clients round by round so drift on the machine affects them alike.
        plain.push_back(readPlcRound(line, totals, perRound, false));
        silence.push_back(readPlcRound(line, totals, perRound, true));
        reference.push_back(libmodbusRound(line, totals, perRound));
    }
    stopLibmodbusSlave(slave);

    const double c = line.characterTimeUs();
    const double wireMs = (RequestBytes + ReplyBytes) * c / 1000.0;
    const double silenceMs = 3.5 * c / 1000.0;
    const Summary p = summarise(plain), s = summarise(silence), r = summarise(reference);
    std::printf("\n== Master, %d baud, %.0f bits a character: %.1f us a character ==\n", baud, BitsPerCharacter, c);
    std::printf("25-register read: %d-byte request + %d-byte reply = %d characters = %.2f ms on the wire "
                "(the wire column); %.2f ms with the 3.5-character silence a slave keeps before answering\n",
                RequestBytes, ReplyBytes, RequestBytes + ReplyBytes, wireMs, wireMs + silenceMs);
    totals.print(line);
    const std::vector<double>& slaveTurns = totals.turnaroundUs[PacedLine::ToClient];
    std::printf("libmodbus slave's turnaround (last request byte to first reply byte): median %.0f us, %.0f us at most\n",
                Median(slaveTurns), Maximum(slaveTurns));
    std::printf("%-34s %6s %9s %10s %11s %11s %11s %7s\n", "client (median round)", "reads", "ms/read", "wire/wall",
                "CPU us/read", "wakes/read", "turn us", "failed");
    printClient("ReadPLC", p, wireMs);
    printClient("ReadPLC, frame-end timer on", s, wireMs);
    printClient("modbus_read_registers", r, wireMs);
    printFailures("ReadPLC", p);
    printFailures("ReadPLC, frame-end timer on", s);
    printFailures("modbus_read_registers", r);
    printMasterRatio("ReadPLC                    ", p, r);
    printMasterRatio("ReadPLC, frame-end timer on", s, r);
    return p.failures + s.failures + r.failures;
}

// ---- Slave part -------------------------------------------------------------

// A libmodbus master on a thread of its own: warm-up requests, then n measured
// ones, with the serving thread's counters read around them (from this thread,
// so the server is left to its own loop). Calls done() at the end.
Round masterRun(PacedLine& line, PaceTotals& totals, int n, const ThreadCounters& server,
                const std::function<void()>& done)
{
    Round r;
    r.n = n;
    modbus_t* ctx = openLibmodbusMaster(line);
    if (!ctx) {
        r.failures = n;
        done();
        return r;
    }
    for (int i = 0; i < WarmUpReads; ++i) libmodbusRead(ctx);
    totals.add(line.take());
    const Counters before = server.read();
    const qint64 start = MonotonicNs();
    for (int i = 0; i < n; ++i) {
        const qint64 readStart = MonotonicNs();
        if (libmodbusRead(ctx)) continue;
        r.failedNs += MonotonicNs() - readStart;
        if (r.failures++ == 0) r.firstFailure = QString::fromLocal8Bit(modbus_strerror(errno));
    }
    r.wallNs = MonotonicNs() - start;
    const Counters after = server.read();
    const PacedLine::Report report = line.take();
    totals.add(report);
    r.turnaroundUs = report.turnaroundUs[PacedLine::ToClient];
    r.cpuNs = after.cpuNs - before.cpuNs;
    r.wakes = after.wakes - before.wakes;
    closeLibmodbusMaster(ctx);
    done();
    return r;
}

// The component in slave mode serves on this thread, in its event loop, while the
// master runs; the thread's CPU-time clock and wake-ups are read around the requests.
Round componentSlaveRound(PacedLine& line, PaceTotals& totals, int n)
{
    buslink::Buslink link;
    link.InitProperties();
    link.setDevicePath(line.slaveDevice());
    link.setSettings(settingsFor(line.baudRate()));
    link.setPortOpen(true);
    link.setModBusMode(buslink::SlaveRtu);
    for (int i = 0; i < Registers; ++i) {
        buslink::VariantArray v(1, 1);
        v[1] = i;  // as the libmodbus slave: holding register i holds i
        link.SetModData(40001 + i, v);
    }
    const ThreadCounters server = ThreadCounters::thisThread();
    QEventLoop loop;
    Round r;
    std::thread master([&] {
        r = masterRun(line, totals, n, server,
                      [&] { QMetaObject::invokeMethod(&loop, [&loop] { loop.quit(); }, Qt::QueuedConnection); });
    });
    loop.exec();
    master.join();
    link.setPortOpen(false);
    return r;
}

// libmodbus's slave as a child process; its CPU time and wake-ups from /proc/PID.
Round libmodbusSlaveRound(PacedLine& line, PaceTotals& totals, int n)
{
    PeerProcess slave;
    if (!startLibmodbusSlave(slave, line)) {
        Round r;
        r.n = r.failures = n;
        return r;
    }
    const ThreadCounters server = ThreadCounters::process(pid_t(slave.process().processId()));
    Round r;
    std::thread master([&] { r = masterRun(line, totals, n, server, [] {}); });
    master.join();
    stopLibmodbusSlave(slave);
    return r;
}

void printServer(const char* name, const Summary& s, double silenceUs)
{
    const double turn = Median(s.turnaroundUs);
    std::printf("%-34s %6d %9.2f %9.0f %9.0f %9.0f %11.1f %10.1f %7d\n", name, s.n - s.failures, s.wallMs, turn,
                Maximum(s.turnaroundUs), turn - silenceUs, s.cpuUs, s.wakes, s.failures);
}

int slavePart(int baud, int n, int rounds)
{
    PacedLine line(baud, BitsPerCharacter);
    if (!line.isValid()) {
        std::fprintf(stderr, "cannot make the pseudo-terminals of the paced line\n");
        return n;
    }
    PaceTotals totals;
    std::vector<Round> component, reference;
    const int perRound = std::max(1, n / rounds);
    for (int round = 0; round < rounds; ++round) {
        component.push_back(componentSlaveRound(line, totals, perRound));
        reference.push_back(libmodbusSlaveRound(line, totals, perRound));
    }
    const double c = line.characterTimeUs();
    const double silenceUs = 3.5 * c;
    const Summary s = summarise(component), r = summarise(reference);
    std::printf("\n== Slave, %d baud, %.0f bits a character: %.1f us a character ==\n", baud, BitsPerCharacter, c);
    std::printf("a libmodbus master reads 25 registers in a loop; turnaround = last request byte delivered to the "
                "slave until its first reply byte reached the relay; t3.5 = the RTU silence, 3.5 characters = %.0f us\n",
                silenceUs);
    totals.print(line);
    std::printf("%-34s %6s %9s %9s %9s %9s %11s %10s %7s\n", "slave (median round)", "served", "ms/req", "turn us",
                "max us", "turn-t3.5", "CPU us/req", "wakes/req", "failed");
    printServer("component, SlaveRtu (its thread)", s, silenceUs);
    printServer("libmodbus slave (child, /proc)", r, silenceUs);
    printFailures("the master served by the component", s);
    printFailures("the master served by libmodbus's slave", r);
    std::printf("ratio component / libmodbus: turnaround %.2f (medians), CPU per request %.2f, wake-ups per "
                "request %.2f\n",
                Median(r.turnaroundUs) > 0 ? Median(s.turnaroundUs) / Median(r.turnaroundUs) : 0.0,
                r.cpuUs > 0 ? s.cpuUs / r.cpuUs : 0.0, r.wakes > 0 ? s.wakes / r.wakes : 0.0);
    return s.failures + r.failures;
}

int number(const QStringList& args, const QString& name, int fallback)
{
    const int at = int(args.indexOf(name));
    if (at < 0 || at + 1 >= args.size()) return fallback;
    bool ok = false;
    const int value = args.at(at + 1).toInt(&ok);
    return ok && value > 0 ? value : fallback;
}

} // namespace

int main(int argc, char** argv)
{
    PrivateHome home;
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.contains(QStringLiteral("--help"))) {
        std::printf("usage: bench_paced [--reads-9600 N] [--reads-115200 N] [--rounds R] [--part master|slave]\n");
        return 0;
    }
    const int n9600 = number(args, QStringLiteral("--reads-9600"), 40);
    const int n115200 = number(args, QStringLiteral("--reads-115200"), 200);
    const int rounds = number(args, QStringLiteral("--rounds"), 4);
    const int partAt = int(args.indexOf(QStringLiteral("--part")));
    const QString part = partAt >= 0 ? args.value(partAt + 1) : QString();
    if (partAt >= 0 && part != QLatin1String("master") && part != QLatin1String("slave")) {
        std::fprintf(stderr, "--part takes master or slave\n");
        return 1;
    }

    std::printf("A paced line: two pseudo-terminal pairs joined by a relay (two threads of its own) that lets each "
                "byte through one character time after the previous one left.\n"
                "Columns: ms/read = wall time a read; wire/wall = the wire time of request and reply over that; "
                "CPU and wakes (voluntary context switches) of the reading or serving thread; turn = median "
                "turnaround of the client (last reply byte to its next request) or of the slave.\n");
    std::fflush(stdout);
    int failures = 0;
    for (const int baud : {9600, 115200}) {
        const int n = baud == 9600 ? n9600 : n115200;
        if (part.isEmpty() || part == QLatin1String("master")) failures += masterPart(baud, n, rounds);
        std::fflush(stdout);
    }
    for (const int baud : {9600, 115200}) {
        const int n = baud == 9600 ? n9600 : n115200;
        if (part.isEmpty() || part == QLatin1String("slave")) failures += slavePart(baud, n, rounds);
        std::fflush(stdout);
    }
    return failures > 0 ? 2 : 0;
}
