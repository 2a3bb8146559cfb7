// The comm thread: the only code that touches the serial port. It opens and reopens
// the port with a growing back-off, writes the frame handed over in TxBuf and stores
// every received byte in RxRing.
#include "link/link.h"
#include "link/serial.h"
#include "platform/listeners.h"
#include "platform/ticks.h"

#include <cstring>
#include <mutex>
#include <thread>

namespace {
constexpr int FIRST_RETRY_DELAY_MS = 125;
} // namespace

std::array<char, PORT_PATH_SIZE> PortPath{};
std::atomic<int32_t> PortRequestPending{0};
std::atomic<int32_t> PortRequestCode{0};
std::atomic<int32_t> RetryDelay{FIRST_RETRY_DELAY_MS};
std::array<uint8_t, TX_BUF_SIZE> TxBuf;
std::atomic<int32_t> TxLen{0};
std::atomic<int32_t> CommThreadStop{0};
std::atomic<uint64_t> LinkBytesSent{0};
std::atomic<uint64_t> LinkBytesReceived{0};
std::atomic<uint64_t> LiveFramesGood{0};
std::atomic<uint64_t> LiveFramesBadSum{0};
std::atomic<uint64_t> LiveFramesCutShort{0};
std::atomic<uint64_t> LinkReconnections{0};
std::atomic<uint32_t> PortOpenings{0};

namespace {
constexpr int MAX_RETRY_DELAY_MS = 6000;
constexpr int RX_QUEUE_SIZE = 4096;
constexpr int TX_QUEUE_SIZE = 1024;
constexpr int READ_CHUNK = 256;
// How long the comm thread blocks when there is nothing to do. Every port request, frame to
// send and stop wakes it at once, so this is only a bound; it is long because each needless
// wake-up costs the Windows utility requests to Wine's server.
constexpr int IDLE_WAIT_MS = 1000;

// PortPath is written by the main thread while the comm thread may be opening the port;
// the lock keeps the comm thread from reading half a name.
std::mutex PortPathLock;
std::thread CommThread;

bool Stopping() {
    return CommThreadStop.load(std::memory_order_acquire) != 0;
}

// Sleeps in short slices so that a stopping thread does not sit out a 6 s back-off.
void SleepUnlessStopping(int milliseconds) {
    while (milliseconds > 0 && !Stopping()) {
        int slice = milliseconds < 10 ? milliseconds : 10;
        SleepMs(slice);
        milliseconds -= slice;
    }
}

void SetPortPathFromName(const char* name) {
    std::lock_guard<std::mutex> hold(PortPathLock);
    PortPath[0] = '\0';
    if (name != nullptr)
        SerialMakePath(name, PortPath.data(), PortPath.size());
}

// A frame still waiting when the port goes was meant for the line that went with it; written
// after a reopen, perhaps seconds later, it would reach a unit that no one is waiting on.
void DropPendingFrame() {
    TxLen.store(0, std::memory_order_release);
}

void ClosePortHandle() {
    SerialClose();
    SetPortStatus(0);
    PortOpen.store(0, std::memory_order_release);
    DropPendingFrame();
    // The block read belongs to the unit on the line that went; the next one may be another.
    DeviceDataValid.store(0, std::memory_order_release);
    DeviceDataWanted.store(1, std::memory_order_release);
    RxWakeConsumer(); // the live values are stale now
}

// After OpenPortWithRetry: from here on frames may be queued, and none from before counts.
void PublishPortOpen() {
    DropPendingFrame();
    PortOpenings.store(PortOpenings.load(std::memory_order_relaxed) + 1, std::memory_order_release);
    PortOpen.store(1, std::memory_order_release);
    RxWakeConsumer(); // the data block is to be read
}

void ServicePortRequest() {
    switch (PortRequestCode.load(std::memory_order_acquire)) {
    case PORT_CLOSE:
        ClosePortHandle();
        break;
    case PORT_OPEN:
        RetryDelay.store(FIRST_RETRY_DELAY_MS, std::memory_order_relaxed);
        OpenPortWithRetry();
        PublishPortOpen();
        break;
    case PORT_REOPEN: {
        ClosePortHandle();
        int32_t reopen = PORT_REOPEN; // a newer request stays as it was made
        PortRequestCode.compare_exchange_strong(reopen, PORT_OPEN, std::memory_order_acq_rel);
        RetryDelay.store(FIRST_RETRY_DELAY_MS, std::memory_order_relaxed);
        OpenPortWithRetry();
        PublishPortOpen();
        break;
    }
    default:
        break;
    }
}

// Runs while the port is open; returns false after an I/O error.
bool ServeOpenPort() {
    std::array<uint8_t, READ_CHUNK> received;
    while (PortOpen.load(std::memory_order_acquire) != 0 && !Stopping()) {
        int length = TxLen.load(std::memory_order_acquire);
        if (length != 0) {
            int written = SerialWrite(TxBuf.data(), length);
            TxLen.store(0, std::memory_order_release);
            if (written < 0)
                return false;
            // The comm thread is the only writer, so a plain load and store suffice.
            LinkBytesSent.store(LinkBytesSent.load(std::memory_order_relaxed) +
                                    static_cast<uint64_t>(length),
                                std::memory_order_relaxed);
        }
        int count = SerialRead(received.data(), static_cast<int>(received.size()));
        if (count < 0)
            return false;
        if (count == 0) {
            SerialWait(IDLE_WAIT_MS);
            return true;
        }
        for (int i = 0; i < count; ++i)
            RxStoreByte(received[i]);
        RxSignalArrival();
        LinkBytesReceived.store(LinkBytesReceived.load(std::memory_order_relaxed) +
                                    static_cast<uint64_t>(count),
                                std::memory_order_relaxed);
    }
    return true;
}
} // namespace

void ResetPortState() {
    StorePortName(PORT_NAME_START);
    SetPortPathFromName(nullptr);
    PortRequestPending.store(0);
    PortRequestCode.store(0);
    PortOpen.store(0);
    PortStatus.store(0);
    DeviceDataWanted.store(1);
    RetryDelay.store(FIRST_RETRY_DELAY_MS);
    TxLen.store(0);
}

int RequestPort(int32_t code, const char* name) {
    PortOpen.store(0, std::memory_order_release);
    SetPortPathFromName(name);
    PortRequestCode.store(code, std::memory_order_release);
    PortRequestPending.store(1, std::memory_order_release);
    SerialWake();
    return 0;
}

int QueueTransmit(const uint8_t* bytes, int length) {
    if (PortOpen.load(std::memory_order_acquire) == 0)
        return -1;
    if (TxLen.load(std::memory_order_acquire) != 0)
        return -1;
    if (length < 0 || length > TX_BUF_SIZE)
        return -1;
    std::memcpy(TxBuf.data(), bytes, static_cast<size_t>(length));
    TxLen.store(length, std::memory_order_release);
    SerialWake();
    return 0;
}

namespace {
ListenerList<PortStatusListener> PortStatusListeners;
} // namespace

int AddPortStatusListener(PortStatusListener listener) {
    return AddListener(PortStatusListeners, listener);
}

void RemovePortStatusListener(PortStatusListener listener) {
    RemoveListener(PortStatusListeners, listener);
}

void SetPortStatus(int state) {
    PortStatus.store(state, std::memory_order_release);
    CallListeners(PortStatusListeners, state);
}

int OpenPort() {
    if (SerialIsOpen()) {
        ClosePortHandle();
        SleepUnlessStopping(FIRST_RETRY_DELAY_MS);
    }
    std::array<char, PORT_PATH_SIZE> path;
    {
        std::lock_guard<std::mutex> hold(PortPathLock);
        path = PortPath;
    }
    if (path[0] == '\0' || !SerialOpen(path.data()))
        return 0;
    // A port that misses any of its settings is not used: without its time-outs a read could
    // block this thread for ever, and then no close or reopen request would be served.
    if (!SerialSetEventMask() || !SerialSetTimeouts() || !SerialConfigureLine() ||
        !SerialSetQueues(RX_QUEUE_SIZE, TX_QUEUE_SIZE)) {
        SerialClose();
        return 0;
    }
    SetPortStatus(1);
    return 1;
}

namespace {
void TakeDiscoveredPort() {
    std::array<char, PORT_NAME_SIZE> found{};
    if (FindPort(found.data(), found.size()) == 0)
        SetPortPathFromName(found.data());
}
} // namespace

void OpenPortWithRetry() {
    if (SerialIsOpen())
        SerialClose();
    SleepUnlessStopping(FIRST_RETRY_DELAY_MS);
    DeviceDataWanted.store(1, std::memory_order_release);
    TakeDiscoveredPort();
    if (OpenPort() == 1)
        return;
    // The indicator stays "Closed", but the line may now say why: no unit found, or no such port.
    CallListeners(PortStatusListeners, 0);
    while (!Stopping()) {
        int delay = RetryDelay.load(std::memory_order_relaxed) * 2;
        if (delay > MAX_RETRY_DELAY_MS)
            delay = MAX_RETRY_DELAY_MS;
        RetryDelay.store(delay, std::memory_order_relaxed);
        SleepUnlessStopping(delay);
        TakeDiscoveredPort();
        if (OpenPort() == 1)
            return;
    }
}

void CommThreadBody() {
    while (!Stopping()) {
        // Taken before it is served: a request made meanwhile stays pending for the next turn.
        if (PortRequestPending.exchange(0, std::memory_order_acq_rel) != 0)
            ServicePortRequest();
        if (PortOpen.load(std::memory_order_acquire) == 0) {
            SerialWait(IDLE_WAIT_MS);
            continue;
        }
        if (!ServeOpenPort()) {
            LinkReconnections.store(LinkReconnections.load(std::memory_order_relaxed) + 1,
                                    std::memory_order_relaxed);
            PortRequestCode.store(PORT_REOPEN, std::memory_order_release);
            PortRequestPending.store(1, std::memory_order_release);
            SleepMs(1);
        }
    }
}

void StartCommThread() {
    if (CommThread.joinable())
        return;
    CommThreadStop.store(0, std::memory_order_release);
    CommThread = std::thread(CommThreadBody);
}

void StopCommThread() {
    if (!CommThread.joinable())
        return;
    CommThreadStop.store(1, std::memory_order_release);
    SerialWake();
    CommThread.join();
    if (SerialIsOpen())
        SerialClose();
    PortOpen.store(0, std::memory_order_release);
}
