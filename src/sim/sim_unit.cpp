// The unit's firmware as the link sees it. Requests are strict: a frame that the utility
// should never send (wrong padding, unknown mode, address out of range) is refused with
// type 'N' where the command has a reply, and reported on stderr, so a fault in the
// utility shows up as a failed exchange instead of passing unnoticed.
#include "sim/sim_unit.h"

#include "sim/sim_files.h"
#include "sim/sim_options.h"
#include "sim/sim_port.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <numbers>
#include <string_view>

bool Streaming = false;

namespace {

constexpr uint8_t CLASS_APPLICATION = 'R';
constexpr uint8_t CLASS_LOADER = 'Z';
constexpr int APPLICATION_FRAME_SIZE = 14;
constexpr int LOADER_FRAME_SIZE = 22;
constexpr uint8_t BLANK = 0x20;

enum ApplicationCommand : uint8_t {
    SET_STREAM_MODE = 0,
    READ_DATA_BLOCK = 7,
    ENTER_LOAD_MODE = 15,
};

enum LoaderCommand : uint8_t {
    WRITE_BLOCK = 0,
    LEAVE_LOAD_MODE = 1,
    READ_BLOCK = 2,
    LOADER_READ_DATA_BLOCK = 3,
    WRITE_DATA_RECORD = 4,
};

constexpr uint8_t STREAM_OFF = 0;
constexpr uint8_t STREAM_LIVE = 8;
constexpr uint8_t LOAD_MODE_FIRMWARE = 1;
constexpr uint8_t LOAD_MODE_SETUP = 2;
constexpr uint8_t READ_BLOCK_MARK = 7;
constexpr std::string_view LOAD_MODE_WORD = "LoadMode";

// Live frames wait while this much is still queued, so a slow line skips frames instead of
// falling ever further behind.
constexpr int LIVE_BACKLOG_LIMIT = 64;

// Data block layout: setup block, the firmware's own information bytes, banner, filler, mode
// byte.
constexpr int SETUP_BLOCK_OFFSET = 4;
constexpr int SETTINGS_END = 0x80;
constexpr int BANNER_OFFSET = 0x80;
constexpr int FILLER_OFFSET = 0xDD;
constexpr std::array<uint8_t, 20> SETUP_BLOCK_DEFAULTS{0x05, 0xBE, 0x00, 0x00, 0x00, 0x40, 0x40,
                                                       0x00, 0x32, 0x03, 0xE8, 0x07, 0xD0, 0x00,
                                                       0x32, 0x03, 0xE8, 0x07, 0xD0, 0x80};
constexpr int SETUP_BLOCK_SIZE = 64;
constexpr uint8_t SETUP_BLOCK_FILLER = 0x5A;
constexpr uint8_t OTHER_FIRMWARE_FILLER = 0xA5;
constexpr uint8_t BANNER_FILLER = 0x55;
// The sample firmware's information bytes after the setup block (firmware/sample-image.txt): by
// them the programs know that this unit runs the sample firmware and may take the samples.
constexpr std::string_view SAMPLE_FIRMWARE_NOTE =
    "SAMPLE firmware of the MQ-6 WB Utility; not for a real unit.";
static_assert(SETUP_BLOCK_OFFSET + SETUP_BLOCK_SIZE + SAMPLE_FIRMWARE_NOTE.size() == SETTINGS_END);

constexpr std::string_view BANNER_DESCRIPTION = "MQ-6 LSU 4.2 Controller. ";
constexpr std::string_view BANNER_NOTICE = "Copyright (c) 2026 MQ-6 Project. ";
constexpr std::string_view BANNER_RIGHTS = "All rights reserved. ";
constexpr std::string_view BANNER_VERSION = "Version: X.YY";
static_assert(BANNER_OFFSET + BANNER_DESCRIPTION.size() == 0x99);
static_assert(0x99 + BANNER_NOTICE.size() == 0xBA);
static_assert(0xBA + BANNER_RIGHTS.size() == 0xCF);
static_assert(0xCF + BANNER_VERSION.size() == 0xDC);

std::array<uint8_t, LOADER_FRAME_SIZE> RequestBuf;
int RequestLength = 0;
long WriteBlockCount = 0;
long DataReadCount = 0; // ReadDataBlock requests since start, for --ignore-data-reads
int64_t StartNs = 0;
int64_t NextLiveFrameNs = 0;

void Complain(const char* command, const char* what) {
    std::fprintf(stderr, "mq6-sim: %s refused: %s\n", command, what);
}

bool AllBytesAre(const uint8_t* bytes, int count, uint8_t value) {
    return std::all_of(bytes, bytes + count, [value](uint8_t byte) { return byte == value; });
}

uint16_t SumBytes(const uint8_t* bytes, int count) {
    unsigned sum = 0;
    for (int i = 0; i < count; ++i)
        sum += bytes[i];
    return static_cast<uint16_t>(sum);
}

// Appends the sum, high byte first, spoiling it now and then under --corrupt.
void AppendSum(uint8_t* frame, int length) {
    uint16_t sum = SumBytes(frame, length);
    if (Options.corrupt > 0.0 && std::bernoulli_distribution(Options.corrupt)(FaultRandom))
        sum ^= static_cast<uint16_t>(1u << (FaultRandom() % 16));
    frame[length] = static_cast<uint8_t>(sum >> 8);
    frame[length + 1] = static_cast<uint8_t>(sum);
}

void SendReply(uint8_t header, uint8_t type, const uint8_t* payload, int count) {
    std::array<uint8_t, DATA_BLOCK_SIZE + 4> frame;
    frame[0] = header;
    frame[1] = type;
    std::memcpy(frame.data() + 2, payload, static_cast<size_t>(count));
    AppendSum(frame.data(), count + 2);
    const long cut = Options.cutReply > 0 ? Options.cutReply : count + 4;
    QueueOutput(frame.data(), static_cast<int>(std::min<long>(cut, count + 4)));
}

// 'A' and 'N' replies carry three payload bytes that mean nothing.
void SendStatus(uint8_t header, uint8_t type) {
    constexpr std::array<uint8_t, 3> nothing{0, 0, 0};
    SendReply(header, type, nothing.data(), static_cast<int>(nothing.size()));
}

void WriteBanner(int majorVersion, int minorVersion) {
    std::array<char, BANNER_VERSION.size() + 1> version;
    std::snprintf(version.data(), version.size(), "Version: %1d.%02d", majorVersion, minorVersion);
    size_t at = BANNER_OFFSET;
    for (std::string_view piece : {BANNER_DESCRIPTION, BANNER_NOTICE, BANNER_RIGHTS,
                                   std::string_view(version.data(), BANNER_VERSION.size())}) {
        std::memcpy(DataBlock.data() + at, piece.data(), piece.size());
        at += piece.size();
    }
    DataBlock[at] = 0;
}

void BuildDefaultDataBlock() {
    DataBlock.fill(0);
    std::fill(DataBlock.begin() + SETUP_BLOCK_OFFSET,
              DataBlock.begin() + SETUP_BLOCK_OFFSET + SETUP_BLOCK_SIZE, SETUP_BLOCK_FILLER);
    std::copy(SETUP_BLOCK_DEFAULTS.begin(), SETUP_BLOCK_DEFAULTS.end(),
              DataBlock.begin() + SETUP_BLOCK_OFFSET);
    if (Options.otherFirmware)
        std::fill(DataBlock.begin() + SETUP_BLOCK_OFFSET + SETUP_BLOCK_SIZE,
                  DataBlock.begin() + SETTINGS_END, OTHER_FIRMWARE_FILLER);
    else
        std::copy(SAMPLE_FIRMWARE_NOTE.begin(), SAMPLE_FIRMWARE_NOTE.end(),
                  DataBlock.begin() + SETUP_BLOCK_OFFSET + SETUP_BLOCK_SIZE);
    WriteBanner(Options.versionMajor, Options.versionMinor);
    std::fill(DataBlock.begin() + FILLER_OFFSET, DataBlock.begin() + UNIT_MODE_OFFSET,
              BANNER_FILLER);
    DataBlock[UNIT_MODE_OFFSET] = static_cast<uint8_t>(Options.unitMode);
}

int BlockOffset(const uint8_t* addressBytes) {
    return ((addressBytes[0] << 8) | addressBytes[1]) * 2;
}

bool BlockFits(int offset) {
    return offset + 16 <= PROGRAM_SIZE;
}

bool InTableArea(int offset) {
    return offset >= TABLE1_WORD_ADDRESS * 2 && offset < TABLE2_WORD_ADDRESS * 2 + SETUP_TABLE_SIZE;
}

// Block n of a setup write run is enciphered with the key advanced n times, n counted over
// table 1 and then table 2, so each block deciphers on its own from its position.
void DecipherSetupTables() {
    for (int block = 0; block < 2 * SETUP_TABLE_BLOCKS; ++block) {
        bool first = block < SETUP_TABLE_BLOCKS;
        int index = first ? block : block - SETUP_TABLE_BLOCKS;
        int wordAddress = (first ? TABLE1_WORD_ADDRESS : TABLE2_WORD_ADDRESS) + 8 * index;
        uint8_t* plain = (first ? SetupTable1 : SetupTable2).data() + 16 * index;
        std::memcpy(plain, ProgramMemory.data() + 2 * wordAddress, 16);
        DecipherBlock16(KeyForBlock(static_cast<uint32_t>(block)), plain);
    }
}

bool EnterLoader(uint8_t mode) {
    InLoader = true;
    LoadMode = mode;
    TablesWrittenInSession = false;
    Streaming = false;
    DataBlock[UNIT_MODE_OFFSET] = mode;
    return SaveState();
}

// The restart into the application: a setup session's tables are taken into use, and the
// mode byte is cleared because the update it announced is complete.
void LeaveLoader() {
    bool setupWritten = LoadMode == LOAD_MODE_SETUP && TablesWrittenInSession;
    if (setupWritten)
        DecipherSetupTables();
    InLoader = false;
    LoadMode = 0;
    TablesWrittenInSession = false;
    Streaming = false;
    if (!Options.keepMode)
        DataBlock[UNIT_MODE_OFFSET] = 0;
    if (setupWritten)
        std::fill_n(DataBlock.begin() + SETUP_BLOCK_OFFSET + 3, 2,
                    static_cast<uint8_t>(Options.spareBytes));
    SaveState();
    if (setupWritten)
        DumpTables();
}

void HandleSetStreamMode(const uint8_t* payload) {
    uint8_t mode = payload[0];
    if (!AllBytesAre(payload + 1, 9, 0) || (mode != STREAM_OFF && mode != STREAM_LIVE)) {
        Complain("SetStreamMode", "mode must be 0 or 8, padded with nine zero bytes");
        SendStatus('W', 'N');
        return;
    }
    Streaming = mode == STREAM_LIVE;
    if (Streaming)
        NextLiveFrameNs = 0;
    SendStatus('W', 'A');
}

void HandleReadDataBlock(const uint8_t* payload) {
    if (!AllBytesAre(payload, 10, BLANK)) {
        Complain("ReadDataBlock", "payload must be ten blanks");
        SendStatus('W', 'N');
        return;
    }
    if (++DataReadCount <= Options.ignoreDataReads)
        return;
    SendReply('W', 'E', DataBlock.data(), DATA_BLOCK_SIZE);
}

void HandleEnterLoadMode(const uint8_t* payload) {
    uint8_t mode = payload[LOAD_MODE_WORD.size()];
    bool wellFormed = std::memcmp(payload, LOAD_MODE_WORD.data(), LOAD_MODE_WORD.size()) == 0 &&
                      (mode == LOAD_MODE_FIRMWARE || mode == LOAD_MODE_SETUP) &&
                      payload[LOAD_MODE_WORD.size() + 1] == BLANK;
    if (!wellFormed)
        Complain("EnterLoadMode", "payload must be \"LoadMode\", mode 1 or 2, one blank");
    if (!wellFormed || Options.refuseLoad) {
        SendStatus('Z', 'N');
        return;
    }
    if (EnterLoader(mode))
        SendStatus('Z', 'A');
}

void HandleApplicationRequest(const uint8_t* frame) {
    const uint8_t* payload = frame + 2;
    switch (frame[1]) {
    case SET_STREAM_MODE:
        HandleSetStreamMode(payload);
        break;
    case READ_DATA_BLOCK:
        HandleReadDataBlock(payload);
        break;
    case ENTER_LOAD_MODE:
        HandleEnterLoadMode(payload);
        break;
    default:
        std::fprintf(stderr, "mq6-sim: unknown application request R/%d ignored\n", frame[1]);
        break;
    }
}

void HandleWriteBlock(const uint8_t* payload) {
    int offset = BlockOffset(payload);
    if (!BlockFits(offset)) {
        Complain("WriteBlock", "address beyond program memory");
        SendStatus('Z', 'N');
        return;
    }
    if (++WriteBlockCount == Options.failWrite) {
        SendStatus('Z', 'N');
        return;
    }
    std::memcpy(ProgramMemory.data() + offset, payload + 2, 16);
    if (InTableArea(offset))
        TablesWrittenInSession = true;
    if (SaveState())
        SendStatus('Z', 'A');
}

void HandleReadBlock(const uint8_t* payload) {
    int offset = BlockOffset(payload);
    if (payload[2] != READ_BLOCK_MARK || !AllBytesAre(payload + 3, 15, BLANK)) {
        Complain("ReadBlock", "payload must be the address, the byte 7 and 15 blanks");
        SendStatus('Z', 'N');
        return;
    }
    if (!BlockFits(offset)) {
        Complain("ReadBlock", "address beyond program memory");
        SendStatus('Z', 'N');
        return;
    }
    SendReply('Z', 'F', ProgramMemory.data() + offset, 16);
}

void HandleWriteDataRecord(const uint8_t* payload) {
    int offset = payload[0];
    if (offset + 16 > DATA_BLOCK_SIZE || payload[17] != BLANK) {
        Complain("WriteDataRecord", "record must fit the data block and end with a blank");
        SendStatus('Z', 'N');
        return;
    }
    std::memcpy(DataBlock.data() + offset, payload + 1, 16);
    if (SaveState())
        SendStatus('Z', 'A');
}

void HandleLoaderRequest(const uint8_t* frame) {
    const uint8_t* payload = frame + 2;
    switch (frame[1]) {
    case WRITE_BLOCK:
        HandleWriteBlock(payload);
        break;
    case LEAVE_LOAD_MODE:
        if (AllBytesAre(payload, 18, BLANK))
            LeaveLoader();
        else
            Complain("LeaveLoadMode", "payload must be 18 blanks");
        break;
    case READ_BLOCK:
        HandleReadBlock(payload);
        break;
    case LOADER_READ_DATA_BLOCK:
        if (AllBytesAre(payload, 18, BLANK)) {
            SendReply('Z', 'E', DataBlock.data(), DATA_BLOCK_SIZE);
        } else {
            Complain("LoaderReadDataBlock", "payload must be 18 blanks");
            SendStatus('Z', 'N');
        }
        break;
    case WRITE_DATA_RECORD:
        HandleWriteDataRecord(payload);
        break;
    default:
        std::fprintf(stderr, "mq6-sim: unknown loader request Z/%d ignored\n", frame[1]);
        break;
    }
}

// The application answers only 'R' requests; the loader answers 'Z' requests and, of the
// application's, only EnterLoadMode. Everything else meets silence, which is how the
// utility tells which of the two runs.
void HandleRequest(const uint8_t* frame) {
    if (Options.silent)
        return;
    if (frame[0] == CLASS_APPLICATION) {
        if (!InLoader)
            HandleApplicationRequest(frame);
        else if (frame[1] == ENTER_LOAD_MODE)
            HandleEnterLoadMode(frame + 2);
    } else if (InLoader) {
        HandleLoaderRequest(frame);
    }
}

int FrameSizeFor(uint8_t classByte) {
    if (classByte == CLASS_APPLICATION)
        return APPLICATION_FRAME_SIZE;
    if (classByte == CLASS_LOADER)
        return LOADER_FRAME_SIZE;
    return 0;
}

void DropFirstRequestByte() {
    std::memmove(RequestBuf.data(), RequestBuf.data() + 1, static_cast<size_t>(RequestLength - 1));
    --RequestLength;
}

} // namespace

void ResetUnit(int64_t nowNs) {
    BuildDefaultDataBlock();
    ProgramMemory.fill(0xFF);
    SetupTable1.fill(0);
    SetupTable2.fill(0);
    InLoader = false;
    LoadMode = 0;
    TablesWrittenInSession = false;
    Streaming = false;
    FaultRandom.seed(Options.seed);
    RequestLength = 0;
    WriteBlockCount = 0;
    DataReadCount = 0;
    StartNs = nowNs;
    NextLiveFrameNs = 0;
}

// A frame starts at a class byte and has that class's fixed length. A frame with a wrong
// sum loses only its first byte, so a real frame that follows stray bytes is still found.
void ReceiveRequestByte(uint8_t byte) {
    RequestBuf[static_cast<size_t>(RequestLength++)] = byte;
    while (RequestLength > 0) {
        int size = FrameSizeFor(RequestBuf[0]);
        if (size == 0) {
            DropFirstRequestByte();
            continue;
        }
        if (RequestLength < size)
            return;
        uint16_t sum = SumBytes(RequestBuf.data(), size - 2);
        bool sumOk = RequestBuf[size - 2] == (sum >> 8) && RequestBuf[size - 1] == (sum & 0xFF);
        LogRequest(RequestBuf.data(), size, sumOk);
        if (!sumOk) {
            DropFirstRequestByte();
            continue;
        }
        RequestLength = 0;
        HandleRequest(RequestBuf.data());
    }
}

void ResetRequestFraming() {
    RequestLength = 0;
}

uint32_t LambdaToRaw(double lambda) {
    // Lambda 0.67 to 1.67 fills the lower half of the raw range finely (raw / 256 = (lambda -
    // 0.67) * 32767); leaner mixtures take the coarse upper half (raw / 256 = 32767 + lambda
    // * 158).
    constexpr double LOW_LAMBDA = 0.67;
    constexpr uint32_t LOW_RANGE_TOP = 0x7FFF00;
    if (lambda <= LOW_LAMBDA)
        return 0;
    if (lambda <= LOW_LAMBDA + 1.0)
        return std::min(LOW_RANGE_TOP, static_cast<uint32_t>(
                                           std::lround((lambda - LOW_LAMBDA) * 32767.0 * 256.0)));
    double raw = std::round((32767.0 + lambda * 158.0) * 256.0);
    return static_cast<uint32_t>(std::clamp(raw, double{LOW_RANGE_TOP + 1}, double{0xFFFFFF}));
}

double ProfileLambda(double seconds) {
    const LambdaProfile& profile = Options.profile;
    double phase = std::fmod(seconds, profile.periodSeconds) / profile.periodSeconds;
    double span = profile.high - profile.low;
    switch (profile.shape) {
    case ProfileShape::Const:
        return profile.low;
    case ProfileShape::Sweep:
        return profile.low + span * (phase < 0.5 ? 2.0 * phase : 2.0 - 2.0 * phase);
    case ProfileShape::Sine:
        return profile.low + span * 0.5 * (1.0 + std::sin(2.0 * std::numbers::pi * phase));
    case ProfileShape::Step:
        return phase < 0.5 ? profile.low : profile.high;
    }
    return profile.low;
}

int64_t RunLiveStream(int64_t nowNs) {
    if (!Streaming || InLoader || Options.silent)
        return NO_DEADLINE;
    int64_t periodNs = static_cast<int64_t>(1e9 / Options.rate);
    if (nowNs < NextLiveFrameNs)
        return NextLiveFrameNs;
    if (OutputPending() <= LIVE_BACKLOG_LIMIT) {
        uint32_t raw = LambdaToRaw(ProfileLambda(static_cast<double>(nowNs - StartNs) * 1e-9));
        auto stoich = static_cast<uint16_t>(std::lround(Options.stoich * 100.0));
        std::array<uint8_t, 9> frame{'W',
                                     0,
                                     static_cast<uint8_t>(raw >> 16),
                                     static_cast<uint8_t>(raw >> 8),
                                     static_cast<uint8_t>(raw),
                                     static_cast<uint8_t>(stoich >> 8),
                                     static_cast<uint8_t>(stoich)};
        AppendSum(frame.data(), 7);
        QueueOutput(frame.data(), static_cast<int>(frame.size()));
    }
    NextLiveFrameNs = NextLiveFrameNs == 0 ? nowNs + periodNs : NextLiveFrameNs + periodNs;
    if (NextLiveFrameNs <= nowNs)
        NextLiveFrameNs = nowNs + periodNs;
    return NextLiveFrameNs;
}
