// The loader sequences end to end: against mq6-sim over its pseudo-terminal, and against a
// scripted loader on a pseudo-terminal for read-backs that no honest unit gives.
#include "firmware/banner.h"
#include "firmware/cipher.h"
#include "firmware/firmware_image.h"
#include "firmware/programming.h"
#include "firmware/test_files.h"
#include "link/link.h"
#include "platform/ticks.h"
#include "support/pty_peer.h"
#include "support/sim_process.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <functional>
#include <thread>

namespace {

using Bytes = std::vector<uint8_t>;

// ---- What the sequences reported: progress, phases, and whether the link was theirs.

struct ProgressEvent {
    ProgressMessage message;
    int position;
};
std::vector<ProgressEvent> ProgressEvents;
std::vector<int> Phases;
bool LinkClaimedThroughout = true;

void RecordProgress(ProgressMessage message, int position) {
    ProgressEvents.push_back({message, position});
    if (ExchangeActive.load() != 1)
        LinkClaimedThroughout = false;
    if (ProgressEvents.size() == 1) {
        // Another thread must find the exchange lock taken.
        bool taken = false;
        std::thread([&] {
            taken = !ExchangeLock.try_lock();
            if (!taken)
                ExchangeLock.unlock();
        }).join();
        if (!taken)
            LinkClaimedThroughout = false;
    }
}

void RecordPhase(int phase) {
    Phases.push_back(phase);
}

void ClearRecords() {
    ProgressEvents.clear();
    Phases.clear();
    LinkClaimedThroughout = true;
    ProgramPhaseHook = RecordPhase;
}

// The progress as a short list: "S" for each run of steps with its count, "P0" for SETPOS 0.
std::vector<std::string> ProgressSummary() {
    std::vector<std::string> summary;
    int steps = 0;
    for (const ProgressEvent& event : ProgressEvents) {
        if (event.message == PROGRESS_STEPIT) {
            ++steps;
            continue;
        }
        if (steps > 0)
            summary.push_back("S" + std::to_string(steps));
        steps = 0;
        summary.push_back("P" + std::to_string(event.position));
    }
    if (steps > 0)
        summary.push_back("S" + std::to_string(steps));
    return summary;
}

// ---- Request frames as the simulator logged them.

std::string Command(const Bytes& frame) {
    return std::string(1, static_cast<char>(frame[0])) + "/" + std::to_string(frame[1]);
}

std::vector<std::string> Commands(const std::vector<Bytes>& frames) {
    std::vector<std::string> names;
    for (const Bytes& frame : frames)
        names.push_back(Command(frame));
    return names;
}

std::vector<Bytes> FramesOf(const std::vector<Bytes>& frames, const std::string& command) {
    std::vector<Bytes> chosen;
    std::copy_if(frames.begin(), frames.end(), std::back_inserter(chosen),
                 [&](const Bytes& frame) { return Command(frame) == command; });
    return chosen;
}

uint16_t FrameAddress(const Bytes& frame) {
    return static_cast<uint16_t>((frame[2] << 8) | frame[3]);
}

// The commands in order with runs of one command folded: "Z/0 x169".
std::vector<std::string> Outline(const std::vector<Bytes>& frames) {
    std::vector<std::string> outline;
    std::vector<std::string> names = Commands(frames);
    for (size_t i = 0; i < names.size();) {
        size_t j = i;
        while (j < names.size() && names[j] == names[i])
            ++j;
        outline.push_back(j - i == 1 ? names[i] : names[i] + " x" + std::to_string(j - i));
        i = j;
    }
    return outline;
}

const Bytes& CodeData(int index) {
    static std::vector<Bytes> data = [] {
        std::vector<Bytes> all;
        for (int i = 0; i < CODE_RECORD_COUNT; ++i)
            all.emplace_back(GetCodeRecord(i) + 2, GetCodeRecord(i) + CODE_RECORD_SIZE);
        return all;
    }();
    return data[static_cast<size_t>(index)];
}

// ---- Against the simulated unit.

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
        args.insert(args.end(), {"--log", dir.File("log")});
        sim = StartSim(args);
        ASSERT_FALSE(sim.path.empty());
        ASSERT_TRUE(StartLinkOn(sim.path));
    }
    std::vector<Bytes> Log() {
        return ReadRequestLog(dir.File("log"));
    }
    // The unit writes its deciphered tables when it restarts after the setup write.
    bool AwaitDump(const Bytes& expected) {
        return WaitFor([&] { return ReadBytes(dir.File("tables")) == expected; }, 2000);
    }
    // LeaveLoadMode awaits no reply: the sequence may return before the unit has it.
    bool AwaitRestart(size_t restarts) {
        return WaitFor([&] { return FramesOf(Log(), "Z/1").size() == restarts; }, 2000);
    }
    int Program(int verifyLength) {
        std::string_view text;
        int result = ProgramFirmware(text, verifyLength, RecordProgress);
        message = std::string(text);
        return result;
    }
    int WriteTables(const OutputTable& table1, const OutputTable& table2,
                    const std::array<uint8_t, DEVICE_INFO_SIZE>& info) {
        std::string_view text;
        int result = WriteSetupTables(text, table1, table2, info, RecordProgress);
        message = std::string(text);
        return result;
    }
};

TEST_F(SimSequenceTest, FirmwareGoesFromApplicationThroughLoaderToNewVersion) {
    Start({"--version", "1.00"});
    ASSERT_EQ(Program(16), 0);
    ASSERT_TRUE(AwaitRestart(1));
    EXPECT_EQ(message, "Version request OK\n");
    EXPECT_EQ(ExchangeActive.load(), 0);
    EXPECT_TRUE(LinkClaimedThroughout);
    EXPECT_EQ(Phases, (std::vector<int>{1, 2, 3, 0}));
    EXPECT_EQ(ProgressSummary(), (std::vector<std::string>{"S169", "P0", "S181"}));

    std::vector<Bytes> log = Log();
    EXPECT_EQ(Outline(log), (std::vector<std::string>{"R/7", "R/15", "Z/3 x2", "Z/0 x169", "Z/3",
                                                      "Z/2 x169", "Z/4 x12", "Z/1"}));
    EXPECT_EQ(FramesOf(log, "R/15")[0][10], 1) << "load mode 1 before firmware";
    std::vector<Bytes> writes = FramesOf(log, "Z/0");
    std::vector<Bytes> reads = FramesOf(log, "Z/2");
    for (int i = 0; i < CODE_RECORD_COUNT; ++i) {
        ASSERT_EQ(writes[static_cast<size_t>(i)].size(), 22u);
        EXPECT_EQ(FrameAddress(writes[static_cast<size_t>(i)]), 0x0800 + 8 * i);
        EXPECT_TRUE(std::equal(CodeData(i).begin(), CodeData(i).end(),
                               writes[static_cast<size_t>(i)].begin() + 4));
        EXPECT_EQ(FrameAddress(reads[static_cast<size_t>(i)]), 0x0800 + 8 * i);
    }
    std::vector<Bytes> records = FramesOf(log, "Z/4");
    for (int i = 0; i < INFO_RECORD_COUNT; ++i) {
        const Bytes& frame = records[static_cast<size_t>(i)];
        EXPECT_TRUE(
            std::equal(GetInfoRecord(i), GetInfoRecord(i) + INFO_RECORD_SIZE, frame.begin() + 2));
        EXPECT_EQ(frame[19], 0x20);
    }

    // The restarted application reports what was written.
    ASSERT_EQ(GetDeviceData(), 0);
    int major = 0;
    int minor = 0;
    ASSERT_EQ(ReadUnitVersion(DeviceInfo, major, minor), 0);
    EXPECT_EQ(major, 1);
    EXPECT_EQ(minor, 1);
    EXPECT_EQ(DeviceInfo[UNIT_MODE_OFFSET], 0);
}

TEST_F(SimSequenceTest, UnitAlreadyInItsLoaderIsProgrammedWithoutLoadModeRequest) {
    Start({"--version", "1.00", "--start-in-loader"});
    ASSERT_EQ(Program(16), 0);
    std::vector<std::string> outline = Outline(Log());
    ASSERT_GE(outline.size(), 3u);
    EXPECT_EQ(outline[0], "R/7") << "unanswered: the loader ignores it";
    EXPECT_EQ(outline[1], "Z/3 x2");
    EXPECT_EQ(outline[2], "Z/0 x169");
    EXPECT_EQ(std::count(outline.begin(), outline.end(), "R/15"), 0);
    EXPECT_EQ(Phases, (std::vector<int>{1, 2, 3, 0}));
}

TEST_F(SimSequenceTest, RefusedLoadModeStopsBeforeAnythingIsWritten) {
    Start({"--version", "1.00", "--refuse-load"});
    EXPECT_EQ(Program(16), -1);
    EXPECT_EQ(message, "Request load mode failed\n");
    EXPECT_EQ(Outline(Log()), (std::vector<std::string>{"R/7", "R/15"}));
    EXPECT_TRUE(ProgressEvents.empty());
    EXPECT_EQ(Phases, (std::vector<int>{0}));
    EXPECT_EQ(ExchangeActive.load(), 0);
}

TEST_F(SimSequenceTest, WriteFailureAtRecord100LeavesRecords0To99Written) {
    Start({"--version", "1.00", "--fail-write", "101"});
    EXPECT_EQ(Program(16), -1);
    EXPECT_EQ(message, "Program Mode Failure\n");
    EXPECT_EQ(ProgressSummary(), (std::vector<std::string>{"S100"})) << "the bar stays at 100";
    EXPECT_EQ(Phases, (std::vector<int>{1, 0}));
    EXPECT_EQ(ExchangeActive.load(), 0);
    std::vector<std::string> outline = Outline(Log());
    EXPECT_EQ(outline.back(), "Z/0 x101") << "nothing is retried or read back";

    // The unit stays in its loader holding exactly the records that were acknowledged.
    for (int i = 0; i <= 100; ++i) {
        ASSERT_EQ(ReadBlock(static_cast<uint16_t>(0x0800 + 8 * i)), 0);
        bool same = std::equal(CodeData(i).begin(), CodeData(i).end(), RespBuf.begin());
        EXPECT_EQ(same, i < 100) << "record " << i;
    }
}

// Output tables shaped as the unit's entries: 0x34, code high nibble, 0x34, code low byte.
OutputTable EntryTable(int slope) {
    OutputTable table{};
    for (int j = 0; j < 512; ++j) {
        int code = (j * slope) & 0x0FFF;
        table[static_cast<size_t>(4 * j)] = 0x34;
        table[static_cast<size_t>(4 * j + 1)] = static_cast<uint8_t>(code >> 8);
        table[static_cast<size_t>(4 * j + 2)] = 0x34;
        table[static_cast<size_t>(4 * j + 3)] = static_cast<uint8_t>(code);
    }
    return table;
}

std::array<uint8_t, DEVICE_INFO_SIZE> SetupBytes() {
    std::array<uint8_t, DEVICE_INFO_SIZE> info{};
    info.fill(0xEE); // outside 4..67: must not be sent
    for (int i = 4; i < 68; ++i)
        info[static_cast<size_t>(i)] = static_cast<uint8_t>(i * 3);
    return info;
}

Bytes Concat(const OutputTable& a, const OutputTable& b) {
    Bytes both(a.begin(), a.end());
    both.insert(both.end(), b.begin(), b.end());
    return both;
}

TEST_F(SimSequenceTest, SetupWriteSendsEncipheredTablesTheUnitDeciphers) {
    Start({"--dump-tables", dir.File("tables")});
    OutputTable table1 = EntryTable(8);
    OutputTable table2 = EntryTable(5);
    const OutputTable plain1 = table1;
    const OutputTable plain2 = table2;
    std::array<uint8_t, DEVICE_INFO_SIZE> info = SetupBytes();

    ASSERT_EQ(WriteTables(table1, table2, info), 0) << message;
    ASSERT_TRUE(AwaitRestart(1));
    EXPECT_EQ(ExchangeActive.load(), 0);
    EXPECT_TRUE(LinkClaimedThroughout);
    EXPECT_TRUE(Phases.empty()) << "the setup write shows no phase";
    EXPECT_EQ(ProgressSummary(), (std::vector<std::string>{"S256", "P0", "S260"}));
    EXPECT_TRUE(AwaitDump(Concat(plain1, plain2)));
    EXPECT_EQ(table1, plain1) << "the caller's tables stay plain";
    EXPECT_EQ(table2, plain2);

    std::vector<Bytes> log = Log();
    EXPECT_EQ(Outline(log), (std::vector<std::string>{"R/7", "R/15", "Z/3 x3", "Z/0 x256", "Z/3",
                                                      "Z/2 x256", "Z/4 x4", "Z/1"}));
    EXPECT_EQ(FramesOf(log, "R/15")[0][10], 2) << "load mode 2 before a setup write";
    // What went on the wire is block n of the run enciphered with the key stepped n times.
    Bytes expected = Concat(plain1, plain2);
    LoadSetupKey();
    for (size_t block = 0; block < 256; ++block)
        EncryptBlock16(expected.data() + 16 * block);
    std::vector<Bytes> writes = FramesOf(log, "Z/0");
    std::vector<Bytes> reads = FramesOf(log, "Z/2");
    Bytes plain = Concat(plain1, plain2);
    for (size_t block = 0; block < 256; ++block) {
        uint16_t address =
            static_cast<uint16_t>((block < 128 ? 0x1000 : 0x1400) + 8 * (block % 128));
        EXPECT_EQ(FrameAddress(writes[block]), address);
        EXPECT_EQ(FrameAddress(reads[block]), address);
        EXPECT_TRUE(std::equal(expected.begin() + static_cast<long>(16 * block),
                               expected.begin() + static_cast<long>(16 * block + 16),
                               writes[block].begin() + 4))
            << "block " << block;
        EXPECT_FALSE(std::equal(plain.begin() + static_cast<long>(16 * block),
                                plain.begin() + static_cast<long>(16 * block + 16),
                                writes[block].begin() + 4));
    }
    std::vector<Bytes> records = FramesOf(log, "Z/4");
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(records[i][2], 4 + 16 * i);
        EXPECT_TRUE(std::equal(info.begin() + static_cast<long>(4 + 16 * i),
                               info.begin() + static_cast<long>(20 + 16 * i),
                               records[i].begin() + 3));
        EXPECT_EQ(records[i][19], 0x20);
    }

    // The restarted application carries the setup bytes; a second write of the same tables
    // reaches the unit intact too.
    ASSERT_EQ(GetDeviceData(), 0);
    EXPECT_TRUE(std::equal(info.begin() + 4, info.begin() + 68, DeviceInfo.begin() + 4));
    std::filesystem::remove(dir.File("tables"));
    ASSERT_EQ(WriteTables(table1, table2, info), 0) << message;
    ASSERT_TRUE(AwaitRestart(2));
    EXPECT_TRUE(AwaitDump(Concat(plain1, plain2)));
}

TEST_F(SimSequenceTest, SetupWriteFailureKeepsThePlainTablesForTheRetry) {
    Start({"--dump-tables", dir.File("tables"), "--fail-write", "200"});
    OutputTable table1 = EntryTable(3);
    OutputTable table2 = EntryTable(7);
    const OutputTable plain1 = table1;
    const OutputTable plain2 = table2;
    std::array<uint8_t, DEVICE_INFO_SIZE> info = SetupBytes();

    EXPECT_EQ(WriteTables(table1, table2, info), -1);
    EXPECT_EQ(message, "Program Mode Failure\n");
    EXPECT_EQ(ProgressSummary(), (std::vector<std::string>{"S199"}));
    EXPECT_EQ(ExchangeActive.load(), 0);
    EXPECT_EQ(table1, plain1);
    EXPECT_EQ(table2, plain2);
    EXPECT_FALSE(std::filesystem::exists(dir.File("tables")));

    // The unit was left in its loader: the retry finds it there and completes.
    ClearRecords();
    ASSERT_EQ(WriteTables(table1, table2, info), 0) << message;
    ASSERT_TRUE(AwaitRestart(1));
    EXPECT_TRUE(AwaitDump(Concat(plain1, plain2)));
}

// Closes the port with the last record's progress step, so the restart cannot be sent.
int StepsBeforeClosing = 0;
void CloseAfterLastRecord(ProgressMessage message, int) {
    if (message == PROGRESS_STEPIT && --StepsBeforeClosing == 0)
        RequestPort(PORT_CLOSE, nullptr);
}

TEST_F(SimSequenceTest, RestartThatCannotBeSentIsAFailure) {
    Start({"--version", "1.00"});
    // Firmware: 169 written, 169 verified, 12 information records; setup: 256, 256 and 4.
    for (bool firmware : {true, false}) {
        SCOPED_TRACE(firmware ? "firmware" : "setup write");
        ASSERT_TRUE(StartLinkOn(sim.path));
        std::string_view text;
        OutputTable table = EntryTable(1);
        StepsBeforeClosing = firmware ? 350 : 516;
        int result = firmware
                         ? ProgramFirmware(text, 16, CloseAfterLastRecord)
                         : WriteSetupTables(text, table, table, SetupBytes(), CloseAfterLastRecord);
        EXPECT_EQ(result, -1);
        EXPECT_EQ(text, "Program Mode Data Failure\n");
        EXPECT_EQ(ProgramPhase.load(), PHASE_NONE);
        EXPECT_EQ(ExchangeActive.load(), 0);
        StopLink();
    }
}

TEST_F(SimSequenceTest, SilentUnitFailsWithTheCommErrorText) {
    Start({"--silent"});
    EXPECT_EQ(Program(16), -1);
    EXPECT_EQ(message,
              "       Comm Error\n\nCheck PC to MQ-6 WB Connection\n\nIs the MQ-6 WB Powered On?");
    EXPECT_EQ(Outline(Log()), (std::vector<std::string>{"R/7", "Z/3 x2"}));
    EXPECT_EQ(ExchangeActive.load(), 0);
}

// ---- Against a scripted loader: a unit model whose answers a test can bend.

class ScriptedLoaderTest : public ::testing::Test {
  protected:
    PtyPeer peer;
    std::thread unit;
    std::atomic<bool> stop{false};
    std::string message;

    // Unit behaviour, set before Run.
    std::atomic<int> flipByte{-1};  // ReadBlock answers with this data byte inverted
    std::atomic<int> silentZ{-1};   // loader subcommand left unanswered
    int loaderReadsAnswered = 1000; // LoaderReadDataBlock answers before it falls silent
    bool loaderSilent = false;

    bool inLoader = false;
    std::atomic<int> restarts{0};
    std::array<Bytes, 0x2000> memory{};

    void SetUp() override {
        ClearRecords();
        ASSERT_TRUE(OpenPtyPeer(peer));
        ASSERT_TRUE(StartLinkOn(peer.slavePath));
    }
    void TearDown() override {
        stop = true;
        if (unit.joinable())
            unit.join();
        StopLink();
        ClosePtyPeer(peer);
        ProgramPhaseHook = nullptr;
    }
    void Run() {
        unit = std::thread([this] { Serve(); });
    }

    Bytes Answer(const Bytes& frame) {
        uint8_t type = frame[1];
        uint16_t address = static_cast<uint16_t>((frame[2] << 8) | frame[3]);
        if (frame[0] == 'R') {
            if (type == 7 && !inLoader)
                return UnitFrame('W', 'E', Bytes(256, 0x20));
            if (type == 15) {
                inLoader = true;
                return UnitFrame('Z', 'A', {0, 0, 0});
            }
            return {};
        }
        if (!inLoader || type == silentZ.load())
            return {};
        switch (type) {
        case 0:
            memory[address] = Bytes(frame.begin() + 4, frame.begin() + 20);
            return UnitFrame('Z', 'A', {0, 0, 0});
        case 2: {
            Bytes data = memory[address];
            data.resize(16, 0xFF);
            if (flipByte.load() >= 0)
                data[static_cast<size_t>(flipByte.load())] ^= 0xFF;
            return UnitFrame('Z', 'F', data);
        }
        case 3:
            if (loaderSilent || loaderReadsAnswered-- <= 0)
                return {};
            return UnitFrame('Z', 'E', Bytes(256, 0x20));
        case 4:
            return UnitFrame('Z', 'A', {0, 0, 0});
        case 1:
            inLoader = false;
            ++restarts;
            return {};
        default:
            return {};
        }
    }

    void Serve() {
        while (!stop) {
            Bytes head = PeerRead(peer, 1, 20);
            if (head.empty())
                continue;
            size_t length = head[0] == 'R' ? 14 : head[0] == 'Z' ? 22 : 1;
            Bytes frame = head;
            Bytes rest = PeerRead(peer, length - 1, 500);
            frame.insert(frame.end(), rest.begin(), rest.end());
            if (frame.size() != length)
                continue;
            Bytes reply = Answer(frame);
            if (!reply.empty())
                PeerWrite(peer, reply);
        }
    }

    int Program(int verifyLength) {
        std::string_view text;
        int result = ProgramFirmware(text, verifyLength, RecordProgress);
        message = std::string(text);
        return result;
    }
};

TEST_F(ScriptedLoaderTest, DifferenceBeyondByte8PassesWithVerifyLength8Only) {
    flipByte = 8;
    Run();
    EXPECT_EQ(Program(8), 0) << message;
    ASSERT_TRUE(WaitFor([&] { return restarts.load() == 1; }, 2000));
    ClearRecords();
    EXPECT_EQ(Program(16), -1);
    EXPECT_EQ(message, "Program Verify Failure\n");
    EXPECT_EQ(ProgressSummary(), (std::vector<std::string>{"S169", "P0"}));
    EXPECT_EQ(Phases, (std::vector<int>{1, 2, 0}));
}

TEST_F(ScriptedLoaderTest, DifferenceWithinByte8FailsWithVerifyLength8) {
    flipByte = 7;
    Run();
    EXPECT_EQ(Program(8), -1);
    EXPECT_EQ(message, "Program Verify Failure\n");
}

TEST_F(ScriptedLoaderTest, SilentLoaderAfterLoadModeKeepsTheVersionText) {
    loaderSilent = true;
    Run();
    EXPECT_EQ(Program(16), -1);
    EXPECT_EQ(message, "Version request OK\n");
    EXPECT_TRUE(ProgressEvents.empty());
    EXPECT_EQ(ExchangeActive.load(), 0);
}

TEST_F(ScriptedLoaderTest, SetupWriteFailsVerifyWhenTheLoaderStopsAnsweringAfterWriting) {
    loaderReadsAnswered = 3;
    Run();
    OutputTable table = EntryTable(1);
    std::string_view text;
    EXPECT_EQ(WriteSetupTables(text, table, table, SetupBytes(), RecordProgress), -1);
    EXPECT_EQ(text, "Program Verify Failure\n");
    EXPECT_EQ(ProgressSummary(), (std::vector<std::string>{"S256"}));
}

TEST_F(ScriptedLoaderTest, SetupWriteVerifyFailuresNameTheirStage) {
    struct Row {
        const char* what;
        int flip;
        int silent;
        const char* text;
        std::vector<std::string> progress;
    };
    const Row rows[] = {
        {"last byte of a block read back differs",
         15,
         -1,
         "Program Verify Failure\n",
         {"S256", "P0"}},
        {"ReadBlock unanswered", -1, 2, "Program Request Failure\n", {"S256", "P0"}},
        {"WriteDataRecord unanswered",
         -1,
         4,
         "Program Mode Data Failure\n",
         {"S256", "P0", "S256"}},
    };
    Run();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        ClearRecords();
        flipByte = row.flip;
        silentZ = row.silent;
        OutputTable table = EntryTable(1);
        std::string_view text;
        EXPECT_EQ(WriteSetupTables(text, table, table, SetupBytes(), RecordProgress), -1);
        EXPECT_EQ(text, row.text);
        EXPECT_EQ(ProgressSummary(), row.progress);
        EXPECT_EQ(ExchangeActive.load(), 0);
    }
}

} // namespace
