// Serial port on POSIX: termios, 57600 8N1 raw, no flow control, DTR and RTS raised.
// Reads never block; they return what has arrived.
#include "link/serial.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {
// Atomic words, not locks: SerialReleaseExclusive reads them in a signal handler.
std::atomic<int> PortFd{-1};
// 1 while this program holds the terminal's exclusive mode that it set itself (root may open a
// terminal another program holds exclusively, and must not clear that program's mode).
std::atomic<int> OwnExclusive{0};
static_assert(std::atomic<int>::is_always_lock_free);

int WakeFd() {
    static const int fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    return fd;
}

// A hung-up line (the adapter unplugged, the peer gone) reads as "nothing yet" on some
// devices; poll tells the two apart.
bool LineHungUp() {
    pollfd entry{PortFd, POLLIN, 0};
    if (poll(&entry, 1, 0) < 0)
        return errno != EINTR;
    return (entry.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}
} // namespace

int SerialMakePath(const char* name, char* path, size_t size) {
    size_t length = strnlen(name, size);
    if (length == 0 || length >= size) {
        if (size > 0)
            path[0] = '\0';
        return -1;
    }
    std::memcpy(path, name, length + 1);
    return 0;
}

bool SerialIsOpen() {
    return PortFd >= 0;
}

namespace {
std::atomic<int32_t> LastOpenFailure{SERIAL_OPEN_OK};
std::atomic<int32_t> LowLatency{0};

int32_t OpenFailureOf(int error) {
    switch (error) {
    case EBUSY:
    case EWOULDBLOCK:
        return SERIAL_OPEN_BUSY;
    case EACCES:
    case EPERM:
        return SERIAL_OPEN_DENIED;
    case ENOENT:
    case ENODEV:
    case ENXIO:
    case ENOTDIR:
        return SERIAL_OPEN_MISSING;
    case ENOTTY:
        return SERIAL_OPEN_NOT_TERMINAL;
    case EISDIR:
        return SERIAL_OPEN_DIRECTORY;
    default:
        return SERIAL_OPEN_OTHER;
    }
}
} // namespace

int SerialOpen(const char* path) {
    int fd = open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        LastOpenFailure.store(OpenFailureOf(errno), std::memory_order_release);
        return 0;
    }
    // Not shared: a second opener gets EBUSY, as on Windows. Root passes the terminal's
    // exclusive mode, so every program that honours the advisory lock is kept out by it too.
    int exclusive = 0;
    bool terminal = ioctl(fd, TIOCGEXCL, &exclusive) == 0;
    OwnExclusive.store(terminal && exclusive == 0 ? 1 : 0);
    PortFd.store(fd);
    if ((terminal && ioctl(fd, TIOCEXCL) != 0) || flock(fd, LOCK_EX | LOCK_NB) != 0) {
        int error = errno;
        SerialReleaseExclusive();
        PortFd.store(-1);
        close(fd);
        LastOpenFailure.store(OpenFailureOf(error), std::memory_order_release);
        return 0;
    }
    LastOpenFailure.store(SERIAL_OPEN_OK, std::memory_order_release);
    return 1;
}

int SerialLastOpenFailure() {
    return LastOpenFailure.load(std::memory_order_acquire);
}

int SerialLowLatency() {
    return LowLatency.load(std::memory_order_acquire);
}

int SerialSetEventMask() {
    return 1;
}

int SerialSetTimeouts() {
    return 1; // the descriptor is non-blocking: reads return at once
}

int SerialConfigureLine() {
    termios line{};
    if (tcgetattr(PortFd, &line) != 0) {
        LastOpenFailure.store(OpenFailureOf(errno), std::memory_order_release);
        return 0;
    }
    cfmakeraw(&line);
    cfsetispeed(&line, B57600);
    cfsetospeed(&line, B57600);
    line.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
    line.c_cflag |= CS8 | CLOCAL | CREAD;
    line.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK);
    line.c_cc[VMIN] = 0;
    line.c_cc[VTIME] = 0;
    if (tcsetattr(PortFd, TCSANOW, &line) != 0)
        return 0;
    // Pseudo-terminals have no modem lines; a real adapter gets DTR and RTS raised.
    int lines = TIOCM_DTR | TIOCM_RTS;
    ioctl(PortFd, TIOCMBIS, &lines);
    // USB-serial drivers take the low-latency flag as "pass bytes on at once" (the FTDI
    // driver sets its latency timer to 1 ms); a pseudo-terminal has no such setting.
    serial_struct settings{};
    int lowLatency = 0;
    if (ioctl(PortFd, TIOCGSERIAL, &settings) == 0) {
        settings.flags |= ASYNC_LOW_LATENCY;
        lowLatency = ioctl(PortFd, TIOCSSERIAL, &settings) == 0 ? 1 : 0;
    }
    LowLatency.store(lowLatency, std::memory_order_release);
    return 1;
}

int SerialSetQueues(int, int) {
    return 1;
}

void SerialClose() {
    SerialReleaseExclusive();
    int fd = PortFd.exchange(-1);
    if (fd >= 0)
        close(fd);
}

void SerialReleaseExclusive() {
    int fd = PortFd.load();
    if (fd >= 0 && OwnExclusive.exchange(0) != 0)
        ioctl(fd, TIOCNXCL);
}

int SerialRead(uint8_t* buffer, int size) {
    ssize_t count = read(PortFd, buffer, static_cast<size_t>(size));
    if (count > 0)
        return static_cast<int>(count);
    if (count < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
        return -1;
    return LineHungUp() ? -1 : 0;
}

int SerialWrite(const uint8_t* bytes, int length) {
    int done = 0;
    while (done < length) {
        ssize_t count = write(PortFd, bytes + done, static_cast<size_t>(length - done));
        if (count > 0) {
            done += static_cast<int>(count);
            continue;
        }
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd entry{PortFd, POLLOUT, 0};
            if (poll(&entry, 1, 1000) <= 0 || (entry.revents & (POLLHUP | POLLERR)) != 0)
                return -1;
            continue;
        }
        return -1;
    }
    return 0;
}

void SerialWait(int timeoutMs) {
    pollfd entries[2] = {{WakeFd(), POLLIN, 0}, {PortFd, POLLIN, 0}};
    int count = PortFd >= 0 ? 2 : 1;
    if (poll(entries, static_cast<nfds_t>(count), timeoutMs) > 0 && (entries[0].revents & POLLIN)) {
        eventfd_t drained;
        eventfd_read(WakeFd(), &drained);
    }
}

void SerialWake() {
    eventfd_write(WakeFd(), 1);
}
