// mq6 firmware status and update, run as a program against mq6-sim, including updates cut
// short by the unit vanishing and finished by a second run.
#include "firmware/test_files.h"
#include "support/sim_process.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace {

constexpr char MATCH_TEXT[] = "The Firmware Versions Match, There is no Need to Update";
constexpr char UPDATE_TEXT[] = "This is a Newer Version of Firmware, Please Update";
constexpr char NEWER_TEXT[] = "The Current MQ-6 Firmware is Newer then this Firmware";

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class FirmwareCliTest : public ::testing::Test {
  protected:
    TempDir dir;
    SimProcess sim;

    void TearDown() override {
        StopSim(sim);
    }
    void Start(std::vector<std::string> args) {
        sim = StartSim(args);
        ASSERT_FALSE(sim.path.empty());
    }
    ProcessResult Mq6(std::vector<std::string> args) {
        args.insert(args.begin(), {"--port", sim.path});
        return RunProcess(MQ6_CLI_PATH, args, dir.path);
    }
};

TEST_F(FirmwareCliTest, StatusGivesTheVerdictForTheUnitsVersion) {
    struct Case {
        const char* version;
        const char* verdict;
    };
    for (Case c : {Case{"1.00", UPDATE_TEXT}, Case{"1.01", MATCH_TEXT}, Case{"1.02", NEWER_TEXT},
                   Case{"2.00", NEWER_TEXT}}) {
        Start({"--version", c.version});
        ProcessResult result = Mq6({"firmware", "status"});
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(result.out, std::string("Unit version: ") + c.version +
                                  "\nCarried version: 1.01\n" + c.verdict + "\n");
        StopSim(sim);
    }
}

TEST_F(FirmwareCliTest, UpdateTakesAUnitFrom100To101) {
    Start({"--version", "1.00"});
    ProcessResult result = Mq6({"firmware", "update", "--yes"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_TRUE(Contains(result.err, "Programming...\nVerifying...\nFinishing...\n")) << result.err;
    EXPECT_TRUE(Contains(result.out,
                         std::string("Unit version: 1.00\nCarried version: 1.01\n") + UPDATE_TEXT))
        << result.out;
    EXPECT_TRUE(Contains(result.out, std::string("Unit version: 1.01\nCarried version: 1.01\n") +
                                         MATCH_TEXT + "\n"))
        << result.out;

    ProcessResult status = Mq6({"firmware", "status"});
    EXPECT_TRUE(Contains(status.out, MATCH_TEXT)) << status.out;
}

TEST_F(FirmwareCliTest, UpdateRefusesAUnitInSetupMode) {
    Start({"--version", "1.00", "--unit-mode", "2", "--log", dir.File("log")});
    ProcessResult result = Mq6({"firmware", "update", "--yes"});
    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(Contains(result.err, "-WB Firmware Error-")) << result.err;
    EXPECT_TRUE(Contains(result.err, "The MQ-6 WB Unit is currently in the SetUp Mode"))
        << result.err;
    EXPECT_TRUE(Contains(result.err, "The SetUp MUST be completed before continuing."))
        << result.err;
    for (const std::vector<uint8_t>& frame : ReadRequestLog(dir.File("log")))
        EXPECT_NE(frame[1], 15) << "no load-mode request";
}

TEST_F(FirmwareCliTest, UpdateInFirmwareUpdateModeIsNotRefused) {
    Start({"--version", "1.00", "--unit-mode", "1"});
    ProcessResult result = Mq6({"firmware", "update", "--yes"});
    EXPECT_EQ(result.status, 0) << result.err;
}

TEST_F(FirmwareCliTest, UpdateWithoutTerminalOrYesIsRefusedBeforeConnecting) {
    Start({"--version", "1.00", "--log", dir.File("log")});
    ProcessResult result = Mq6({"firmware", "update"});
    EXPECT_EQ(result.status, 2);
    EXPECT_TRUE(Contains(result.err, "--yes")) << result.err;
    EXPECT_TRUE(ReadRequestLog(dir.File("log")).empty());
    EXPECT_EQ(Mq6({"firmware"}).status, 2);
    EXPECT_EQ(Mq6({"firmware", "flash"}).status, 2);
    EXPECT_EQ(Mq6({"firmware", "status", "--yes"}).status, 2);
}

TEST_F(FirmwareCliTest, FailedUpdatePrintsTheStageText) {
    Start({"--version", "1.00", "--refuse-load"});
    ProcessResult result = Mq6({"firmware", "update", "--yes"});
    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(Contains(result.err, "-Firmware Update Error-: Request load mode failed"))
        << result.err;

    StopSim(sim);
    Start({"--version", "1.00", "--fail-write", "101"});
    result = Mq6({"firmware", "update", "--yes"});
    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(Contains(result.err, "Programming...\n")) << result.err;
    EXPECT_TRUE(Contains(result.err, "-Firmware Update Error-: Program Mode Failure"))
        << result.err;
}

// The unit vanishes after `bytes` request bytes of the first run. mq6 sends 28 bytes to read
// the data block, then: load-mode request ends at 56, loader checks at 100, code records at
// 3818, the loader read at 3840, read-backs at 7558, information records at 7822 and the
// restart request at 7844.
struct CutPoint {
    int bytes;
    const char* stage; // what the cut run reports
};

void PrintTo(const CutPoint& point, std::ostream* out) {
    *out << point.bytes << " bytes";
}

class InterruptedUpdateTest : public FirmwareCliTest,
                              public ::testing::WithParamInterface<CutPoint> {};

TEST_P(InterruptedUpdateTest, RerunFinishesAtTheCarriedVersion) {
    std::string state = dir.File("state");
    Start({"--version", "1.00", "--state", state, "--vanish-after",
           std::to_string(GetParam().bytes)});
    ProcessResult cut = Mq6({"firmware", "update", "--yes"});
    EXPECT_EQ(cut.status, 1);
    EXPECT_TRUE(Contains(cut.err, GetParam().stage)) << cut.err;
    EXPECT_EQ(WaitSimExit(sim, 5000), 3) << "the simulator vanished";
    StopSim(sim);

    Start({"--version", "1.00", "--state", state});
    ProcessResult rerun = Mq6({"firmware", "update", "--yes"});
    EXPECT_EQ(rerun.status, 0) << rerun.out << rerun.err;
    ProcessResult status = Mq6({"firmware", "status"});
    EXPECT_EQ(status.out,
              std::string("Unit version: 1.01\nCarried version: 1.01\n") + MATCH_TEXT + "\n");
}

INSTANTIATE_TEST_SUITE_P(
    VanishingUnit, InterruptedUpdateTest,
    ::testing::Values(CutPoint{20, "Get MQ-6 Data Error"}, CutPoint{50, "Request load mode failed"},
                      CutPoint{100, "-Firmware Update Error-: Version request OK"},
                      CutPoint{2000, "Program Mode Failure"},
                      CutPoint{3830, "Program Request Failure"},
                      CutPoint{5000, "Program Request Failure"},
                      CutPoint{7700, "Program Mode Data Failure"},
                      CutPoint{7844, "firmware written, but the unit's data block cannot be read"}),
    [](const ::testing::TestParamInfo<CutPoint>& point) {
        return "After" + std::to_string(point.param.bytes) + "Bytes";
    });

} // namespace
