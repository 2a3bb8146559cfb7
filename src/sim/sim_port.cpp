// The pseudo-terminal and the wire model. The master side stays open for the whole run;
// while no client has the slave open (the master reports a hang-up) the unit keeps
// running but what it sends goes nowhere, as on a serial line with nobody listening, so a
// client that opens the port later never reads stale frames.
#include "sim/sim_port.h"

#include "sim/sim_files.h"
#include "sim/sim_options.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

volatile sig_atomic_t StopRequested = 0;
volatile sig_atomic_t UnplugRequested = 0;

namespace {

constexpr int QUEUE_SIZE = 16384;
constexpr int BITS_PER_BYTE = 10;
constexpr int64_t IDLE_WAIT_NS = 100'000'000;
// Nothing tells the master that a client opened the slave; a detached port is looked at
// again this often.
constexpr int64_t DETACHED_POLL_NS = 5'000'000;
// Paced bytes leave one by one at their wire time, as from a real line; batching them
// would make every reply late by the batch and charge that to the link under test.
constexpr int64_t MIN_PACED_WAIT_NS = 0;

struct ByteQueue {
    std::array<uint8_t, QUEUE_SIZE> bytes;
    int head = 0;
    int count = 0;
};

ByteQueue OutputQueue;
ByteQueue InputQueue;
int Master = -1;
bool Attached = false;
bool WriteBlocked = false;
// Pacing clocks: when the last byte queued in each direction has crossed the wire.
int64_t TxClockNs = 0;
int64_t RxClockNs = 0;
long ReceivedBytes = 0;
bool Vanished = false;
UnitSide Unit{};
sigset_t WaitMask;

int64_t ByteTimeNs() {
    return Options.baud == 0 ? 0 : int64_t{1'000'000'000} * BITS_PER_BYTE / Options.baud;
}

void QueuePush(ByteQueue& queue, uint8_t byte) {
    queue.bytes[static_cast<size_t>((queue.head + queue.count) % QUEUE_SIZE)] = byte;
    ++queue.count;
}

uint8_t QueuePop(ByteQueue& queue) {
    uint8_t byte = queue.bytes[static_cast<size_t>(queue.head)];
    queue.head = (queue.head + 1) % QUEUE_SIZE;
    --queue.count;
    return byte;
}

void QueueDrop(ByteQueue& queue, int count) {
    queue.head = (queue.head + count) % QUEUE_SIZE;
    queue.count -= count;
}

void QueueClear(ByteQueue& queue) {
    queue.head = 0;
    queue.count = 0;
}

// Waits until deadline or a signal; fd < 0 waits on nothing but the clock.
int WaitUntil(int64_t deadlineNs, int fd, short events, short& revents) {
    int64_t waitNs = std::max<int64_t>(0, deadlineNs - MonotonicNs());
    timespec timeout{static_cast<time_t>(waitNs / 1'000'000'000),
                     static_cast<long>(waitNs % 1'000'000'000)};
    pollfd entry{fd, events, 0};
    int result = ppoll(&entry, fd < 0 ? 0 : 1, &timeout, &WaitMask);
    revents = entry.revents;
    return result;
}

// Only a symbolic link (or nothing) is replaced: whatever else stands at the path is the
// user's.
bool ReplaceLink(const char* target) {
    if (Options.linkPath.empty())
        return true;
    if (!LinkPathFree())
        return false;
    std::string temporary = Options.linkPath + ".new";
    unlink(temporary.c_str());
    // A client that waits for the name would wait for ever: a link that cannot be made ends the
    // run, as a port that cannot be opened does.
    if (symlink(target, temporary.c_str()) != 0 ||
        rename(temporary.c_str(), Options.linkPath.c_str()) != 0) {
        std::fprintf(stderr, "mq6-sim: cannot link %s to %s: %s\n", Options.linkPath.c_str(),
                     target, std::strerror(errno));
        unlink(temporary.c_str());
        return false;
    }
    return true;
}

void RemoveLink() {
    struct stat status {};
    if (!Options.linkPath.empty() && lstat(Options.linkPath.c_str(), &status) == 0 &&
        S_ISLNK(status.st_mode))
        unlink(Options.linkPath.c_str());
}

// A fresh pty in raw mode, announced on stdout and through --link. The slave is opened once
// to set the line and closed again, which leaves the master in its hang-up state until a
// client opens the slave.
bool OpenPort() {
    Master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (Master < 0 || grantpt(Master) != 0 || unlockpt(Master) != 0) {
        std::perror("mq6-sim: posix_openpt");
        return false;
    }
    const char* name = ptsname(Master);
    int slave = name ? open(name, O_RDWR | O_NOCTTY | O_CLOEXEC) : -1;
    if (slave < 0) {
        std::perror("mq6-sim: cannot open the pty slave");
        return false;
    }
    termios line{};
    tcgetattr(slave, &line);
    cfmakeraw(&line);
    line.c_cflag |= CLOCAL | CREAD;
    cfsetispeed(&line, B57600);
    cfsetospeed(&line, B57600);
    tcsetattr(slave, TCSANOW, &line);
    close(slave);
    std::string path = name;
    if (!ReplaceLink(path.c_str()))
        return false;
    std::printf("%s\n", path.c_str());
    std::fflush(stdout);
    Attached = false;
    WriteBlocked = false;
    QueueClear(InputQueue);
    QueueClear(OutputQueue);
    Unit.forget();
    return true;
}

// The name goes before the pty: once the master is closed the kernel may give its number to
// the next pty opened on the machine, and a client that still follows the name must not reach
// that one.
void ClosePort() {
    RemoveLink();
    if (Master >= 0)
        close(Master);
    Master = -1;
}

// A client killed before it could give up the terminal's exclusive mode leaves the mode on, as
// the terminal lives on with the master: every later opener but root would be refused. The
// simulator holds the other end and clears it; without root's right to open the terminal
// then, it puts a new terminal in its place, as after a vanish (the --link follows).
bool ClearLeftExclusiveMode() {
    const char* name = ptsname(Master);
    int slave = name != nullptr ? open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC) : -1;
    if (slave < 0 && errno == EBUSY) {
        std::fprintf(stderr, "mq6-sim: the client left the terminal in exclusive mode; a new "
                             "terminal takes its place\n");
        ClosePort();
        return OpenPort();
    }
    int exclusive = 0;
    if (slave >= 0 && ioctl(slave, TIOCGEXCL, &exclusive) == 0 && exclusive != 0 &&
        ioctl(slave, TIOCNXCL) == 0)
        std::fprintf(stderr, "mq6-sim: the client left the terminal in exclusive mode; cleared\n");
    if (slave >= 0)
        close(slave);
    return true;
}

// Attached while some client holds the slave open. Bytes still unread from a client that
// has just closed are taken first. False when the terminal is gone for good.
bool UpdateAttached() {
    short revents = 0;
    WaitUntil(0, Master, POLLIN, revents);
    bool attached = !(revents & POLLHUP) || (revents & POLLIN);
    if (attached && !Attached) {
        // Whatever reached the slave between the last client's close and now is stale.
        tcflush(Master, TCOFLUSH);
        TxClockNs = MonotonicNs();
    }
    bool gone = Attached && !attached;
    Attached = attached;
    if (!Attached) {
        QueueClear(OutputQueue);
        WriteBlocked = false;
    }
    return !gone || ClearLeftExclusiveMode();
}

void ReadInput(int64_t nowNs) {
    if (InputQueue.count == 0)
        RxClockNs = std::max(RxClockNs, nowNs);
    std::array<uint8_t, 512> chunk;
    while (InputQueue.count < QUEUE_SIZE) {
        size_t room = std::min(chunk.size(), static_cast<size_t>(QUEUE_SIZE - InputQueue.count));
        ssize_t got = read(Master, chunk.data(), room);
        if (got <= 0)
            return;
        for (ssize_t i = 0; i < got; ++i)
            QueuePush(InputQueue, chunk[static_cast<size_t>(i)]);
    }
}

// Hands the unit the bytes that have crossed the wire by now; returns when the next one
// will have. Stops at once when the byte count for --vanish-after is reached.
int64_t DeliverInput(int64_t nowNs) {
    int64_t byteNs = ByteTimeNs();
    while (InputQueue.count > 0) {
        if (byteNs > 0) {
            if (RxClockNs + byteNs > nowNs)
                return RxClockNs + byteNs;
            RxClockNs += byteNs;
        }
        Unit.receive(QueuePop(InputQueue));
        ++ReceivedBytes;
        if (Options.vanishAfter > 0 && ReceivedBytes == Options.vanishAfter) {
            Vanished = true;
            return nowNs;
        }
    }
    return NO_DEADLINE;
}

// Writes the bytes due by now (all of them when unpaced); returns when to come back.
int64_t SendDueOutput(int64_t nowNs) {
    if (OutputQueue.count == 0)
        return NO_DEADLINE;
    int64_t byteNs = ByteTimeNs();
    int due = OutputQueue.count;
    if (byteNs > 0) {
        due = static_cast<int>(std::min<int64_t>(due, (nowNs - TxClockNs) / byteNs));
        if (due <= 0)
            return std::max(TxClockNs + byteNs, nowNs + MIN_PACED_WAIT_NS);
    }
    while (due > 0) {
        int chunk = std::min(due, QUEUE_SIZE - OutputQueue.head);
        ssize_t written =
            write(Master, OutputQueue.bytes.data() + OutputQueue.head, static_cast<size_t>(chunk));
        if (written <= 0) {
            WriteBlocked = written < 0 && errno == EAGAIN;
            return WriteBlocked ? nowNs + IDLE_WAIT_NS : nowNs + DETACHED_POLL_NS;
        }
        QueueDrop(OutputQueue, static_cast<int>(written));
        TxClockNs += written * byteNs;
        due -= static_cast<int>(written);
    }
    WriteBlocked = false;
    if (OutputQueue.count == 0)
        return NO_DEADLINE;
    return std::max(TxClockNs + byteNs, nowNs + MIN_PACED_WAIT_NS);
}

// A wait that returns at once (ready descriptors, zero timeout) restores the signal mask
// before a blocked signal could be delivered, so a busy line would hold off SIGTERM for as
// long as it stays busy; the loop therefore also looks at the pending set itself.
bool StopPending() {
    sigset_t pending;
    sigpending(&pending);
    if (sigismember(&pending, SIGTERM) || sigismember(&pending, SIGINT))
        StopRequested = 1;
    return StopRequested != 0;
}

// The port disappears as an unplugged adapter would. With --reappear-ms a new pty takes
// its place; returns false when the run must end (no reappearance, or stopped meanwhile).
bool VanishPort() {
    ClosePort();
    if (Options.reappearMs < 0)
        return false;
    int64_t until = MonotonicNs() + Options.reappearMs * 1'000'000;
    short revents = 0;
    while (!StopPending() && MonotonicNs() < until)
        WaitUntil(until, -1, 0, revents);
    return !StopPending() && OpenPort();
}

} // namespace

int64_t MonotonicNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t{now.tv_sec} * 1'000'000'000 + now.tv_nsec;
}

bool QueueOutput(const uint8_t* bytes, int count) {
    if (!Attached || OutputQueue.count + count > QUEUE_SIZE)
        return false;
    if (OutputQueue.count == 0)
        TxClockNs = std::max(TxClockNs, MonotonicNs());
    for (int i = 0; i < count; ++i) {
        uint8_t byte = bytes[i];
        if (Options.noise > 0.0 && std::bernoulli_distribution(Options.noise)(FaultRandom))
            byte ^= static_cast<uint8_t>(1u << (FaultRandom() % 8));
        QueuePush(OutputQueue, byte);
    }
    return true;
}

int OutputPending() {
    return OutputQueue.count;
}

int ServeUnit(const UnitSide& unit) {
    Unit = unit;
    sigprocmask(SIG_SETMASK, nullptr, &WaitMask);
    sigdelset(&WaitMask, SIGTERM);
    sigdelset(&WaitMask, SIGINT);
    if (!OpenPort())
        return 1;
    while (!StopPending()) {
        if (!UpdateAttached())
            return 1;
        int64_t nowNs = MonotonicNs();
        int64_t deadline = std::min(nowNs + IDLE_WAIT_NS, DeliverInput(nowNs));
        if (Vanished || UnplugRequested != 0) {
            Vanished = false;
            UnplugRequested = 0;
            if (!VanishPort())
                return StopRequested ? 0 : 3;
            continue;
        }
        deadline = std::min(deadline, Unit.run(nowNs));
        deadline = std::min(deadline, SendDueOutput(nowNs));
        short revents = 0;
        if (!Attached) {
            WaitUntil(std::min(deadline, nowNs + DETACHED_POLL_NS), -1, 0, revents);
        } else {
            short events = InputQueue.count < QUEUE_SIZE ? POLLIN : 0;
            if (WriteBlocked)
                events |= POLLOUT;
            WaitUntil(deadline, Master, events, revents);
        }
        if (revents & POLLIN)
            ReadInput(MonotonicNs());
    }
    ClosePort();
    return 0;
}
