#pragma once
// One byte stream the component talks over: a serial device, a TCP connection
// to a device or gateway, or the connections a listening slave accepts. The
// port service picks the kind from the port's mapping; framing and the
// protocol never see which one it is.
#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>

namespace buslink {

class Line : public QObject {
    Q_OBJECT
public:
    explicit Line(QObject* parent = nullptr) : QObject(parent) {}

    // Opens the line; throws BuslinkError naming the endpoint and the cause.
    virtual void open() = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;

    virtual qint64 bytesAvailable() const = 0;
    // Takes at most maxBytes waiting bytes (0: all of them).
    virtual QByteArray read(qint64 maxBytes) = 0;
    virtual QByteArray peek(qint64 maxBytes) const = 0;
    virtual void discardInput() = 0;
    virtual void discardOutput() = 0;
    // Sends the bytes now; throws BuslinkError when the line is closed or the write fails.
    virtual void write(const QByteArray& bytes) = 0;

    // The line as messages name it: "/dev/ttyUSB0", "tcp://192.0.2.10:502".
    virtual QString name() const = 0;

    // Called whenever bytes have arrived: a plain call rather than a signal, as it runs
    // for every chunk a line delivers.
    void setArrivalHandler(std::function<void()> handler) { arrival = std::move(handler); }

protected:
    void bytesArrived()
    {
        if (arrival) arrival();
    }

signals:
    // The line went quiet long enough to end a frame (lines where timing means something).
    void silence();
    // The line vanished under us; it is closed already.
    void lost(const QString& reason);

private:
    std::function<void()> arrival;
};

} // namespace buslink
