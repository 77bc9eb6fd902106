#pragma once
// Runs the event loop of a long-running subcommand (serve, scan, read --poll) until
// it is interrupted (SIGINT, SIGTERM), told to stop, or its time is up.
#include <QEventLoop>
#include <QTimer>

#include <csignal>

namespace cli {

class StopSignal {
public:
    StopSignal()
    {
        stopping() = 0;
        std::signal(SIGINT, onSignal);
        std::signal(SIGTERM, onSignal);
        // The handler only sets a flag; a slow timer brings it into the event loop.
        watch.setInterval(100);
        QObject::connect(&watch, &QTimer::timeout, &loop, [this] {
            if (stopping()) loop.quit();
        });
    }
    ~StopSignal()
    {
        std::signal(SIGINT, SIG_DFL);
        std::signal(SIGTERM, SIG_DFL);
    }
    // Runs until a signal, stop() or, when seconds > 0, that many seconds.
    void run(double seconds)
    {
        watch.start();
        if (seconds > 0) QTimer::singleShot(int(seconds * 1000), &loop, &QEventLoop::quit);
        if (!stopping()) loop.exec();
        watch.stop();
    }
    void stop() { loop.quit(); }
    // A signal has come (work between two waits looks here before it starts more).
    bool interrupted() const { return stopping() != 0; }

private:
    static volatile std::sig_atomic_t& stopping()
    {
        static volatile std::sig_atomic_t flag = 0;
        return flag;
    }
    static void onSignal(int) { stopping() = 1; }

    QEventLoop loop;
    QTimer watch;
};

} // namespace cli
