#pragma once
// A one-shot wake-up at a moment given in microseconds. Qt's timers count whole
// milliseconds, which at 115200 baud is ten characters: too coarse to wake a
// reader right when a frame's last byte is due. On Linux the wake comes from a
// timerfd watched by the event loop; elsewhere it falls back to a precise QTimer.
#include <QObject>

class QSocketNotifier;
class QTimer;

namespace buslink {

class PreciseWake : public QObject {
    Q_OBJECT
public:
    explicit PreciseWake(QObject* parent = nullptr);
    ~PreciseWake() override;

    void start(qint64 microseconds);
    void stop();
    bool isActive() const { return active; }

signals:
    void due();

private:
    void fire();

    bool active = false;
    int fd = -1;
    QSocketNotifier* notifier = nullptr;
    QTimer* timer = nullptr;
};

} // namespace buslink
