// Read, Defaults and Set against the simulated unit over its pseudo-terminal: what reaches the
// unit's data block and output tables, the notices, and the worker's hooks.
#include "firmware/programming.h"
#include "firmware/test_files.h"
#include "link/link.h"
#include "platform/notice.h"
#include "support/notice_record.h"
#include "support/pty_peer.h"
#include "support/sim_process.h"
#include "wbsetup/output_table.h"
#include "wbsetup/setup_transfer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// ---- What the worker reported through its hooks.

std::vector<std::string> HookEvents;
std::mutex HookLock;
std::atomic<int> HoldWorker{0};

void Record(const std::string& event) {
    std::lock_guard<std::mutex> hold(HookLock);
    if (!HookEvents.empty() && event == "S" && HookEvents.back()[0] == 'S') {
        HookEvents.back() = "S" + std::to_string(std::stoi(HookEvents.back().substr(1)) + 1);
        return;
    }
    HookEvents.push_back(event == "S" ? "S1" : event);
}

std::vector<std::string> Events() {
    std::lock_guard<std::mutex> hold(HookLock);
    return HookEvents;
}

void RecordBegin() {
    Record("begin");
    while (HoldWorker.load() != 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

void RecordProgress(ProgressMessage message, int position) {
    Record(message == PROGRESS_STEPIT ? "S" : "P" + std::to_string(position));
}

void RecordEnd(int result) {
    Record("end " + std::to_string(result));
}

// ---- The form as the view would hand it over.

struct Form {
    std::array<std::string, SETUP_FIELD_COUNT> text;
    std::array<int32_t, SETUP_CHANNEL_COUNT> selection{NO_SELECTION, NO_SELECTION};

    SetupFormInput Input() const {
        SetupFormInput input{};
        for (size_t i = 0; i < text.size(); ++i)
            input.FieldText[i] = text[i];
        input.ResponseSelection = selection;
        return input;
    }
};

Form FormShowing(const SetupRecord& values) {
    Form form;
    for (int channel = 0; channel < SETUP_CHANNEL_COUNT; ++channel) {
        const ChannelSetup& setup = values.Channel[static_cast<size_t>(channel)];
        const std::array<std::pair<FormField, int32_t>, 4> fields = {{{FORM_VOLTS1, setup.Volts1},
                                                                      {FORM_AFR1, setup.Afr1},
                                                                      {FORM_VOLTS2, setup.Volts2},
                                                                      {FORM_AFR2, setup.Afr2}}};
        for (const auto& [field, value] : fields) {
            char shown[32];
            FieldKind kind = field == FORM_VOLTS1 || field == FORM_VOLTS2 ? FIELD_VOLTS : FIELD_AFR;
            FormatFieldValue(value, kind, shown, sizeof shown);
            form.text[static_cast<size_t>(FormFieldIndex(channel, field))] = shown;
        }
        form.selection[static_cast<size_t>(channel)] = setup.ResponseIndex;
    }
    return form;
}

Bytes TablesOf(const SetupRecord& values) {
    OutputTable table1{};
    OutputTable table2{};
    BuildSetupTables(values, table1, table2);
    Bytes both(2 * OUTPUT_TABLE_SIZE);
    std::copy(table1.begin(), table1.end(), both.begin());
    std::copy(table2.begin(), table2.end(), both.begin() + OUTPUT_TABLE_SIZE);
    return both;
}

Bytes PackedBlock(const SetupRecord& values) {
    std::array<uint8_t, DEVICE_INFO_SIZE> info{};
    PackSetupBlock(values, info);
    return Bytes(info.begin() + SETUP_BLOCK_OFFSET,
                 info.begin() + SETUP_BLOCK_OFFSET + SETUP_BLOCK_SIZE);
}

std::vector<std::string> Commands(const std::vector<Bytes>& frames) {
    std::vector<std::string> names;
    for (const Bytes& frame : frames)
        names.push_back(std::string(1, static_cast<char>(frame[0])) + "/" +
                        std::to_string(frame[1]));
    return names;
}

class SetupTransferTest : public ::testing::Test {
  protected:
    TempDir dir;
    SimProcess sim;

    void SetUp() override {
        ClearRecordedNotices();
        HookEvents.clear();
        HoldWorker = 0;
        SetupValues = DEFAULT_SETUP;
        SetupWriteBeginHook = RecordBegin;
        SetupWriteProgressHook = RecordProgress;
        SetupWriteEndHook = RecordEnd;
    }
    void TearDown() override {
        HoldWorker = 0;
        WaitSetupWrite();
        SetupWriteBeginHook = nullptr;
        SetupWriteProgressHook = nullptr;
        SetupWriteEndHook = nullptr;
        DeviceDataHook = nullptr;
        StopLink();
        StopSim(sim);
    }
    void Start(std::vector<std::string> args) {
        args.insert(args.end(), {"--log", dir.File("log"), "--dump-tables", dir.File("tables")});
        sim = StartSim(args);
        ASSERT_FALSE(sim.path.empty());
        ASSERT_TRUE(StartLinkOn(sim.path));
    }
    // Set as the view's button runs it, waiting for the worker; the transfer's result.
    int Set(const Form& form) {
        std::remove(dir.File("tables").c_str());
        if (WriteSetup(form.Input()) != 0)
            return -2;
        int result = WaitSetupWrite();
        // LeaveLoadMode awaits no reply: the unit restarts (and dumps) a moment later.
        if (result == 0) {
            EXPECT_TRUE(
                WaitFor([&] { return ReadBytes(dir.File("tables")).size() == 4096; }, 3000));
        }
        return result;
    }
    Bytes UnitBlock() {
        EXPECT_EQ(GetDeviceData(), 0);
        return Bytes(DeviceInfo.begin() + SETUP_BLOCK_OFFSET,
                     DeviceInfo.begin() + SETUP_BLOCK_OFFSET + SETUP_BLOCK_SIZE);
    }
    std::vector<RecordedNotice> Notices() {
        std::lock_guard<std::mutex> hold(NoticeLock);
        return RecordedNotices;
    }
};

// Whether the display thread was kept off the ring while the data block was read: set by
// DeviceDataHook, which GetDeviceData calls before it returns.
std::atomic<int> ClaimedDuringRead{-1};

void CheckClaim(int) {
    ClaimedDuringRead = ExchangeActive.load();
}

TEST_F(SetupTransferTest, ReadTakesTheUnitsBlockWithTheLinkClaimed) {
    Start({});
    SetupValues = {1, 2, 3, {{{1, 2, 3, 4, 5, 6}, {1, 2, 3, 4, 5, 6}}}};
    ClaimedDuringRead = -1;
    DeviceDataHook = CheckClaim;
    ASSERT_EQ(ReadSetup(), 0);
    EXPECT_EQ(ClaimedDuringRead.load(), 1);
    EXPECT_EQ(ExchangeActive.load(), 0);
    EXPECT_EQ(PackedBlock(SetupValues), PackedBlock(DEFAULT_SETUP));
    EXPECT_EQ(SetupValues.Channel[CHANNEL_A].ResponseIndex, 3);
    EXPECT_EQ(SetupValues.Channel[CHANNEL_B].ResponseIndex, 3);
    EXPECT_EQ(CountNotices(), 0u);
}

TEST_F(SetupTransferTest, SetWritesTheTablesAndBlockThatReadThenShows) {
    Start({});
    Form form;
    form.text = {"1.2", "11.5", "4.46", "18.0", "", "", "", ""};
    form.selection = {9, -2}; // past the last row: the last; negative: by its size
    SetupValues.SetupFlags = SETUP_FLAG_B_LINEAR;
    SetupValues.StoichAfr = 1460;
    form.text[4] = "0.5";
    form.text[5] = "9";
    form.text[6] = "5";
    form.text[7] = "16.444";
    ASSERT_EQ(Set(form), 0);

    SetupRecord expected = {1460,
                            SETUP_FLAG_B_LINEAR,
                            128,
                            {{{12, 1150, 45, 1800, 240, 6}, {5, 900, 50, 1644, 96, 2}}}};
    EXPECT_EQ(ReadBytes(dir.File("tables")), TablesOf(expected));
    EXPECT_EQ(UnitBlock(), PackedBlock(expected));
    EXPECT_EQ(Events(), (std::vector<std::string>{"begin", "S256", "P0", "S260", "end 0"}));
    EXPECT_EQ(CountNotices(), 0u);

    SetupValues = DEFAULT_SETUP;
    ASSERT_EQ(ReadSetup(), 0);
    EXPECT_EQ(PackedBlock(SetupValues), PackedBlock(expected));
    EXPECT_EQ(SetupValues.Channel[CHANNEL_A].ResponseIndex, 6);
    EXPECT_EQ(SetupValues.Channel[CHANNEL_B].ResponseIndex, 2);
}

TEST_F(SetupTransferTest, NarrowbandChannelBKeepsItsValuesAndIgnoresItsTexts) {
    Start({});
    SetupValues.NbOffset = 201;
    SetupValues.Channel[CHANNEL_B].Volts1 = 7;
    Form form = FormShowing(SetupValues);
    form.text[4] = "3.3"; // no channel B fields exist in the narrowband layout
    ASSERT_EQ(Set(form), 0);
    SetupRecord expected = DEFAULT_SETUP;
    expected.NbOffset = 201;
    expected.Channel[CHANNEL_B].Volts1 = 7;
    EXPECT_EQ(ReadBytes(dir.File("tables")), TablesOf(expected));
    EXPECT_EQ(UnitBlock(), PackedBlock(expected));
}

TEST_F(SetupTransferTest, DefaultsWrittenGiveTheFactoryBlockAndTables) {
    Start({});
    SetupValues = {2000, 0xFF, 60, {{{1, 2, 3, 4, 16, 0}, {1, 2, 3, 4, 16, 0}}}};
    LoadDefaultSetup();
    ASSERT_EQ(Set(FormShowing(SetupValues)), 0);
    Bytes tables = ReadBytes(dir.File("tables"));
    EXPECT_EQ(tables, TablesOf(DEFAULT_SETUP));
    ASSERT_EQ(tables.size(), 4096u);
    EXPECT_EQ(Bytes(tables.begin() + 4 * 331, tables.begin() + 4 * 332),
              (Bytes{0x34, 0x07, 0x34, 0x80}));
    Bytes block = UnitBlock();
    EXPECT_EQ(Bytes(block.begin(), block.begin() + 20),
              (Bytes{0x05, 0xBE, 0x00, 0x00, 0x00, 0x40, 0x40, 0x00, 0x32, 0x03,
                     0xE8, 0x07, 0xD0, 0x00, 0x32, 0x03, 0xE8, 0x07, 0xD0, 0x80}));
    EXPECT_EQ(Bytes(block.begin() + 20, block.end()), Bytes(44, 0x5A));
}

TEST_F(SetupTransferTest, FlagBitsSurviveReadAndSetAndDefaultsClearThem) {
    Start({});
    SetupValues.SetupFlags = 0xF1;
    ASSERT_EQ(Set(FormShowing(SetupValues)), 0);

    LoadDefaultSetup();
    ASSERT_EQ(ReadSetup(), 0);
    EXPECT_EQ(SetupValues.SetupFlags, 0xF1);
    ASSERT_EQ(Set(FormShowing(SetupValues)), 0);
    EXPECT_EQ(UnitBlock()[2], 0xF1);

    LoadDefaultSetup();
    EXPECT_EQ(SetupValues.SetupFlags, 0);
    ASSERT_EQ(Set(FormShowing(SetupValues)), 0);
    EXPECT_EQ(UnitBlock()[2], 0x00);
}

TEST_F(SetupTransferTest, UnlistedResponseCodeKeepsTheRowAndTheNextSetSendsThatRow) {
    Start({});
    // A unit holding code 66 (byte 33) for channel A: written with no selection made.
    SetupValues.Channel[CHANNEL_A].ResponseValue = 66;
    Form form = FormShowing(SetupValues);
    form.selection = {NO_SELECTION, NO_SELECTION};
    ASSERT_EQ(Set(form), 0);
    EXPECT_EQ(UnitBlock()[5], 33);

    SetupValues = DEFAULT_SETUP;
    SetupValues.Channel[CHANNEL_A].ResponseIndex = 5;
    ASSERT_EQ(ReadSetup(), 0);
    EXPECT_EQ(SetupValues.Channel[CHANNEL_A].ResponseValue, 66);
    EXPECT_EQ(SetupValues.Channel[CHANNEL_A].ResponseIndex, 5);
    ASSERT_EQ(Set(FormShowing(SetupValues)), 0);
    EXPECT_EQ(UnitBlock()[5], 192 / 2);
}

TEST_F(SetupTransferTest, FirmwareUpdateModeStopsReadAndSetBeforeAnythingIsSent) {
    Start({"--unit-mode", "1"});
    SetupValues.StoichAfr = 1234;
    EXPECT_EQ(ReadSetup(), -1);
    EXPECT_EQ(SetupValues.StoichAfr, 1234);
    EXPECT_EQ(WriteSetup(FormShowing(SetupValues).Input()), -1);
    EXPECT_EQ(SetupWriteRunning.load(), 0);
    std::vector<RecordedNotice> notices = Notices();
    ASSERT_EQ(notices.size(), 2u);
    for (const RecordedNotice& notice : notices) {
        EXPECT_EQ(notice.text, "\nThe MQ-6 WB Unit is currently in the Firmware Update Mode\n\n"
                               "The Firmware Update MUST be completed before continuing.\n");
        EXPECT_EQ(notice.caption, "-WB Setup Error-");
        EXPECT_EQ(notice.flags, NOTICE_TOPMOST | NOTICE_ERROR_ICON);
    }
    for (const std::string& command : Commands(ReadRequestLog(dir.File("log"))))
        EXPECT_TRUE(command == "R/0" || command == "R/7") << command;
    EXPECT_TRUE(Events().empty());
}

TEST_F(SetupTransferTest, SetupModeDoesNotStopReadOrSet) {
    Start({"--unit-mode", "2"});
    EXPECT_EQ(ReadSetup(), 0);
    EXPECT_EQ(Set(FormShowing(SetupValues)), 0);
}

TEST_F(SetupTransferTest, SilentUnitStillGetsAWorkerThatFailsWithTheCommError) {
    Start({"--silent"});
    EXPECT_EQ(WriteSetup(FormShowing(SetupValues).Input()), 0);
    EXPECT_EQ(WaitSetupWrite(), -1);
    std::vector<RecordedNotice> notices = Notices();
    ASSERT_EQ(notices.size(), 2u);
    EXPECT_EQ(notices[0].caption, "Error") << "the data-error box";
    EXPECT_EQ(notices[1].text, "       Comm Error\n\nCheck PC to MQ-6 WB Connection\n\nIs the "
                               "MQ-6 WB Powered On?");
    EXPECT_EQ(notices[1].caption, "-WB Setup Error-");
    EXPECT_EQ(notices[1].flags, NOTICE_TOPMOST | NOTICE_ERROR_ICON);
    EXPECT_EQ(Events(), (std::vector<std::string>{"begin", "end -1"}));
    // The block was prepared all the same.
    EXPECT_EQ(Bytes(DeviceInfo.begin() + 4, DeviceInfo.begin() + 68), PackedBlock(DEFAULT_SETUP));
}

TEST_F(SetupTransferTest, RefusedLoadModeShowsItsStage) {
    Start({"--refuse-load"});
    EXPECT_EQ(Set(FormShowing(SetupValues)), -1);
    std::vector<RecordedNotice> notices = Notices();
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].text, "Request load mode failed\n");
    EXPECT_EQ(notices[0].caption, "-WB Setup Error-");
}

TEST_F(SetupTransferTest, NothingElseStartsWhileAWriteRuns) {
    Start({});
    HoldWorker = 1;
    ASSERT_EQ(WriteSetup(FormShowing(SetupValues).Input()), 0);
    ASSERT_TRUE(WaitFor([] { return !Events().empty(); }, 2000));
    size_t before = ReadRequestLog(dir.File("log")).size();
    EXPECT_EQ(WriteSetup(FormShowing(SetupValues).Input()), -1);
    EXPECT_EQ(ReadSetup(), -1);
    EXPECT_EQ(ReadRequestLog(dir.File("log")).size(), before) << "neither sent a request";
    HoldWorker = 0;
    EXPECT_EQ(WaitSetupWrite(), 0);
    EXPECT_EQ(SetupWriteRunning.load(), 0);
    EXPECT_EQ(WriteSetup(FormShowing(SetupValues).Input()), 0);
    EXPECT_EQ(WaitSetupWrite(), 0);
}

} // namespace
