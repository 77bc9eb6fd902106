#pragma once
// A serial device as a line, over QSerialPort: the settings, DTR and carrier
// detect, silence at the end of a frame, and a device that vanishes.
#include "Line.h"
#include "LineSettings.h"
#include "PreciseWake.h"

#include <QTimer>

class QSerialPort;

namespace buslink {

class SerialLine : public Line {
    Q_OBJECT
public:
    SerialLine(const QString& device, QObject* parent = nullptr);
    ~SerialLine() override;

    void open() override;
    void close() override;
    bool isOpen() const override;
    qint64 bytesAvailable() const override;
    QByteArray read(qint64 maxBytes) override;
    QByteArray peek(qint64 maxBytes) const override;
    void discardInput() override;
    void discardOutput() override;
    void write(const QByteArray& bytes) override;
    QString name() const override { return device; }

    // Applied now when open, else at open; throws BuslinkError naming what the line refused.
    void setSettings(const LineSettings& settings, const QString& text);
    void setDataTerminalReady(bool on);
    bool carrierDetect() const;

    // The reader awaits a frame of this many bytes (0 or 1: unknown). While fewer wait,
    // the line stops reading the device and sleeps until the rest can have crossed the
    // line at its baud rate: one wake-up per frame instead of one per character. Then
    // it reports what came, whole or not (a shorter frame: an exception answer).
    void setWakeAfter(int bytes);

    enum class SilenceDetection { Auto, Always, Never };
    void setSilenceDetection(SilenceDetection mode);
    bool detectsSilence() const;
    int silenceIntervalUs() const;

signals:
    void carrierChanged(bool on);


private:
    void applySettings();
    void armSilence();
    void portError(int error);
    void loseLine(const QString& why);
    void pollCarrier();
    void arrived();
    void pause(qint64 have);
    void resume();
    void endPause();

    QSerialPort* port;
    QString device;
    LineSettings parsed;
    QString settingsText = QStringLiteral("9600,n,8,1");
    bool dtr = false;
    QTimer carrierPoll;
    bool lastCarrier = false;
    QTimer silenceTimer;
    SilenceDetection silenceMode = SilenceDetection::Auto;
    int silenceMs = 0;  // 0: not detected
    int wakeAfter = 0;
    bool paused = false;
    double characterUs = 0;  // from the settings
    int latencyUs = 0;       // the device's delivery latency
    PreciseWake frameWake;
};

} // namespace buslink
