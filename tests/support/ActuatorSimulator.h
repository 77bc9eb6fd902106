#pragma once
// The project's actuator simulator run as a child process on its own
// pseudo-terminal, for end-to-end tests of the tool.
#include "PeerProcess.h"

#include <QMap>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

class ActuatorSimulator {
public:
    ~ActuatorSimulator();
    // Starts actuator-sim with the given extra options (e.g. {"--format","mk1"}) and waits until it is ready.
    bool start(const QStringList& options = {});
    void stop();
    QString errorText() const { return lastError; }
    // The device path the simulator printed.
    QString port() const { return device; }
    // Makes port number n open the simulator's device (the [Ports] section of the component's INI file).
    void mapToPortNumber(int n) const;
    // Sends one command line to the simulator's standard input.
    void command(const QString& line);
    // The simulator's whole state, reference number (six-digit form) -> value, from its dump file.
    QMap<int, int> dump();
    // One value of the dump; -1 when the reference is not in it.
    int value(int reference);
    // Every point a master wrote, oldest first, from the dump: (six-digit reference, value).
    QList<QPair<int, int>> writes();
    PeerProcess& process() { return peer; }
    static QString program();

private:
    QList<QByteArray> dumpLines();  // the dump file the simulator writes on SIGUSR1
    PeerProcess peer;
    QTemporaryDir dir;
    QString device;
    QString lastError;
};
