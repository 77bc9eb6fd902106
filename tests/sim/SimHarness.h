#pragma once
// Helpers for tests that run actuator-sim and talk to it over its pseudo-terminal
// with an independent master (libmodbus as client, or raw bytes).
#include "PeerProcess.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QThread>
#include <QList>
#include <QMap>
#include <QPair>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

typedef struct _modbus modbus_t;

// Path of the simulator built with the tests.
QString simulatorPath();

// The parsed state dump: `key value` lines, six-digit value lines, and the write log.
struct SimDump {
    QMap<QString, QString> keys;   // format, unit, "counter dropped", ...
    QMap<QString, int> values;     // "400008" -> 0
    QList<QPair<QString, int>> writes;
    bool complete = false;         // ended with "end"
    int value(const QString& reference) const { return values.value(reference, -1); }
    int counter(const QString& name) const { return keys.value("counter " + name, "-1").toInt(); }
};
SimDump parseDump(const QByteArray& text);

// One simulator process.
class SimProcess {
public:
    // Starts actuator-sim with the arguments (9600,n,8,1 is added unless --settings is given).
    bool start(const QStringList& args = {});
    QString port() const { return portPath; }
    // Sends a console line and returns the output up to and including its OK/ERROR line.
    QByteArray command(const QByteArray& line, int timeoutMs = 3000);
    SimDump dump();
    // Waits for a line starting with `prefix` in output not yet consumed; returns it.
    QByteArray waitForLine(const QByteArray& prefix, int timeoutMs = 3000);
    QByteArray stop() { return peer.stop(); }
    qint64 pid() { return peer.process().processId(); }
    QString errorText() const { return error; }
    PeerProcess& process() { return peer; }

private:
    PeerProcess peer;
    QString portPath;
    // Waits for the first complete line not yet consumed that `matches`, and consumes the
    // output up to and including it. Returns the whole output (empty on time-out) and the line's start.
    QByteArray awaitLine(const std::function<bool(const QByteArray&)>& matches, int timeoutMs, qsizetype& lineStart);
    qsizetype consumed = 0;
    QString error;
};

// A libmodbus RTU master on a device path; errors are kept as errno values.
class LibModbusMaster {
public:
    explicit LibModbusMaster(const QString& device, int unit = 1, int timeoutMs = 300);
    ~LibModbusMaster();
    LibModbusMaster(const LibModbusMaster&) = delete;
    LibModbusMaster& operator=(const LibModbusMaster&) = delete;

    bool isOpen() const { return context != nullptr; }
    void setUnit(int unit);
    void setTimeout(int ms);
    // Each returns the values, or nothing with lastError set.
    std::optional<std::vector<int>> holding(int offset, int count);
    std::optional<std::vector<int>> inputRegisters(int offset, int count);
    std::optional<std::vector<int>> discreteInputs(int offset, int count);
    std::optional<std::vector<int>> coils(int offset, int count);
    bool writeCoil(int offset, bool on);
    bool writeRegister(int offset, int value);
    bool writeRegisters(int offset, const std::vector<int>& values);
    void flush();
    int lastError = 0;
    // libmodbus's errno for exception code c
    static int exceptionError(int code);

private:
    modbus_t* context = nullptr;
};

// The pseudo-terminal opened raw by the test itself, for byte-level checks.
class RawLine {
public:
    explicit RawLine(const QString& device);
    ~RawLine();
    bool isOpen() const { return fd >= 0; }
    bool write(const QByteArray& bytes);
    // Reads until `want` bytes are in or the line stays quiet for timeoutMs.
    QByteArray read(int want, int timeoutMs);

private:
    int fd = -1;
};

// Appends the CRC-16/MODBUS (low byte first) to a frame given in hex.
QByteArray withCrc(const QByteArray& hexFrame);
bool crcIsValid(const QByteArray& frame);

// Polls `condition` every 20 ms until it holds or timeoutMs passes.
template <typename F>
bool eventually(F condition, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        if (condition()) return true;
        if (deadline.hasExpired()) return false;
        QThread::msleep(20);
    }
}
