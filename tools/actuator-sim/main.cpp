// actuator-sim: a simulated valve actuator answering Modbus RTU on a serial line.
// This file is the shell: it opens the line, waits in poll() for line bytes,
// standard input, signals and the simulation's next deadline, and hands
// everything to the Simulator.
#include "RtuFraming.h"
#include "SimOptions.h"
#include "Simulator.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <deque>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <string>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

using namespace actuatorsim;

namespace {

std::int64_t monotonicMs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return std::int64_t(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

void say(const std::string& text)
{
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

void complain(const std::string& text) { std::fprintf(stderr, "actuator-sim: %s\n", text.c_str()); }

std::string hex(const Frame& bytes)
{
    std::string text;
    char byte[4];
    for (auto b : bytes) {
        std::snprintf(byte, sizeof byte, "%02X ", b);
        text += byte;
    }
    if (!text.empty()) text.pop_back();
    return text;
}

speed_t speedFor(int baud)
{
    switch (baud) {
    case 300: return B300;
    case 600: return B600;
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    default: return B9600;
    }
}

void fillTermios(termios& tio, const LineSettings& settings)
{
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    tio.c_cflag |= CS8;
    if (settings.parity != 'n') tio.c_cflag |= PARENB;
    if (settings.parity == 'o') tio.c_cflag |= PARODD;
    if (settings.stopBits == 2) tio.c_cflag |= CSTOPB;
    // VMIN 1: an empty non-blocking read gives EAGAIN, so a read of 0 bytes means a hang-up.
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    cfsetispeed(&tio, speedFor(settings.baud));
    cfsetospeed(&tio, speedFor(settings.baud));
}

struct Line {
    int fd = -1;
    int slaveFd = -1;  // our own hold on the pseudo-terminal, so it stays up while masters come and go
    std::string path;
    bool isPty = false;
    termios saved{};
    bool restore = false;

    ~Line()
    {
        if (fd >= 0 && restore) tcsetattr(fd, TCSANOW, &saved);
        if (fd >= 0) ::close(fd);
        if (slaveFd >= 0) ::close(slaveFd);
    }

    bool openPty(const LineSettings& settings, std::string& error)
    {
        termios tio{};
        fillTermios(tio, settings);
        char name[256] = {};
        if (::openpty(&fd, &slaveFd, name, &tio, nullptr) != 0) {
            error = std::string("cannot make a pseudo-terminal: ") + std::strerror(errno);
            return false;
        }
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        ::fcntl(slaveFd, F_SETFD, FD_CLOEXEC);
        path = name;
        isPty = true;
        return true;
    }

    bool openDevice(const std::string& device, const LineSettings& settings, std::string& error)
    {
        fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            error = "cannot open " + device + ": " + std::strerror(errno);
            return false;
        }
        if (!isatty(fd) || tcgetattr(fd, &saved) != 0) {
            error = device + " is not a serial device";
            return false;
        }
        restore = true;
        path = device;
        return configure(settings, error);
    }

    // New line settings: a real device follows them; a pseudo-terminal ignores them anyway.
    bool configure(const LineSettings& settings, std::string& error)
    {
        if (isPty) return true;
        termios tio = saved;
        fillTermios(tio, settings);
        if (tcsetattr(fd, TCSANOW, &tio) != 0) {
            error = "cannot set " + settings.text() + " on " + path + ": " + std::strerror(errno);
            return false;
        }
        tcflush(fd, TCIOFLUSH);
        return true;
    }

    bool send(const Frame& bytes)
    {
        std::size_t done = 0;
        int waits = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
            if (n > 0) {
                done += std::size_t(n);
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && errno != EAGAIN) return false;
            // Nobody drains the line: wait a little, then give the reply up.
            if (++waits > 2) return false;
            pollfd p{fd, POLLOUT, 0};
            ::poll(&p, 1, 50);
        }
        return true;
    }
};

bool stdinIsPipe()
{
    struct stat info {};
    return fstat(STDIN_FILENO, &info) == 0 && (S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode));
}

bool writeFileAtomically(const std::string& path, const std::string& text)
{
    const std::string temporary = path + ".tmp";
    FILE* file = std::fopen(temporary.c_str(), "w");
    if (!file) return false;
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) {
        std::remove(temporary.c_str());
        return false;
    }
    return std::rename(temporary.c_str(), path.c_str()) == 0;
}

class Shell {
public:
    Shell(const SimOptions& options, Simulator& simulator, Line& line)
        : options(options), sim(simulator), line(line), framer(frameGapMs(options.settings.baud))
    {
    }

    int run(int signalFd)
    {
        modelTimeMs = monotonicMs();
        bool stdinOpen = true;
        std::string typed;
        while (running) {
            const std::int64_t now = monotonicMs();
            catchUp(now);
            for (const auto& frame : framer.expire(now)) handleFrame(frame, now);
            sendDue(now);

            pollfd fds[3];
            nfds_t count = 0;
            fds[count++] = {line.fd, POLLIN, 0};
            fds[count++] = {signalFd, POLLIN, 0};
            const nfds_t stdinSlot = count;
            if (stdinOpen) fds[count++] = {STDIN_FILENO, POLLIN, 0};
            if (::poll(fds, count, timeoutMs(now)) < 0) {
                if (errno == EINTR) continue;
                complain(std::string("poll: ") + std::strerror(errno));
                return 1;
            }
            if (fds[1].revents & POLLIN) handleSignal(signalFd);
            if (stdinOpen && fds[stdinSlot].revents) stdinOpen = readConsole(typed);
            if (fds[0].revents & POLLIN) {
                if (!readLine()) return 1;
            } else if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) {
                complain("the line " + line.path + " was closed");
                return 1;
            }
        }
        return 0;
    }

    void writeDumpFile()
    {
        if (options.dumpFile.empty()) return;
        sim.counters().badBytes = framer.discardedBytes();
        if (!writeFileAtomically(options.dumpFile, sim.dump(monotonicMs())))
            complain("cannot write the dump to " + options.dumpFile);
    }

private:
    // Brings the model to the present before anything acts on it: a request, a command or
    // a power cycle that arrives after a long wait must not have that wait charged to it.
    void catchUp(std::int64_t now)
    {
        if (now > modelTimeMs) sim.model().advance(double(now - modelTimeMs));
        modelTimeMs = std::max(modelTimeMs, now);
    }

    int timeoutMs(std::int64_t now) const
    {
        int timeout = sim.model().msUntilNextEvent();
        auto consider = [&timeout, now](std::int64_t deadline) {
            const int left = int(std::max<std::int64_t>(0, deadline - now));
            timeout = timeout < 0 ? left : std::min(timeout, left);
        };
        if (framer.hasPending()) consider(framer.deadline());
        if (!pending.empty()) consider(pending.front().dueMs);
        return timeout;
    }

    void handleFrame(const Frame& frame, std::int64_t now)
    {
        if (options.verbose) std::fprintf(stderr, "RX %s\n", hex(frame).c_str());
        for (auto& out : sim.handleFrame(frame, now)) {
            // Keep the queue in due order; replies due at the same time keep their order.
            auto at = std::upper_bound(pending.begin(), pending.end(), out.dueMs,
                                       [](std::int64_t due, const Outgoing& o) { return due < o.dueMs; });
            pending.insert(at, std::move(out));
        }
        sendDue(now);
    }

    void sendDue(std::int64_t now)
    {
        while (!pending.empty() && pending.front().dueMs <= now) {
            const Frame bytes = std::move(pending.front().bytes);
            pending.pop_front();
            if (options.verbose) std::fprintf(stderr, "TX %s\n", hex(bytes).c_str());
            if (!line.send(bytes)) ++sim.counters().unsent;
        }
    }

    bool readLine()
    {
        std::uint8_t buffer[512];
        for (;;) {
            const ssize_t n = ::read(line.fd, buffer, sizeof buffer);
            if (n > 0) {
                const std::int64_t now = monotonicMs();
                catchUp(now);
                for (const auto& frame : framer.feed(buffer, std::size_t(n), now)) handleFrame(frame, now);
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && errno == EAGAIN) return true;
            complain("the line " + line.path + " was closed");
            return false;
        }
    }

    bool readConsole(std::string& typed)
    {
        char buffer[4096];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            if (n < 0 && (errno == EINTR || errno == EAGAIN)) return true;
            // End of input. From a pipe it means the program driving us is gone
            // (a crashed test, say), so end rather than linger; from a terminal,
            // a file or /dev/null, keep simulating and stop listening.
            if (stdinIsPipe()) running = false;
            return false;
        }
        typed.append(buffer, std::size_t(n));
        std::size_t end;
        while ((end = typed.find('\n')) != std::string::npos) {
            const std::string command = typed.substr(0, end);
            typed.erase(0, end + 1);
            sim.counters().badBytes = framer.discardedBytes();
            const std::int64_t now = monotonicMs();
            catchUp(now);
            const ConsoleResult result = sim.execute(command, now);
            // The line is ready for the new settings before anyone is told.
            if (result.powerCycled) followPowerCycle();
            say(result.output);
            if (result.quit) running = false;
        }
        if (typed.size() > 65536) typed.clear();  // a line nobody will finish
        return true;
    }

    void handleSignal(int signalFd)
    {
        signalfd_siginfo info{};
        while (::read(signalFd, &info, sizeof info) == ssize_t(sizeof info)) {
            switch (info.ssi_signo) {
            case SIGHUP: {
                catchUp(monotonicMs());
                const std::string state = sim.powerCycle();
                followPowerCycle();
                say("POWER-CYCLE " + state + "\n");
                break;
            }
            case SIGUSR1:
                if (options.dumpFile.empty()) {
                    say("ERROR no --dump file\n");
                } else {
                    writeDumpFile();
                    say("DUMPED " + options.dumpFile + "\n");
                }
                break;
            default:
                running = false;
                break;
            }
        }
    }

    void followPowerCycle()
    {
        const LineSettings settings = sim.model().currentSettings();
        framer.restart(frameGapMs(settings.baud));
        pending.clear();  // replies of the old power-on are gone with it
        std::string error;
        if (!line.configure(settings, error)) complain(error);
    }

    const SimOptions& options;
    Simulator& sim;
    Line& line;
    RtuFramer framer;
    std::deque<Outgoing> pending;
    std::int64_t modelTimeMs = 0;  // the time the model has been advanced to
    bool running = true;
};

}  // namespace

int main(int argc, char** argv)
{
    const OptionsResult parsed = parseOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (parsed.options.help) {
        say(usageText());
        return 0;
    }
    if (parsed.options.version) {
        say(versionText());
        return 0;
    }
    if (!parsed.error.empty()) {
        complain(parsed.error + " (try --help)");
        return 2;
    }
    const SimOptions& options = parsed.options;

    std::signal(SIGPIPE, SIG_IGN);
    sigset_t handled;
    sigemptyset(&handled);
    for (int s : {SIGHUP, SIGUSR1, SIGTERM, SIGINT}) sigaddset(&handled, s);
    sigprocmask(SIG_BLOCK, &handled, nullptr);
    const int signalFd = signalfd(-1, &handled, SFD_NONBLOCK | SFD_CLOEXEC);
    if (signalFd < 0) {
        complain(std::string("signalfd: ") + std::strerror(errno));
        return 1;
    }

    Simulator simulator(options);
    if (!simulator.isValid()) {
        complain("cannot set up libmodbus");
        return 1;
    }
    Line line;
    std::string error;
    const bool opened = options.port.empty() ? line.openPty(options.settings, error)
                                             : line.openDevice(options.port, options.settings, error);
    if (!opened) {
        complain(error);
        return 1;
    }
    std::string shown = line.path;
    if (!options.link.empty()) {
        struct stat existing {};
        if (::lstat(options.link.c_str(), &existing) == 0 && S_ISLNK(existing.st_mode)) ::unlink(options.link.c_str());
        if (::symlink(line.path.c_str(), options.link.c_str()) != 0) {
            complain("cannot link " + options.link + ": " + std::strerror(errno));
            return 1;
        }
        shown = options.link;
    }

    say("PORT " + shown + "\n");
    say("READY\n");
    Shell shell(options, simulator, line);
    const int status = shell.run(signalFd);
    shell.writeDumpFile();
    if (!options.link.empty()) ::unlink(options.link.c_str());
    ::close(signalFd);
    return status;
}
