#include "SimHarness.h"

#include <QDeadlineTimer>
#include <QFileInfo>

#include <modbus.h>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

QString simulatorPath()
{
#ifdef ACTUATOR_SIM_PATH
    return QStringLiteral(ACTUATOR_SIM_PATH);
#else
    return PeerProcess::binaryDir() + "/tools/actuator-sim/actuator-sim";
#endif
}

SimDump parseDump(const QByteArray& text)
{
    SimDump dump;
    for (const QByteArray& raw : text.split('\n')) {
        const QString line = QString::fromLatin1(raw).trimmed();
        if (line.isEmpty() || line.startsWith('#')) continue;
        if (line == "end") {
            dump.complete = true;
            break;
        }
        const QStringList words = line.split(' ', Qt::SkipEmptyParts);
        if (words.size() == 3 && words[0] == "write") {
            dump.writes.append({words[1], words[2].toInt()});
        } else if (words.size() == 3 && words[0] == "counter") {
            dump.keys.insert(words[0] + " " + words[1], words[2]);
        } else if (words.size() == 2 && words[0].size() == 6 && words[0][0].isDigit()) {
            dump.values.insert(words[0], words[1].toInt());
        } else if (words.size() == 2) {
            dump.keys.insert(words[0], words[1]);
        }
    }
    return dump;
}

bool SimProcess::start(const QStringList& args)
{
    QStringList all = args;
    if (!all.contains("--settings")) all << "--settings" << "9600,n,8,1";
    if (!peer.start(simulatorPath(), all)) {
        error = peer.errorText();
        return false;
    }
    const QByteArray out = peer.output();
    const qsizetype portAt = out.indexOf("PORT ");
    const qsizetype readyAt = out.indexOf("READY\n");
    if (portAt != 0 || readyAt < 0) {
        error = "unexpected start-up output: " + QString::fromLatin1(out);
        return false;
    }
    portPath = QString::fromLatin1(out.mid(5, out.indexOf('\n') - 5));
    consumed = readyAt + 6;
    return true;
}

QByteArray SimProcess::awaitLine(const std::function<bool(const QByteArray&)>& matches, int timeoutMs,
                                 qsizetype& lineStart)
{
    QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        const QByteArray out = peer.output();
        qsizetype at = consumed;
        while (at < out.size()) {
            const qsizetype end = out.indexOf('\n', at);
            if (end < 0) break;
            const QByteArray line = out.mid(at, end - at);
            if (matches(line)) {
                lineStart = at;
                consumed = end + 1;
                return out;
            }
            at = end + 1;
        }
        if (deadline.hasExpired() || peer.process().state() == QProcess::NotRunning) return {};
        peer.process().waitForReadyRead(50);
    }
}

QByteArray SimProcess::waitForLine(const QByteArray& prefix, int timeoutMs)
{
    qsizetype start = 0;
    const QByteArray out =
        awaitLine([&](const QByteArray& line) { return line.startsWith(prefix); }, timeoutMs, start);
    return out.isEmpty() ? QByteArray() : out.mid(start, consumed - 1 - start);
}

QByteArray SimProcess::command(const QByteArray& line, int timeoutMs)
{
    const qsizetype from = consumed;
    peer.send(line);
    qsizetype start = 0;
    const QByteArray out = awaitLine(
        [](const QByteArray& text) { return text.startsWith("OK") || text.startsWith("ERROR"); }, timeoutMs, start);
    return out.isEmpty() ? QByteArray() : out.mid(from, consumed - from);
}

SimDump SimProcess::dump() { return parseDump(command("dump")); }

LibModbusMaster::LibModbusMaster(const QString& device, int unit, int timeoutMs)
{
    context = modbus_new_rtu(device.toLocal8Bit().constData(), 9600, 'N', 8, 1);
    if (!context) return;
    if (modbus_connect(context) != 0) {
        modbus_free(context);
        context = nullptr;
        return;
    }
    modbus_set_slave(context, unit);
    setTimeout(timeoutMs);
    modbus_set_byte_timeout(context, 0, 50000);
    modbus_flush(context);
}

LibModbusMaster::~LibModbusMaster()
{
    if (!context) return;
    modbus_close(context);
    modbus_free(context);
}

void LibModbusMaster::setUnit(int unit) { modbus_set_slave(context, unit); }

void LibModbusMaster::setTimeout(int ms) { modbus_set_response_timeout(context, uint32_t(ms / 1000), uint32_t(ms % 1000) * 1000); }

void LibModbusMaster::flush() { modbus_flush(context); }

int LibModbusMaster::exceptionError(int code) { return MODBUS_ENOBASE + code; }

namespace {
template <typename T, typename Read>
std::optional<std::vector<int>> readWith(int& lastError, int count, Read read)
{
    std::vector<T> buffer(std::size_t(count) + 1);
    errno = 0;
    const int n = read(buffer.data());
    if (n != count) {
        lastError = n < 0 ? errno : EMBBADDATA;
        return std::nullopt;
    }
    lastError = 0;
    return std::vector<int>(buffer.begin(), buffer.begin() + count);
}
}  // namespace

std::optional<std::vector<int>> LibModbusMaster::holding(int offset, int count)
{
    return readWith<uint16_t>(lastError, count,
                              [&](uint16_t* b) { return modbus_read_registers(context, offset, count, b); });
}

std::optional<std::vector<int>> LibModbusMaster::inputRegisters(int offset, int count)
{
    return readWith<uint16_t>(lastError, count,
                              [&](uint16_t* b) { return modbus_read_input_registers(context, offset, count, b); });
}

std::optional<std::vector<int>> LibModbusMaster::discreteInputs(int offset, int count)
{
    return readWith<uint8_t>(lastError, count,
                             [&](uint8_t* b) { return modbus_read_input_bits(context, offset, count, b); });
}

std::optional<std::vector<int>> LibModbusMaster::coils(int offset, int count)
{
    return readWith<uint8_t>(lastError, count, [&](uint8_t* b) { return modbus_read_bits(context, offset, count, b); });
}

bool LibModbusMaster::writeCoil(int offset, bool on)
{
    errno = 0;
    const bool ok = modbus_write_bit(context, offset, on ? 1 : 0) == 1;
    lastError = ok ? 0 : errno;
    return ok;
}

bool LibModbusMaster::writeRegister(int offset, int value)
{
    errno = 0;
    const bool ok = modbus_write_register(context, offset, value) == 1;
    lastError = ok ? 0 : errno;
    return ok;
}

bool LibModbusMaster::writeRegisters(int offset, const std::vector<int>& values)
{
    std::vector<uint16_t> words(values.begin(), values.end());
    errno = 0;
    const bool ok = modbus_write_registers(context, offset, int(words.size()), words.data()) == int(words.size());
    lastError = ok ? 0 : errno;
    return ok;
}

RawLine::RawLine(const QString& device)
{
    fd = ::open(device.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return;
    termios tio{};
    tcgetattr(fd, &tio);
    cfmakeraw(&tio);
    tcsetattr(fd, TCSANOW, &tio);
    tcflush(fd, TCIOFLUSH);
}

RawLine::~RawLine()
{
    if (fd >= 0) ::close(fd);
}

bool RawLine::write(const QByteArray& bytes)
{
    return ::write(fd, bytes.constData(), size_t(bytes.size())) == ssize_t(bytes.size());
}

QByteArray RawLine::read(int want, int timeoutMs)
{
    QByteArray got;
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired() && (want <= 0 || got.size() < want)) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, int(qMax<qint64>(1, deadline.remainingTime()))) > 0 && (p.revents & POLLIN)) {
            char buffer[512];
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n > 0) got.append(buffer, n);
        }
    }
    return got;
}

static quint16 crc16(const QByteArray& bytes)
{
    quint16 crc = 0xFFFF;
    for (char c : bytes) {
        crc ^= quint8(c);
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? quint16((crc >> 1) ^ 0xA001) : quint16(crc >> 1);
    }
    return crc;
}

QByteArray withCrc(const QByteArray& hexFrame)
{
    QByteArray frame = QByteArray::fromHex(hexFrame);
    const quint16 crc = crc16(frame);
    frame.append(char(crc & 0xFF));
    frame.append(char(crc >> 8));
    return frame;
}

bool crcIsValid(const QByteArray& frame)
{
    if (frame.size() < 3) return false;
    const quint16 crc = crc16(frame.left(frame.size() - 2));
    return quint8(frame[frame.size() - 2]) == (crc & 0xFF) && quint8(frame[frame.size() - 1]) == (crc >> 8);
}
