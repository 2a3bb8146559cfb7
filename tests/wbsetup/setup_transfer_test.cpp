// Read, Defaults and Set against the simulated unit over its pseudo-terminal: what reaches the
// unit's data block and output tables, the notices, the job's front-end calls and its files.
#include "firmware/test_files.h"
#include "link/link.h"
#include "platform/notice.h"
#include "support/notice_record.h"
#include "support/pty_peer.h"
#include "support/sim_process.h"
#include "wbsetup/setup_form.h"
#include "wbsetup/setup_job.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

namespace {

const std::string FIRMWARE_MODE = "\nThe MQ-6 WB Unit is currently in the Firmware Update Mode\n\n"
                                  "The Firmware Update MUST be completed before continuing.\n";

// What the job reported: "begin", "end <result>" (JobResult's number), read once it has ended.
// Its progress goes straight to the transfer, whose steps the programming tests count.
std::string Events;
const SetupJobFrontEnd FRONT_END = {
    nullptr, [] { Events += "begin"; }, nullptr,
    [](const JobOutcome& outcome) { Events += " end " + std::to_string(outcome.result); }};

// The unit's image: codes at entries 0, 331 and 511 of table 1 and then of table 2, and the
// setup block.
void ExpectImage(const Bytes& image, const std::array<int, 6>& codes, const std::string& block) {
    ASSERT_EQ(image.size(), 4096u + 64u);
    for (size_t k = 0; k < codes.size(); ++k) {
        const size_t at = k / 3 * 2048 + std::array{0u, 331u, 511u}[k % 3] * 4;
        EXPECT_EQ(Bytes(image.begin() + at, image.begin() + at + 4),
                  (Bytes{0x34, uint8_t(codes[k] >> 8), 0x34, uint8_t(codes[k])}))
            << k;
    }
    EXPECT_EQ(Bytes(image.begin() + 4096, image.end()), Hex(block.c_str()));
}

class SetupTransferTest : public ::testing::Test {
  protected:
    TempDir dir;
    SimProcess sim;

    void SetUp() override {
        ClearRecordedNotices();
        Events.clear();
        SetupValues = DEFAULT_SETUP;
        setenv("XDG_DATA_HOME", dir.path.c_str(), 1); // the restore points and the unfinished setup
    }
    void TearDown() override {
        WaitSetupWrite();
        unsetenv("XDG_DATA_HOME");
        StopLink();
        StopSim(sim);
    }
    // The unit, again when there is one already.
    void Start(std::vector<std::string> args) {
        StopLink();
        StopSim(sim);
        args.insert(args.end(), {"--dump-tables", dir.File("tables")});
        sim = StartSim(args);
        ASSERT_TRUE(StartLinkOn(sim.path));
    }
    // Set as the view's button runs it on its eight channel texts and two Response rows, waiting
    // for the worker; the outcome's JobResult, -2 when the write was refused.
    int Set(const std::array<const char*, 8>& texts, std::array<int32_t, 2> rows) {
        std::filesystem::remove(dir.File("tables"));
        SetupFormTexts form{{}, {}, rows, {}};
        for (size_t row = 0; row < texts.size(); ++row)
            std::strncpy(form.Text[row].data(), texts[row], FIELD_TEXT_LIMIT);
        SetupRecord values{};
        ReadSetupForm(form, values);
        if (StartSetupWrite(values, {}, FRONT_END) != 0)
            return -2;
        return WaitSetupWrite().result;
    }
    // The tables the unit dumped and the setup block it holds.
    Bytes UnitImage() {
        const std::string tables = ReadText(dir.File("tables"));
        Bytes image(tables.begin(), tables.end());
        EXPECT_EQ(GetDeviceData(), 0);
        image.insert(image.end(), &DeviceInfo[4], &DeviceInfo[68]);
        return image;
    }
};

TEST_F(SetupTransferTest, SetWritesTheTypedValuesAndTheRowsSelected) {
    Start({});
    SetupValues.SetupFlags = SETUP_FLAG_B_LINEAR | 0xF0; // bits only the unit knows travel
    SetupValues.StoichAfr = 1460;
    // Response rows 9 and -2 stand for rows 6 and 2.
    ASSERT_EQ(Set({"1.2", "11.5", "4.46", "18.0", "0.5", "9", "5", "16.444"}, {9, -2}),
              JOB_VERIFIED);
    // A: 1.2 V at 11.50, 4.5 V at 18.00; B: 0.5 V at 9.00 (rich of the table), 5 V at 16.44.
    ExpectImage(UnitImage(), {983, 2268, 3686, 797, 3178, 4095},
                "05 B4 F2 00 00 78 30 0C 2D 04 7E 07 08 05 32 03 84 06 6C 80 5A*44");
    // The unit's defaults were kept as the one restore point; the setup written, once the unit
    // held it, is not kept as unfinished.
    std::vector<std::string> points;
    for (const auto& entry : std::filesystem::directory_iterator(dir.File("mq6/restore")))
        points.push_back(ReadText(entry.path().string()));
    ASSERT_EQ(points.size(), 1u);
    EXPECT_NE(points[0].find("\"stoich_afr\": 14.70"), std::string::npos) << points[0];
    EXPECT_FALSE(std::filesystem::exists(dir.File("mq6/unfinished-setup.json")));
    EXPECT_EQ(Events, "begin end " + std::to_string(JOB_VERIFIED));
}

TEST_F(SetupTransferTest, FirmwareUpdateModeStopsReadAndSetAndTheSampleKeyStopsSet) {
    Start({"--unit-mode", "1"});
    EXPECT_EQ(ReadSetup(), -1);
    EXPECT_EQ(StartSetupWrite(DEFAULT_SETUP, {}, FRONT_END), -1);
    ASSERT_EQ(CountNotices(), 2u) << DescribeNotices(); // no worker was started
    for (const RecordedNotice& notice : RecordedNotices)
        EXPECT_EQ(notice.text + notice.caption + std::to_string(notice.flags),
                  FIRMWARE_MODE + "-WB Setup Error-" +
                      std::to_string(NOTICE_TOPMOST | NOTICE_ERROR_ICON));
    EXPECT_EQ(Events, "") << "nothing sent: no worker started";
    Start({"--unit-mode", "2"});
    EXPECT_EQ(ReadSetup(), 0);
    // Defaults clear the flags the unit gave; in narrowband channel B's fields are not read,
    // and with no row selected channel A's code 66 (which has no row) goes out as it is.
    SetupValues.SetupFlags = 0xF1;
    LoadDefaultSetup();
    SetupValues.Channel[CHANNEL_A].ResponseValue = 66;
    EXPECT_EQ(Set({"0", "10", "5", "20", "3.3", "10", "5", "20"}, {NO_SELECTION, 3}), JOB_VERIFIED);
    ExpectImage(UnitImage(), {0, 1920, 4095, 762, 410, 21},
                "05 BE 00 00 00 21 40 00 32 03 E8 07 D0 00 32 03 E8 07 D0 80 5A*44");
    // A unit running other firmware is refused the sample key: its caller is told, no worker.
    Start({"--other-firmware"});
    ClearRecordedNotices();
    Events.clear();
    EXPECT_EQ(StartSetupWrite(DEFAULT_SETUP, {}, FRONT_END), -1);
    EXPECT_EQ(std::pair(CountNotices(), Events), std::pair(size_t{1}, std::string()));
}

// With the sample key only where the rule is lifted: the block is unreadable, so there is no
// restore point, and the write goes on as the unit may wait in its loader. It stops at the
// loader's first check; nothing was written, so the setup it meant to write is not kept.
TEST_F(SetupTransferTest, SilentUnitStillGetsAWorkerThatStopsBeforeAnythingIsWritten) {
    Start({"--silent"});
    SetupJobFrontEnd frontEnd = FRONT_END;
    frontEnd.note = [](SetupJobNote note, const std::string& detail) {
        Events += std::to_string(note) + " " + detail + "|";
    };
    setenv("MQ6_ALLOW_SAMPLE", "1", 1);
    EXPECT_EQ(StartSetupWrite(DEFAULT_SETUP, {}, frontEnd), 0);
    unsetenv("MQ6_ALLOW_SAMPLE");
    EXPECT_EQ(StartSetupWrite(DEFAULT_SETUP, {}, frontEnd), -1)
        << "nothing else starts while the write runs";
    EXPECT_EQ(ReadSetup(), -1);
    JobOutcome outcome = WaitSetupWrite();
    EXPECT_EQ(FormatJobBox(outcome),
              "       Comm Error\n\nCheck PC to MQ-6 WB Connection\n\nIs "
              "the MQ-6 WB Powered On?\nNothing was written: the MQ-6 stopped "
              "answering, or its answer came damaged.");
    EXPECT_EQ(Events, std::to_string(SETUP_NOTE_NO_RESTORE_POINT) +
                          " The unit's data block could not be read, so there is no restore "
                          "point of its setup for this write.|begin end " +
                          std::to_string(JOB_STOPPED_ANSWERING));
    EXPECT_FALSE(std::filesystem::exists(dir.File("mq6/unfinished-setup.json")));
}

} // namespace
