#include "ActuatorSimulator.h"

#include "base/ConfigFolder.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>
#include <QThread>

#include <csignal>

ActuatorSimulator::~ActuatorSimulator() { stop(); }

QString ActuatorSimulator::program()
{
    return PeerProcess::binaryDir() + "/tools/actuator-sim/actuator-sim";
}

bool ActuatorSimulator::start(const QStringList& options)
{
    QStringList args = options;
    args << "--dump" << dir.filePath("state.txt");
    if (!peer.start(program(), args, "READY", 10000)) {
        lastError = peer.errorText();
        return false;
    }
    const QRegularExpression portLine("^PORT (\\S+)", QRegularExpression::MultilineOption);
    const auto match = portLine.match(QString::fromLocal8Bit(peer.output()));
    if (!match.hasMatch()) {
        lastError = "actuator-sim printed no PORT line: " + QString::fromLocal8Bit(peer.output());
        return false;
    }
    device = match.captured(1);
    return true;
}

void ActuatorSimulator::stop()
{
    peer.stop();
}

void ActuatorSimulator::mapToPortNumber(int n) const
{
    QSettings ini(buslink::IniFilePath(), QSettings::IniFormat);
    ini.setValue(QString("Ports/%1").arg(n), device);
    ini.sync();
}

void ActuatorSimulator::command(const QString& line)
{
    peer.send(line.toUtf8());
}

QList<QByteArray> ActuatorSimulator::dumpLines()
{
    const QString path = dir.filePath("state.txt");
    QFile::remove(path);
    ::kill(pid_t(peer.process().processId()), SIGUSR1);
    QDeadlineTimer deadline(5000);
    qint64 lastSize = -1;
    while (!deadline.hasExpired()) {
        // Wait until the file exists and has stopped growing.
        const QFileInfo info(path);
        if (info.exists() && info.size() > 0 && info.size() == lastSize) break;
        lastSize = info.exists() ? info.size() : -1;
        QThread::msleep(50);
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.readAll().split('\n');
}

QMap<int, int> ActuatorSimulator::dump()
{
    QMap<int, int> state;
    const QRegularExpression row("^\\s*(\\d+)\\s+(-?\\d+)\\s*$");
    for (const QByteArray& line : dumpLines()) {
        const auto m = row.match(QString::fromLatin1(line));
        if (m.hasMatch()) state.insert(m.captured(1).toInt(), m.captured(2).toInt());
    }
    return state;
}

QList<QPair<int, int>> ActuatorSimulator::writes()
{
    QList<QPair<int, int>> written;
    const QRegularExpression row("^write\\s+(\\d+)\\s+(-?\\d+)\\s*$");
    for (const QByteArray& line : dumpLines()) {
        const auto m = row.match(QString::fromLatin1(line));
        if (m.hasMatch()) written.append({m.captured(1).toInt(), m.captured(2).toInt()});
    }
    return written;
}

int ActuatorSimulator::value(int reference)
{
    return dump().value(reference, -1);
}
