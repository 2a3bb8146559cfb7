// Request/response exchanges with the unit: frame building, the response scanner, the
// unit's eight commands and the data-block read.
#include "link/link.h"
#include "platform/listeners.h"
#include "platform/notice.h"
#include "platform/ticks.h"

#include <algorithm>
#include <cstring>

std::array<uint8_t, 256> RespBuf{};
std::atomic<char> LastType{0};
std::array<uint8_t, DEVICE_INFO_SIZE> DeviceInfo{};
std::atomic<int32_t> ErrorShown{0};
std::atomic<int32_t> ExchangeActive{0};
std::recursive_mutex ExchangeLock;
std::atomic<int32_t> DataErrorBoxElsewhere{0};
namespace {
ListenerList<DeviceDataListener> DeviceDataListeners;
} // namespace

int AddDeviceDataListener(DeviceDataListener listener) {
    return AddListener(DeviceDataListeners, listener);
}

void RemoveDeviceDataListener(DeviceDataListener listener) {
    RemoveListener(DeviceDataListeners, listener);
}

const std::string_view DATA_ERROR_TEXT =
    "                Get MQ-6 Data Error\n\nPlease Check Power and USB Connection to the MQ-6";
const std::string_view DATA_ERROR_CAPTION = "Error";

// Searched from the first row; the first row whose type matches wins.
const std::array<ResponseRow, 6> ResponseTable = {{
    {'A', 7, true},   // acknowledge, 3 payload bytes
    {'N', 7, true},   // refusal, 3 payload bytes
    {'F', 20, true},  // 16 bytes read back from the loader
    {'E', 260, true}, // the 256-byte data block
    {'Y', 0, false},  // one payload byte; leaves LastType alone
    {'Y', 0, false},  // never reached: the row above matches first
}};

namespace {
constexpr int OVERALL_LIMIT_TICKS = 30;
constexpr int BYTE_LIMIT_TICKS = 5;
constexpr int HEADER_POLL_MS = 20;
constexpr int BYTE_POLL_MS = 1;
constexpr uint8_t BLANK = 0x20;

enum CommandIndex {
    CMD_SET_STREAM_MODE,
    CMD_READ_DATA_BLOCK,
    CMD_ENTER_LOAD_MODE,
    CMD_WRITE_BLOCK,
    CMD_LEAVE_LOAD_MODE,
    CMD_READ_BLOCK,
    CMD_LOADER_READ_DATA_BLOCK,
    CMD_WRITE_DATA_RECORD,
};

struct CommandRow {
    uint8_t classByte;
    uint8_t subcommand;
    uint8_t replyHeader; // 0: no reply awaited
    char expectedType;
};

constexpr std::array<CommandRow, 8> CommandTable = {{
    {'R', 0, 'W', 'A'},  // SetStreamMode: mode byte, nine zero bytes
    {'R', 7, 'W', 'E'},  // ReadDataBlock: ten blanks
    {'R', 15, 'Z', 'A'}, // EnterLoadMode: "LoadMode", mode byte, blank
    {'Z', 0, 'Z', 'A'},  // WriteBlock: word address (high, low), 16 data bytes
    {'Z', 1, 0, 0},      // LeaveLoadMode: 18 blanks, nothing awaited
    {'Z', 2, 'Z', 'F'},  // ReadBlock: word address, the byte 7, 15 blanks
    {'Z', 3, 'Z', 'E'},  // LoaderReadDataBlock: 18 blanks
    {'Z', 4, 'Z', 'A'},  // WriteDataRecord: offset, 16 data bytes, blank
}};

constexpr int R_PAYLOAD = 10;
constexpr int Z_PAYLOAD = 18;

bool TicksPassed(int32_t since, int ticks) {
    return TickCount.load(std::memory_order_acquire) - since > ticks;
}

// Waits until count bytes are unread: the rest of a frame arrives back to back, so the
// wait is woken by each arrival rather than paced by a sleep. False after more than five
// ticks.
bool PollForBytes(int count) {
    int32_t start = TickCount.load(std::memory_order_acquire);
    while (!WaitForRxData(count, BYTE_POLL_MS)) {
        if (TicksPassed(start, BYTE_LIMIT_TICKS))
            return false;
    }
    return true;
}

const ResponseRow* FindResponseRow(int type) {
    for (const ResponseRow& row : ResponseTable)
        if (row.type == type)
            return &row;
    return nullptr;
}

int RunCommand(CommandIndex index, const uint8_t* payload, int n, uint8_t* destination, int count) {
    const CommandRow& command = CommandTable[index];
    std::lock_guard<std::recursive_mutex> hold(ExchangeLock);
    // A reset asked for earlier must not wait for the first look at the reply: by then the
    // reply itself could be discarded with the old bytes.
    RxApplyReset();
    // A request that cannot go out (the port has gone) gets no reply either.
    LastReplyMissing.store(1, std::memory_order_release);
    if (SendRequest(command.classByte, command.subcommand, payload, n) != 0)
        return -1;
    if (command.replyHeader == 0) {
        LastReplyMissing.store(0, std::memory_order_release);
        return 0;
    }
    int awaited = AwaitResponse(command.replyHeader);
    LastReplyMissing.store(awaited != 0 ? 1 : 0, std::memory_order_release);
    if (awaited != 0)
        return -1;
    if (LastType.load(std::memory_order_acquire) != command.expectedType)
        return -1;
    if (destination != nullptr)
        std::memcpy(destination, RespBuf.data(), static_cast<size_t>(std::clamp(count, 0, 256)));
    return 0;
}

std::array<uint8_t, Z_PAYLOAD> BlankPayload() {
    std::array<uint8_t, Z_PAYLOAD> payload;
    payload.fill(BLANK);
    return payload;
}
} // namespace

LinkClaim::LinkClaim() {
    ExchangeActive.store(1, std::memory_order_release);
    ExchangeLock.lock();
    ExchangeActive.store(1, std::memory_order_release);
}

LinkClaim::~LinkClaim() {
    ExchangeActive.store(0, std::memory_order_release);
    ExchangeLock.unlock();
    RxWakeConsumer(); // the display thread's next pass sees what the claim changed (the view)
}

std::unique_lock<std::recursive_mutex> HoldIdleLink() {
    std::unique_lock<std::recursive_mutex> hold(ExchangeLock, std::try_to_lock);
    if (hold.owns_lock() && ExchangeActive.load(std::memory_order_acquire) != 0)
        hold.unlock();
    return hold;
}

int SendRequest(uint8_t classByte, uint8_t subcommand, const uint8_t* payload, int n) {
    if (n < 0 || n > MAX_REQUEST_PAYLOAD)
        return -1;
    std::array<uint8_t, TX_BUF_SIZE> frame;
    frame[0] = classByte;
    frame[1] = subcommand;
    if (n > 0)
        std::memcpy(frame.data() + 2, payload, static_cast<size_t>(n));
    unsigned sum = 0;
    for (int i = 0; i < n + 2; ++i)
        sum += frame[i];
    frame[n + 2] = static_cast<uint8_t>((sum >> 8) & 0xFF);
    frame[n + 3] = static_cast<uint8_t>(sum & 0xFF);
    return QueueTransmit(frame.data(), n + 4) == 0 ? 0 : -1;
}

int AwaitResponse(uint8_t header) {
    int32_t start = TickCount.load(std::memory_order_acquire);
    for (;;) {
        int32_t pass = TickCount.load(std::memory_order_acquire);
        if (pass - start > OVERALL_LIMIT_TICKS)
            return -1;
        // The first two bytes are awaited in slices of 20 ms, each ended early by an arrival.
        while (!WaitForRxData(2, HEADER_POLL_MS)) {
            if (TicksPassed(pass, BYTE_LIMIT_TICKS))
                return -1;
        }
        if (RxReadByte() != header)
            continue;
        if (RxPeekByte() == header)
            continue; // the second header byte starts the next pass
        int type = RxReadByte();
        const ResponseRow* row = FindResponseRow(type);
        if (row == nullptr)
            continue;
        unsigned sum = header + static_cast<unsigned>(type);
        int payloadCount = std::max(row->frameLength - 4, 1);
        for (int i = 0; i < payloadCount; ++i) {
            if (!PollForBytes(1))
                return -1;
            int byte = RxReadByte();
            RespBuf[static_cast<size_t>(i)] = static_cast<uint8_t>(byte);
            sum += static_cast<unsigned>(byte);
        }
        if (!PollForBytes(2))
            return -1;
        int high = RxReadByte();
        int low = RxReadByte();
        if (static_cast<unsigned>(high * 256 + low) != (sum & 0xFFFF))
            return -1;
        if (row->setsLastType)
            LastType.store(row->type, std::memory_order_release);
        return 0;
    }
}

int SetStreamMode(uint8_t mode) {
    std::array<uint8_t, R_PAYLOAD> payload{};
    payload[0] = mode;
    return RunCommand(CMD_SET_STREAM_MODE, payload.data(), R_PAYLOAD, nullptr, 0);
}

int ReadDataBlock(uint8_t* destination, int count) {
    std::array<uint8_t, R_PAYLOAD> payload;
    payload.fill(BLANK);
    return RunCommand(CMD_READ_DATA_BLOCK, payload.data(), R_PAYLOAD, destination, count);
}

int EnterLoadMode(uint8_t mode) {
    std::array<uint8_t, R_PAYLOAD> payload = {'L', 'o', 'a', 'd', 'M', 'o', 'd', 'e', mode, BLANK};
    return RunCommand(CMD_ENTER_LOAD_MODE, payload.data(), R_PAYLOAD, nullptr, 0);
}

int WriteBlock(uint16_t wordAddress, const uint8_t* data16) {
    std::array<uint8_t, Z_PAYLOAD> payload;
    payload[0] = static_cast<uint8_t>(wordAddress >> 8);
    payload[1] = static_cast<uint8_t>(wordAddress & 0xFF);
    std::memcpy(payload.data() + 2, data16, 16);
    return RunCommand(CMD_WRITE_BLOCK, payload.data(), Z_PAYLOAD, nullptr, 0);
}

int LeaveLoadMode() {
    std::array<uint8_t, Z_PAYLOAD> payload = BlankPayload();
    return RunCommand(CMD_LEAVE_LOAD_MODE, payload.data(), Z_PAYLOAD, nullptr, 0);
}

int ReadBlock(uint16_t wordAddress) {
    std::array<uint8_t, Z_PAYLOAD> payload = BlankPayload();
    payload[0] = static_cast<uint8_t>(wordAddress >> 8);
    payload[1] = static_cast<uint8_t>(wordAddress & 0xFF);
    payload[2] = 7;
    return RunCommand(CMD_READ_BLOCK, payload.data(), Z_PAYLOAD, nullptr, 0);
}

int LoaderReadDataBlock(uint8_t* destination, int count) {
    std::array<uint8_t, Z_PAYLOAD> payload = BlankPayload();
    return RunCommand(CMD_LOADER_READ_DATA_BLOCK, payload.data(), Z_PAYLOAD, destination, count);
}

int WriteDataRecord(uint8_t offset, const uint8_t* data16) {
    std::array<uint8_t, Z_PAYLOAD> payload = BlankPayload();
    payload[0] = offset;
    std::memcpy(payload.data() + 1, data16, 16);
    return RunCommand(CMD_WRITE_DATA_RECORD, payload.data(), Z_PAYLOAD, nullptr, 0);
}

int StartLiveData() {
    SetStreamMode(STREAM_LIVE);
    return 0;
}

int GetDeviceData() {
    bool read = false;
    {
        std::lock_guard<std::recursive_mutex> hold(ExchangeLock);
        bool applicationAnswered = SetStreamMode(STREAM_OFF) == 0;
        SleepMs(20);
        read = ReadDataBlock(DeviceInfo.data(), DEVICE_INFO_SIZE) == 0;
        // The loader's reads are for a unit that sits in its loader (an update cut short). One
        // whose application has just acknowledged the stop is not there: it would leave each
        // of them unanswered for half a second, while a block damaged on the line is worth
        // asking for again instead.
        bool fromLoader = false;
        for (int attempt = 0; attempt < 3 && !read && !applicationAnswered; ++attempt)
            fromLoader = read = LoaderReadDataBlock(DeviceInfo.data(), DEVICE_INFO_SIZE) == 0;
        DeviceDataFromLoader.store(fromLoader ? 1 : 0, std::memory_order_release);
    }
    if (!read) {
        DeviceDataValid.store(0, std::memory_order_release);
        CallListeners(DeviceDataListeners, DEVICE_DATA_UNREADABLE);
        // Shown after the exchanges: a box waiting for the user holds no lock.
        if (ErrorShown.load(std::memory_order_acquire) == 0) {
            if (DataErrorBoxElsewhere.load(std::memory_order_acquire) != 0) {
                ErrorShown.store(1, std::memory_order_release);
                CallListeners(DeviceDataListeners, DEVICE_DATA_ERROR_DUE);
            } else if (ShowNotice(DATA_ERROR_TEXT, DATA_ERROR_CAPTION,
                                  NOTICE_ERROR_ICON | NOTICE_TOPMOST) != 0) {
                ErrorShown.store(1, std::memory_order_release);
            }
        }
        return -1;
    }
    DeviceDataValid.store(1, std::memory_order_release);
    DeviceDataReads.fetch_add(1, std::memory_order_acq_rel);
    CallListeners(DeviceDataListeners, DEVICE_DATA_READ);
    return 0;
}

bool DeviceDataPending() {
    return PortOpen.load(std::memory_order_acquire) != 0 &&
           DeviceDataWanted.load(std::memory_order_acquire) != 0;
}

int ReadWantedDeviceData() {
    DeviceDataWanted.store(0, std::memory_order_release);
    int read = GetDeviceData();
    if (read != 0)
        DeviceDataWanted.store(1, std::memory_order_release);
    return read;
}

void ResetLinkState() {
    ResetRing();
    ResetPortState();
    LastType.store(0);
    DeviceInfo.fill(0);
    DeviceDataValid.store(0);
    DeviceDataFromLoader.store(0);
    LastReplyMissing.store(0);
    ErrorShown.store(0);
    ExchangeActive.store(0);
}
