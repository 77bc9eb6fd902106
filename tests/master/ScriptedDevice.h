#pragma once
// The far end of a pseudo-terminal, played by the test itself: it collects each
// request the component sends and answers as a script says, in one piece or in
// several with gaps, late, damaged or not at all. It runs on the test's thread
// from a socket notifier, so it answers from inside the component's waits.
#include "PtyPair.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QSocketNotifier>
#include <QVector>
#include <functional>

class ScriptedDevice : public QObject {
    Q_OBJECT
public:
    enum Framing { Rtu, Ascii };
    struct Chunk {
        QByteArray bytes;
        int delayMs = 0;  // after the previous chunk (the first: after the request)
    };
    using Script = std::function<QList<Chunk>(const QByteArray& request)>;

    ScriptedDevice(PtyPair& pty, Framing framing = Rtu);

    // The answer to each following request; the default serves `registers` correctly.
    void setScript(Script script) { answer = std::move(script); }
    void serveCorrectly() { answer = [this](const QByteArray& r) { return QList<Chunk>{{correctAnswer(r), 0}}; }; }
    void stayQuiet() { answer = [](const QByteArray&) { return QList<Chunk>{}; }; }
    // A hook run when a request arrives, before the answer (tests look at the component's state there).
    void onRequest(std::function<void(const QByteArray&)> hook) { requestHook = std::move(hook); }

    QList<QByteArray> requests;     // every request received, as on the line
    QVector<quint16> registers;     // holding registers 0..999 (0-based), written by the writes served
    QVector<bool> coils;

    // The correct answer to a request (RTU bytes or ASCII text, framed).
    QByteArray correctAnswer(const QByteArray& request);
    // Frames the bytes of an answer (unit, function, data) for the line.
    QByteArray frame(const QByteArray& bytes) const;
    // The bytes of a request without its framing and check.
    QByteArray bytesOf(const QByteArray& request) const;

    // Lets events run until `count` requests have arrived or timeoutMs passed.
    bool waitForRequests(int count, int timeoutMs = 3000);
    // Lets events run for a while (answers still being sent go out meanwhile).
    static void runFor(int ms);

private:
    void readable();
    int requestLength(const QByteArray& pending) const;
    void sendLater(QList<Chunk> chunks);

    PtyPair& line;
    Framing framing;
    QSocketNotifier notifier;
    QByteArray pending;
    Script answer;
    std::function<void(const QByteArray&)> requestHook;
};
