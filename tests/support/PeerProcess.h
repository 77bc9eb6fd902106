#pragma once
// An independent Modbus peer (or the simulator) run as a child process for a test.
#include <QProcess>
#include <QString>
#include <QStringList>

class PeerProcess {
public:
    ~PeerProcess();
    // Starts the program and waits until it prints a line containing readyMarker
    // (empty: do not wait). Returns false with the peer's output in errorText().
    bool start(const QString& program, const QStringList& args,
               const QString& readyMarker = QStringLiteral("READY"), int timeoutMs = 10000);
    // Stops the peer (SIGTERM, then SIGKILL) and returns what it printed.
    QByteArray stop();
    // Sends a line to the peer's standard input.
    void send(const QByteArray& line);
    // Waits until the peer's output contains `text`.
    bool waitForOutput(const QString& text, int timeoutMs = 5000);
    QByteArray output();
    QString errorText() const { return lastError; }
    QProcess& process() { return proc; }

    // Interpreter for Python peers: Debian's python3, which has pymodbus.
    static QString python();
    // Folder of the test sources (peer scripts live there).
    static QString sourceDir();
    // Top of the build tree (programs built by the project live there).
    static QString binaryDir();

private:
    QProcess proc;
    QByteArray seen;
    QString lastError;
};
