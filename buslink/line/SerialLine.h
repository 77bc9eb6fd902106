#pragma once
// A serial device as a line, over QSerialPort: the settings, DTR and carrier
// detect, silence at the end of a frame, and a device that vanishes.
#include "Line.h"
#include "LineSettings.h"

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
};

} // namespace buslink
