// The device link: receive ring, comm thread, request/response exchanges and the
// unit's commands. The comm thread alone touches the port; other threads hand it
// frames through TxBuf/TxLen and read what it received from RxRing.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string_view>

// ---- Receive ring -------------------------------------------------------------------

constexpr int RX_RING_SIZE = 16384;

extern std::array<uint8_t, RX_RING_SIZE> RxRing;
extern std::atomic<int32_t> RxWriteIndex;   // last byte stored; comm thread only
extern std::atomic<int32_t> RxReadIndex;    // last byte consumed; the current consumer
extern std::atomic<int32_t> RxOverflow;     // 1 when the latest received byte was dropped
extern std::atomic<int32_t> RxResetRequest; // the consumer empties the ring at its next look

// Consumer side. Each first carries out a requested reset: what is unread is discarded.
int RxAvailable();
int RxReadByte();
int RxPeekByte();
// The unread byte offset places after the next one (0: the next), or -1 when it has not come.
int RxPeekByteAt(int offset);
// Any thread: the ring's current consumer discards what is unread before it next looks.
void RequestRxReset();
// Consumer side: carries out a requested reset now (an exchange, before it sends).
void RxApplyReset();
// Comm-thread side: stores one received byte (or drops it when the ring is full), and
// wakes waiting consumers once a batch of bytes is stored.
void RxStoreByte(uint8_t byte);
void RxSignalArrival();
// Consumer side: waits until count bytes are unread or timeoutMs passes; true when they are.
bool WaitForRxData(int count, int timeoutMs);
// Waits until a byte has been stored since RxWriteIndex read seenWriteIndex and at least
// unreadWanted bytes are unread, RxWakeConsumer is called, or timeoutMs passes (never with
// RX_WAIT_FOREVER); true when the bytes have come. It only looks: a requested reset waits.
constexpr int RX_WAIT_FOREVER = -1;
bool WaitForRxArrival(int32_t seenWriteIndex, int unreadWanted, int timeoutMs);
// Ends that wait for another reason than a byte: the port opened or closed, a claim ended.
void RxWakeConsumer();

// ---- Port and comm thread -----------------------------------------------------------

enum PortRequest : int32_t {
    PORT_CLOSE = 0,
    PORT_OPEN = 1,
    PORT_REOPEN = 99,
};

// Port names and device paths are bounded; on Linux a device path may run long
// (/dev/serial/by-id/...), so the buffers are wider than a Windows "\\.\COMn" needs.
constexpr size_t PORT_NAME_SIZE = 256;
constexpr size_t PORT_PATH_SIZE = 256;
constexpr int TX_BUF_SIZE = 256;

// The port name shown until a port is found or configured.
constexpr std::string_view PORT_NAME_START = "COMx";
// PortName is written by discovery on the comm thread and by the settings and Comm Port Setup
// on the main thread, and read by both: every access holds PortNameLock, so that no reader
// sees half of one name and half of another. The two functions take it themselves.
extern std::array<char, PORT_NAME_SIZE> PortName;
extern std::mutex PortNameLock;
std::array<char, PORT_NAME_SIZE> CopyPortName();
// -1, PortName unchanged, when the name does not fit whole: a cut name may be another port.
int StorePortName(std::string_view name);
extern std::array<char, PORT_PATH_SIZE> PortPath;
extern std::atomic<int32_t> PortRequestPending;
extern std::atomic<int32_t> PortRequestCode;
extern std::atomic<int32_t> PortOpen;
extern std::atomic<int32_t> PortStatus;
extern std::atomic<int32_t> DeviceDataWanted;
extern std::atomic<int32_t> RetryDelay;
extern std::array<uint8_t, TX_BUF_SIZE> TxBuf;
extern std::atomic<int32_t> TxLen;

// Always 0. A name that does not fit the device path is refused: PortPath stays empty,
// so the comm thread retries (and discovery may still supply a port) instead of opening
// a truncated name that could be another port.
int RequestPort(int32_t code, const char* name);
int QueueTransmit(const uint8_t* bytes, int length);
void SetPortStatus(int state);

// Discovery's answer as the link needs it: 0 and the port name in buffer, or non-zero when
// automatic finding found no unit (buffer untouched).
int FindPort(char* buffer, size_t size);

// One open attempt (1 success, 0 failure) and the retrying open with back-off.
int OpenPort();
void OpenPortWithRetry();

// The comm thread body; it runs until StopCommThread, which every program calls before it
// ends (the Windows utility when its window has closed).
void CommThreadBody();
void StartCommThread();
void StopCommThread();
extern std::atomic<int32_t> CommThreadStop;

// Bytes written to and read from the port since start, for diagnostics and benchmarks.
extern std::atomic<uint64_t> LinkBytesSent;
extern std::atomic<uint64_t> LinkBytesReceived;
// Live frames as their extraction found them, and the times the open link broke and was asked
// open again, since start: plain counts, each with one writer (the thread that extracts, the
// comm thread), that mq6 doctor reads. A frame is cut short when it lost bytes on the way:
// its sum is wrong and the next frame's "W" began inside it; other wrong sums count as bad.
extern std::atomic<uint64_t> LiveFramesGood;
extern std::atomic<uint64_t> LiveFramesBadSum;
extern std::atomic<uint64_t> LiveFramesCutShort;
extern std::atomic<uint64_t> LinkReconnections;
// Openings of the port since start, counted by the comm thread as each is published: a reader
// that kept the count tells that the line has been closed and opened again since, perhaps to
// another unit, even when it never saw the port closed.
extern std::atomic<uint32_t> PortOpenings;

// Start values of the link's shared state (start-up and tests). ResetLinkState sets those of
// the exchanges and calls the other two: each sets the state its own file keeps, the ring's
// and the port's (the comm thread's).
void ResetLinkState();
void ResetRing();
void ResetPortState();

// ---- Exchanges ---------------------------------------------------------------------

constexpr int MAX_REQUEST_PAYLOAD = 252;
constexpr int DEVICE_INFO_SIZE = 256;

extern std::array<uint8_t, 256> RespBuf;
extern std::atomic<char> LastType;
extern std::array<uint8_t, DEVICE_INFO_SIZE> DeviceInfo;
extern std::atomic<int32_t> DeviceDataValid;
extern std::atomic<int32_t> ErrorShown;
extern std::atomic<int32_t> ExchangeActive;

// Held for the whole of an exchange (send and await), and by claims for all of theirs,
// so exchanges from different threads never overlap.
extern std::recursive_mutex ExchangeLock;

// The link claimed for a run of exchanges (a view switch, a setup read, a programming
// sequence), for as long as the object lives: no display pass consumes RxRing or starts an
// exchange, and no other thread's exchange runs. ExchangeActive is raised before the lock is
// waited for, so the display thread starts no further pass meanwhile; raised again once the
// lock is held, since a claim that ended in between lowered it; and lowered while the lock is
// still held, so it reads 1 for as long as any claim holds the link.
struct LinkClaim {
    LinkClaim();
    ~LinkClaim();
    LinkClaim(const LinkClaim&) = delete;
    LinkClaim& operator=(const LinkClaim&) = delete;
};

struct ResponseRow {
    char type;
    int frameLength;
    bool setsLastType;
};
extern const std::array<ResponseRow, 6> ResponseTable;

int SendRequest(uint8_t classByte, uint8_t subcommand, const uint8_t* payload, int n);
int AwaitResponse(uint8_t header);

// SetStreamMode's modes: the unit streams live frames until it is told to stop.
enum StreamModeCode : uint8_t {
    STREAM_OFF = 0,
    STREAM_LIVE = 8,
};

// The unit's commands: 0 when the reply came with the expected type, else -1.
int SetStreamMode(uint8_t mode);
int ReadDataBlock(uint8_t* destination, int count);
int EnterLoadMode(uint8_t mode);
int WriteBlock(uint16_t wordAddress, const uint8_t* data16);
int LeaveLoadMode();
int ReadBlock(uint16_t wordAddress);
int LoaderReadDataBlock(uint8_t* destination, int count);
int WriteDataRecord(uint8_t offset, const uint8_t* data16);

int StartLiveData();
int GetDeviceData();
// 1 when the last data block read came from the unit's loader alone: its application did not
// answer, so its firmware does not run, whatever its mode byte says.
extern std::atomic<int32_t> DeviceDataFromLoader;
// Data blocks read since start, counted by GetDeviceData after each good read: what a job's end
// knew stands until the next one.
extern std::atomic<uint32_t> DeviceDataReads;
// 1 when the last exchange's reply did not come whole (silence, a cut frame, a wrong sum), 0
// when it came, refusal or not: a sequence that stopped tells the unit's silence from a refusal.
extern std::atomic<int32_t> LastReplyMissing;
// The data block is wanted (DeviceDataWanted, set at every opening of the port) on an open port.
bool DeviceDataPending();
// GetDeviceData for a wanted block: the wish is cleared before the read, so that a reopening
// during it asks for another, and kept when the read failed. GetDeviceData's result.
int ReadWantedDeviceData();
// For a pass of the ring's consumer between exchanges: the exchange lock, held only when no
// exchange runs and no claim holds the link (owns_lock() says which).
std::unique_lock<std::recursive_mutex> HoldIdleLink();

// The data-error box text and caption.
extern const std::string_view DATA_ERROR_TEXT;
extern const std::string_view DATA_ERROR_CAPTION;

// After every read of the data block, on the thread that read it once it has let go of the link:
// the views that show the unit's block (the firmware view's button and text, the setup view's
// values) and the window that shows the data-error box listen. A failed read is
// DEVICE_DATA_UNREADABLE, then DEVICE_DATA_ERROR_DUE where the box is to be shown (ErrorShown is
// then set), when a listener shows it on a thread of its own (DataErrorBoxElsewhere 1; with 0,
// as in mq6 and the tests, GetDeviceData shows it itself).
enum DeviceDataEvent : int {
    DEVICE_DATA_UNREADABLE = 0,
    DEVICE_DATA_READ = 1,
    DEVICE_DATA_ERROR_DUE = 2,
};
using DeviceDataListener = void (*)(DeviceDataEvent event);
int AddDeviceDataListener(DeviceDataListener listener);
void RemoveDeviceDataListener(DeviceDataListener listener);
extern std::atomic<int32_t> DataErrorBoxElsewhere;

// The port indicator changed (1 "Open  ", 0 "Closed"), or an opening failed: on the comm thread,
// a front end redraws its status line.
using PortStatusListener = void (*)(int status);
int AddPortStatusListener(PortStatusListener listener);
void RemovePortStatusListener(PortStatusListener listener);
