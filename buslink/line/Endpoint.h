#pragma once
// What a port maps to: a serial device, or a network endpoint written as
// tcp://HOST:PORT (Modbus TCP: MBAP header, no checksum) or rtu+tcp://HOST:PORT
// (RTU frames with their CRC carried over a TCP stream, as serial device
// servers pass them). Pure parsing.
#include <QString>

namespace buslink {

struct Endpoint {
    enum Kind { Serial, Tcp, RtuOverTcp } kind = Serial;
    QString device;   // Serial: the device path
    QString host;     // Tcp, RtuOverTcp: a host name or address (IPv6 in brackets in the text)
    quint16 port = 0;
    bool isNetwork() const { return kind != Serial; }
    // The text it was parsed from, in its canonical form.
    QString text() const;
};

// Parses a port mapping or a --port text. Anything without a scheme is a serial
// device. False with a reason for a network text that does not parse (no host,
// no port, a port outside 1 to 65535, an unknown scheme ending in "://").
bool ParseEndpoint(const QString& text, Endpoint& endpoint, QString* why = nullptr);

} // namespace buslink
