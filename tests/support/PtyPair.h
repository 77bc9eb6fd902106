#pragma once
// Real serial ends for tests: pseudo-terminal pairs.
#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <memory>

// One pseudo-terminal made in-process with openpty: the device path goes to the
// code under test, the master side stays with the test as a raw file descriptor.
class PtyPair {
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool isValid() const { return masterFd >= 0; }
    QString devicePath() const { return slavePath; }
    int fd() const { return masterFd; }

    // Writes all bytes to the line.
    bool write(const QByteArray& bytes);
    // Closes the test's side, as when the far end of a line goes away (reads of the device then fail).
    void closeMaster();
    // Reads what arrives within timeoutMs, stopping early once `want` bytes are in (0 = take all until quiet).
    QByteArray read(int want, int timeoutMs);

private:
    int masterFd = -1;
    int slaveFd = -1;  // kept open so the line stays up when the code under test closes it
    QString slavePath;
};

// Two linked pseudo-terminals made by socat: both ends have device paths, for
// peers (libmodbus, pymodbus, the simulator) that open a device by name.
class SocatPair {
public:
    SocatPair();
    ~SocatPair();
    bool isValid() const { return ready; }
    QString endA() const { return dir.path() + "/a"; }
    QString endB() const { return dir.path() + "/b"; }
    // Ends socat: both lines vanish under whoever has them open, as when a cable is pulled.
    void stop();
    // Makes the pair again under the same two names; false when socat did not come up.
    bool start();

private:
    QTemporaryDir dir;
    QProcess socat;
    bool ready = false;
};
