// The loader sequences end to end: against mq6-sim over its pseudo-terminal, and against a
// scripted loader on a pseudo-terminal for read-backs that no honest unit gives.
#include "firmware/banner.h"
#include "firmware/firmware_image.h"
#include "firmware/programming.h"
#include "firmware/test_files.h"
#include "link/link.h"
#include "support/pty_peer.h"
#include "support/sim_process.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <thread>

namespace {

using Bytes = std::vector<uint8_t>;
using Texts = std::vector<std::string>;
using Info = std::array<uint8_t, DEVICE_INFO_SIZE>;
const std::string COMM_ERROR =
    "       Comm Error\n\nCheck PC to MQ-6 WB Connection\n\nIs the MQ-6 WB Powered On?";
const std::string MODE = "Program Mode Failure\n";
const std::string VERIFY = "Program Verify Failure\n";
const std::string DATA = "Program Mode Data Failure\n";

// What a run reported: runs of steps ("S169"), SETPOS ("P0"), phases, and whether every
// report found the link claimed (ExchangeActive set, the exchange lock held).
Texts Progress;
std::vector<int> Phases;
bool LinkClaimed = true;

void RecordProgress(ProgressMessage message, int position) {
    LinkClaimed = LinkClaimed && ExchangeActive.load() == 1;
    if (Progress.empty())
        std::thread([] {
            bool taken = !ExchangeLock.try_lock();
            if (!taken)
                ExchangeLock.unlock();
            LinkClaimed = LinkClaimed && taken;
        }).join();
    if (message == PROGRESS_STEPIT && !Progress.empty() && Progress.back()[0] == 'S')
        Progress.back() = "S" + std::to_string(std::stoi(Progress.back().substr(1)) + 1);
    else
        Progress.push_back(message == PROGRESS_STEPIT ? "S1" : "P" + std::to_string(position));
}

void ClearRecords() {
    Progress.clear();
    Phases.clear();
    LinkClaimed = true;
    ProgramPhaseHook = [](int phase) { Phases.push_back(phase); };
}

// The request commands in order, runs of one folded: "R/7 R/15 Z/3x2 Z/0x169".
std::string Outline(const std::vector<Bytes>& frames) {
    Texts names;
    for (const Bytes& frame : frames)
        names.push_back(char(frame[0]) + ("/" + std::to_string(frame[1])));
    std::string outline;
    for (size_t i = 0, j = 0; i < names.size(); i = j) {
        while (j < names.size() && names[j] == names[i])
            ++j;
        outline += (i ? " " : "") + names[i] + (j - i > 1 ? "x" + std::to_string(j - i) : "");
    }
    return outline;
}

// The progress as one line: "S169 P0 S181".
std::string Steps() {
    std::string line;
    for (const std::string& step : Progress)
        line += (line.empty() ? "" : " ") + step;
    return line;
}

std::vector<Bytes> FramesOf(const std::vector<Bytes>& frames, char header, int type) {
    std::vector<Bytes> chosen;
    for (const Bytes& frame : frames)
        if (frame[0] == header && frame[1] == type)
            chosen.push_back(frame);
    return chosen;
}

int Address(const Bytes& frame) {
    return frame[2] << 8 | frame[3];
}

bool HoldsRecord(const uint8_t* data, const Bytes& frame, size_t at) {
    return std::equal(data, data + 16, frame.begin() + long(at));
}

// Output tables shaped as the unit's entries: 0x34, code high nibble, 0x34, code low byte.
OutputTable EntryTable(int slope) {
    OutputTable table{};
    for (size_t j = 0; j < 512; ++j) {
        size_t code = (j * size_t(slope)) & 0x0FFF;
        table[4 * j] = table[4 * j + 2] = 0x34;
        table[4 * j + 1] = uint8_t(code >> 8);
        table[4 * j + 3] = uint8_t(code);
    }
    return table;
}

Info SetupBytes() {
    Info info{};
    info.fill(0xEE); // outside 4..67: must not be sent
    for (int i = 4; i < 68; ++i)
        info[size_t(i)] = uint8_t(i * 3);
    return info;
}

class SimSequenceTest : public ::testing::Test {
  protected:
    TempDir dir;
    SimProcess sim;
    std::string message;

    void SetUp() override {
        ClearRecords();
    }
    void TearDown() override {
        StopLink();
        StopSim(sim);
        ProgramPhaseHook = nullptr;
    }
    void Start(std::vector<std::string> args) {
        args.insert(args.end(), {"--log", dir.File("log"), "--dump-tables", dir.File("tables")});
        sim = StartSim(args);
        ASSERT_FALSE(sim.path.empty());
        ASSERT_TRUE(StartLinkOn(sim.path));
    }
    std::vector<Bytes> Log() {
        return ReadRequestLog(dir.File("log"));
    }
    // LeaveLoadMode awaits no reply: the unit restarts, and dumps its tables, a moment later.
    bool AwaitRestart(size_t restarts) {
        return WaitFor([&] { return FramesOf(Log(), 'Z', 1).size() == restarts; }, 2000);
    }
    bool AwaitDump(const OutputTable& a, const OutputTable& b) {
        Bytes both(a.begin(), a.end());
        both.insert(both.end(), b.begin(), b.end());
        return WaitFor([&] { return ReadBytes(dir.File("tables")) == both; }, 2000);
    }
    int Program() {
        std::string_view text;
        int result = ProgramFirmware(text, 16, RecordProgress);
        message = std::string(text);
        return result;
    }
    int Write(const OutputTable& table1, const OutputTable& table2) {
        std::string_view text;
        int result = WriteSetupTables(text, table1, table2, SetupBytes(), RecordProgress);
        message = std::string(text);
        return result;
    }
};

TEST_F(SimSequenceTest, FirmwareGoesFromApplicationThroughLoaderToNewVersion) {
    Start({"--version", "1.00"});
    ASSERT_EQ(Program(), 0);
    ASSERT_TRUE(AwaitRestart(1));
    EXPECT_EQ(message, "Version request OK\n");
    EXPECT_EQ(ExchangeActive.load(), 0);
    EXPECT_TRUE(LinkClaimed);
    EXPECT_EQ(Phases, (std::vector<int>{1, 2, 3, 0}));
    EXPECT_EQ(Steps(), "S169 P0 S181");
    std::vector<Bytes> log = Log();
    EXPECT_EQ(Outline(log), "R/7 R/15 Z/3x2 Z/0x169 Z/3 Z/2x169 Z/4x12 Z/1");
    EXPECT_EQ(FramesOf(log, 'R', 15)[0][10], 1) << "load mode 1 before firmware";
    std::vector<Bytes> writes = FramesOf(log, 'Z', 0);
    std::vector<Bytes> reads = FramesOf(log, 'Z', 2);
    for (size_t i = 0; i < 169; ++i) {
        EXPECT_EQ(Address(writes[i]), 0x0800 + 8 * int(i));
        EXPECT_EQ(Address(reads[i]), 0x0800 + 8 * int(i));
        EXPECT_TRUE(HoldsRecord(GetCodeRecord(int(i)) + 2, writes[i], 4)) << i;
    }
    std::vector<Bytes> records = FramesOf(log, 'Z', 4);
    for (size_t i = 0; i < 12; ++i) {
        EXPECT_EQ(records[i][2], 0x40 + 16 * i);
        EXPECT_TRUE(HoldsRecord(GetInfoRecord(int(i)) + 1, records[i], 3));
        EXPECT_EQ(records[i][19], 0x20);
    }
    // The restarted application reports what was written.
    ASSERT_EQ(GetDeviceData(), 0);
    int major = 0;
    int minor = 0;
    ASSERT_EQ(ReadUnitVersion(DeviceInfo, major, minor), 0);
    EXPECT_EQ(major * 100 + minor, 101);
    EXPECT_EQ(DeviceInfo[255], 0);
}

TEST_F(SimSequenceTest, FirmwareRunsStopOrSkipWhereTheUnitMakesThem) {
    const struct {
        std::vector<std::string> sim;
        int result;
        std::string message;
        std::string outline;
        std::string progress;
        std::vector<int> phases;
    } rows[] = {
        {{"--start-in-loader"},
         0,
         COMM_ERROR,
         "R/7 Z/3x2 Z/0x169 Z/3 Z/2x169 Z/4x12 Z/1",
         "S169 P0 S181",
         {1, 2, 3, 0}},
        {{"--refuse-load"}, -1, "Request load mode failed\n", "R/7 R/15", "", {0}},
        // A WriteBlock failure at record 100: nothing retried or read back, the bar at 100.
        {{"--fail-write", "101"}, -1, MODE, "R/7 R/15 Z/3x2 Z/0x101", "S100", {1, 0}},
        {{"--silent"}, -1, COMM_ERROR, "R/7 Z/3x2", "", {0}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.sim[0]);
        ClearRecords();
        std::filesystem::remove(dir.File("log"));
        std::vector<std::string> args = {"--version", "1.00"};
        args.insert(args.end(), row.sim.begin(), row.sim.end());
        Start(args);
        EXPECT_EQ(Program(), row.result);
        EXPECT_EQ(message, row.message);
        if (row.result == 0)
            AwaitRestart(1);
        EXPECT_EQ(Outline(Log()), row.outline);
        EXPECT_EQ(Steps(), row.progress);
        EXPECT_EQ(Phases, row.phases);
        EXPECT_EQ(ExchangeActive.load(), 0);
        // The unit stays in its loader holding exactly the records acknowledged.
        for (int i = 0; row.progress == "S100" && i <= 100; ++i) {
            ASSERT_EQ(ReadBlock(uint16_t(0x0800 + 8 * i)), 0);
            EXPECT_EQ(std::equal(RespBuf.begin(), RespBuf.begin() + 16, GetCodeRecord(i) + 2),
                      i < 100)
                << "record " << i;
        }
        StopLink();
        StopSim(sim);
    }
}

TEST_F(SimSequenceTest, SetupWriteSendsEncipheredTablesTheUnitDeciphers) {
    Start({});
    const OutputTable table1 = EntryTable(8);
    const OutputTable table2 = EntryTable(5);
    ASSERT_EQ(Write(table1, table2), 0) << message;
    ASSERT_TRUE(AwaitRestart(1));
    EXPECT_EQ(ExchangeActive.load(), 0);
    EXPECT_TRUE(LinkClaimed);
    EXPECT_TRUE(Phases.empty()) << "the setup write shows no phase";
    EXPECT_EQ(Steps(), "S256 P0 S260");
    EXPECT_TRUE(AwaitDump(table1, table2));
    std::vector<Bytes> log = Log();
    EXPECT_EQ(Outline(log), "R/7 R/15 Z/3x3 Z/0x256 Z/3 Z/2x256 Z/4x4 Z/1");
    EXPECT_EQ(FramesOf(log, 'R', 15)[0][10], 2) << "load mode 2 before a setup write";
    std::vector<Bytes> writes = FramesOf(log, 'Z', 0);
    std::vector<Bytes> reads = FramesOf(log, 'Z', 2);
    for (size_t block = 0; block < 256; ++block) {
        int address = (block < 128 ? 0x1000 : 0x1400) + 8 * int(block % 128);
        EXPECT_EQ(Address(writes[block]), address);
        EXPECT_EQ(Address(reads[block]), address);
        EXPECT_FALSE(HoldsRecord((block < 128 ? table1 : table2).data() + 16 * (block % 128),
                                 writes[block], 4))
            << "block " << block << " went plain";
    }
    std::vector<Bytes> records = FramesOf(log, 'Z', 4);
    const Info info = SetupBytes();
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(records[i][2], 4 + 16 * i);
        EXPECT_TRUE(HoldsRecord(info.data() + 4 + 16 * i, records[i], 3));
        EXPECT_EQ(records[i][19], 0x20);
    }
    ASSERT_EQ(GetDeviceData(), 0);
    EXPECT_TRUE(std::equal(info.begin() + 4, info.begin() + 68, DeviceInfo.begin() + 4));
}

TEST_F(SimSequenceTest, SetupWriteFailureKeepsThePlainTablesForTheRetry) {
    Start({"--fail-write", "200"});
    const OutputTable table1 = EntryTable(3);
    const OutputTable table2 = EntryTable(7);
    EXPECT_EQ(Write(table1, table2), -1);
    EXPECT_EQ(message, MODE);
    EXPECT_EQ(Steps(), "S199");
    EXPECT_EQ(ExchangeActive.load(), 0);
    EXPECT_FALSE(std::filesystem::exists(dir.File("tables")));
    // The unit was left in its loader: the retry finds it there and completes.
    ASSERT_EQ(Write(table1, table2), 0) << message;
    ASSERT_TRUE(AwaitRestart(1));
    EXPECT_TRUE(AwaitDump(table1, table2));
}

// Closes the port with the last record's progress step, so the restart cannot be sent.
int StepsBeforeClosing = 0;
void CloseAfterLastRecord(ProgressMessage message, int) {
    if (message == PROGRESS_STEPIT && --StepsBeforeClosing == 0)
        RequestPort(PORT_CLOSE, nullptr);
}

TEST_F(SimSequenceTest, RestartThatCannotBeSentIsAFailure) {
    Start({"--version", "1.00"});
    OutputTable table = EntryTable(1);
    for (int steps : {169 + 169 + 12, 256 + 256 + 4}) {
        SCOPED_TRACE(steps);
        ASSERT_TRUE(StartLinkOn(sim.path));
        std::string_view text;
        StepsBeforeClosing = steps;
        EXPECT_EQ(steps == 350
                      ? ProgramFirmware(text, 16, CloseAfterLastRecord)
                      : WriteSetupTables(text, table, table, SetupBytes(), CloseAfterLastRecord),
                  -1);
        EXPECT_EQ(text, DATA);
        EXPECT_EQ(ProgramPhase.load(), PHASE_NONE);
        EXPECT_EQ(ExchangeActive.load(), 0);
        StopLink();
    }
}

// ---- Against a scripted loader: a unit model whose answers a test can bend.

class ScriptedLoaderTest : public ::testing::Test {
  protected:
    PtyPeer peer;
    std::thread unit;
    std::atomic<bool> stop{false};
    // Unit behaviour, set between runs.
    std::atomic<int> flipByte{-1};       // ReadBlock answers with this data byte inverted
    std::atomic<int> silentZ{-1};        // loader subcommand left unanswered
    std::atomic<int> loaderReadsLeft{0}; // LoaderReadDataBlock answers before it falls silent
    std::atomic<bool> inLoader{false};
    std::atomic<int> restarts{0};
    std::array<Bytes, 0x10000> memory{}; // one record per 16-bit address

    void SetUp() override {
        ASSERT_TRUE(OpenPtyPeer(peer));
        ASSERT_TRUE(StartLinkOn(peer.slavePath));
        unit = std::thread([this] { Serve(); });
    }
    void TearDown() override {
        stop = true;
        unit.join();
        StopLink();
        ClosePtyPeer(peer);
        ProgramPhaseHook = nullptr;
    }
    Bytes Answer(const Bytes& frame) {
        const Bytes ack = UnitFrame('Z', 'A', {0, 0, 0});
        if (frame[0] == 'R' && frame[1] == 15) {
            inLoader = true;
            return ack;
        }
        if (frame[0] == 'R')
            return frame[1] == 7 && !inLoader ? UnitFrame('W', 'E', Bytes(256, 0x20)) : Bytes{};
        if (!inLoader || frame[1] == silentZ.load())
            return {};
        Bytes& held = memory[size_t(frame[2] << 8 | frame[3])];
        switch (frame[1]) {
        case 0:
            held = Bytes(frame.begin() + 4, frame.begin() + 20);
            return ack;
        case 1:
            inLoader = false;
            ++restarts;
            return {};
        case 2: {
            Bytes data = held;
            data.resize(16, 0xFF);
            if (flipByte.load() >= 0)
                data[size_t(flipByte.load())] ^= 0xFF;
            return UnitFrame('Z', 'F', data);
        }
        case 3:
            return loaderReadsLeft-- > 0 ? UnitFrame('Z', 'E', Bytes(256, 0x20)) : Bytes{};
        default:
            return ack;
        }
    }
    void Serve() {
        while (!stop) {
            Bytes frame = PeerRead(peer, 1, 20);
            if (frame.empty())
                continue;
            Bytes rest = PeerRead(peer, frame[0] == 'R' ? 13 : frame[0] == 'Z' ? 21 : 0, 500);
            frame.insert(frame.end(), rest.begin(), rest.end());
            Bytes reply = frame.size() >= 14 ? Answer(frame) : Bytes{};
            if (!reply.empty())
                PeerWrite(peer, reply);
        }
    }
};

TEST_F(ScriptedLoaderTest, ReadBacksAndSilencesFailWithTheTextOfTheirStage) {
    const OutputTable table = EntryTable(1);
    const struct {
        const char* what;
        int verifyLength; // 0: the setup write
        int flip, silent, loaderReads;
        int result;
        std::string text;
        std::string progress;
    } rows[] = {
        {"beyond byte 8, verify 8", 8, 8, -1, 9, 0, "", "S169 P0 S181"},
        {"beyond byte 8, verify 16", 16, 8, -1, 9, -1, VERIFY, "S169 P0"},
        {"within byte 8, verify 8", 8, 7, -1, 9, -1, VERIFY, "S169 P0"},
        {"loader silent after load mode", 16, -1, -1, 0, -1, "Version request OK\n", ""},
        {"setup: last byte of a block read back differs", 0, 15, -1, 9, -1, VERIFY, "S256 P0"},
        {"setup: ReadBlock unanswered", 0, -1, 2, 9, -1, "Program Request Failure\n", "S256 P0"},
        {"setup: WriteDataRecord unanswered", 0, -1, 4, 9, -1, DATA, "S256 P0 S256"},
        {"setup: no LoaderReadDataBlock after writing", 0, -1, -1, 3, -1, VERIFY, "S256"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        ClearRecords();
        inLoader = false; // a unit running its application
        flipByte = row.flip;
        silentZ = row.silent;
        loaderReadsLeft = row.loaderReads;
        std::string_view text;
        int result = row.verifyLength > 0
                         ? ProgramFirmware(text, row.verifyLength, RecordProgress)
                         : WriteSetupTables(text, table, table, SetupBytes(), RecordProgress);
        EXPECT_EQ(result, row.result) << text;
        if (result != 0) {
            EXPECT_EQ(text, row.text);
        }
        EXPECT_EQ(Steps(), row.progress);
        EXPECT_EQ(Phases.empty() ? -1 : Phases.back(), row.verifyLength > 0 ? 0 : -1);
        EXPECT_EQ(ExchangeActive.load(), 0);
        WaitFor([&] { return restarts.load() == (result == 0); }, 2000);
        restarts = 0;
    }
}

} // namespace
