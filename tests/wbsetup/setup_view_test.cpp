// The Wide Band Setup view's rules over recorded controls: where its marks stand and what they
// say, what Set refuses before anything is sent, the offset bar and the layouts of channel B, and
// a write cut off and finished after a restart with the setup it was writing.
#include "display/status_line.h"
#include "firmware/banner.h"
#include "firmware/test_files.h"
#include "link/link.h"
#include "settings/config.h"
#include "support/canvas_record.h"
#include "support/notice_record.h"
#include "support/pty_peer.h"
#include "support/setup_controls_record.h"
#include "support/shell_record.h"
#include "support/sim_process.h"
#include "wbsetup/setup_form.h"
#include "wbsetup/setup_job.h"
#include "wbsetup/setup_view.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>

namespace {

class SetupViewTest : public ::testing::Test {
  protected:
    TempDir dir;
    SimProcess sim;

    void SetUp() override {
        LineHeight = 20, CharWidth = 10, ClientWidth = 794;
        // Where mq6, run by the tests, keeps its files too.
        setenv("XDG_DATA_HOME", dir.File("data").c_str(), 1);
        // The folder of a file opened is kept in the settings, beside the program.
        ASSERT_EQ(BuildConfigPath(dir.File("mq6wb")), 0);
        ClearRecordedNotices();
        ClearShellRecord();
        ResetLinkState();
    }
    void TearDown() override {
        WaitForJobEnd();
        LeaveSetupView();
        StopLink();
        StopSim(sim);
        unsetenv("XDG_DATA_HOME");
    }
    // The view as a front end enters it, afresh: no controls, the defaults, nothing edited.
    void Enter() {
        ClearSetupControls();
        SetupValues = DEFAULT_SETUP;
        ResetSetupForm();
        MakeAlwaysControls();
        EnterSetupView();
    }
    // The unit's data block as read, holding setup and in mode.
    void UnitHolds(const SetupRecord& setup, uint8_t mode) {
        PackSetupBlock(setup, DeviceInfo);
        DeviceInfo[UNIT_MODE_OFFSET] = mode;
        DeviceDataValid = 1;
    }
    std::string Text(SetupControl control) {
        return RecordedControls[static_cast<size_t>(control)].text;
    }
};

// Marks stand 3 pixels right of their control, 6 by 6, centred on its face (a field's is
// LineHeight - 4 = 16 high, a drop-down list's one line, the offset bar's 18); with CharWidth 10:
// row 0's field ends at 44 + 5 x 10, A's box at 133 + 10 x 10, the WB button at 713 + 5 x 10.
TEST_F(SetupViewTest, MarksStandBesideTheirControlsAndTheirKeyIsDrawnWithThem) {
    const std::pair<int, ViewRect> places[] = {
        {0, {97, 369, 103, 375}},  {1, {333, 369, 339, 375}},  {8, {183, 511, 189, 517}},
        {9, {236, 431, 242, 437}}, {11, {766, 431, 772, 437}}, {12, {735, 370, 741, 376}},
    };
    for (auto [item, place] : places) {
        ViewRect area = SetupMarkArea(item);
        EXPECT_EQ(std::tuple(area.left, area.top, area.right, area.bottom),
                  std::tuple(place.left, place.top, place.right, place.bottom))
            << item;
    }
    // The unit holds the defaults; the file differs in A's first volts and, in the linear
    // layout, B's first AFR, whose field is not there in NB: its mark goes beside WB.
    UnitHolds(DEFAULT_SETUP, 0);
    Enter();
    WriteText(dir.File("a.json"), R"({"a1_volts": 1.2, "b1_afr": 9})");
    ASSERT_EQ(OpenSetupFile(dir.File("a.json")), 0);
    EXPECT_EQ(MarkedItems(), (1u << 0) | ITEM_LAYOUT);
    ClearCanvasCalls();
    Canvas* canvas = CanvasOpenWindow();
    PaintSetupViewWithMarks(canvas, canvas);
    std::vector<std::array<int, 4>> squares;
    for (const CanvasCall& call : CanvasCallsOf(CanvasOp::RECTANGLE))
        if (call.state.brushColour == Rgb(200, 0, 200))
            squares.push_back({call.args[0], call.args[1], call.args[2], call.args[3]});
    // Row 0's and WB's marks, then the key's square at 420 + 2, centred on 468 to 485.
    EXPECT_EQ(squares, (std::vector<std::array<int, 4>>{
                           {97, 369, 103, 375}, {766, 431, 772, 437}, {422, 473, 428, 479}}));
    EXPECT_EQ(CanvasCallsOf(CanvasOp::TEXT).back().text, "Set MQ-6 changes what is marked");
    // Set Defaults' note stays when the unit's block comes again.
    OnSetupButton(SETUP_DEFAULTS);
    DeviceInfo[130] ^= 1;
    OnSetupViewWake(SETUP_WAKE_DATA);
    DeliverSetupWakes();
    EXPECT_EQ(Text(SETUP_NOTE), "The MQ-6 is unchanged until Set MQ-6");
    // Once the view is left, a block that comes late reaches none of its controls.
    LeaveSetupView();
    ClearShellRecord();
    DeviceInfo[130] ^= 1;
    OnSetupViewWake(SETUP_WAKE_DATA);
    DeliverSetupWakes();
    EXPECT_TRUE(RequestedRepaints.empty());
}

// Set refuses, saying why and sending nothing: a field its check limited (told once); a unit
// whose values have not been seen; a unit holding part of a cut write while the view shows no
// setup of the user's choosing; values beyond what the fields take, unless the user says yes.
TEST_F(SetupViewTest, SetRefusesBeforeAnythingIsSent) {
    const struct {
        const char* what;
        std::function<void()> arrange;
        const char* said;
    } rows[] = {
        {"limited",
         [] { RecordedControls[0].text = "6", OnSetupFieldLeft(static_cast<SetupControl>(0)); },
         "Channel A, first Volts was limited to 5.0.\n\nNothing was written."},
        {"unseen", [] { DeviceDataValid = 0; }, "has not been read from the unit now connected"},
        {"mix", [] { DeviceInfo[UNIT_MODE_OFFSET] = UNIT_MODE_SETUP; },
         "holds part of a setup from a write that did not finish"},
        {"beyond, no",
         [this] {
             WriteText(dir.File("b.json"), R"({"stoich_afr": 250, "a2_volts": 6})");
             OpenSetupFile(dir.File("b.json"));
         },
         "stoich_afr 250.00 (1 to 210), a2_volts 6.0 (0 to 5)"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        ClearRecordedNotices();
        Enter();
        UnitHolds(DEFAULT_SETUP, 0); // each row changes this unit
        row.arrange();
        OnSetupButton(SETUP_SET);
        ASSERT_EQ(CountNotices(), 1u) << DescribeNotices();
        EXPECT_TRUE(Has(RecordedNotices[0].text, row.said)) << RecordedNotices[0].text;
        EXPECT_EQ(JobRunning.load(), 0);
        EXPECT_FALSE(RecordedControls[SETUP_WRITE_BAR].shown);
    }
}

// The bar's steps within 55 to 201; Home is the centre. An opened file's offset of 20, beyond
// the bar, moves by what the bar moved. NB and WB make channel B's controls of their layout.
TEST_F(SetupViewTest, TheOffsetBarStepsAndEachLayoutHasItsControls) {
    const std::tuple<OffsetRequest, int, int> steps[] = {
        {OFFSET_LINE_LESS, 128, 127}, {OFFSET_LINE_MORE, 201, 201}, {OFFSET_PAGE_LESS, 60, 55},
        {OFFSET_PAGE_MORE, 128, 136}, {OFFSET_TRACK, 300, 201},     {OFFSET_HOME, 60, 128},
        {OFFSET_STAY, 77, 77},
    };
    for (auto [request, position, moved] : steps)
        EXPECT_EQ(OffsetBarStep(request, position, position), moved) << request;
    UnitHolds(DEFAULT_SETUP, 0);
    Enter();
    WriteText(dir.File("c.json"), R"({"nb_offset": 20})");
    ASSERT_EQ(OpenSetupFile(dir.File("c.json")), 0); // the bar shows it at its end, 55
    // What a step redraws first (LineHeight 20, CharWidth 10): for the bar, the B plot; for WB,
    // channel B's lower half, then what the Stoich AFR check redraws: the figures under both
    // plots (320 to 340), the A plot, the B plot with its scale (439 - 3 x 10, 68 - 10, 328).
    using Areas = std::vector<std::array<int, 4>>;
    auto drawn = [](size_t n) {
        Areas areas;
        for (ViewRect r : RequestedRepaints)
            areas.push_back({r.left, r.top, r.right, r.bottom});
        ClearShellRecord();
        areas.resize(std::min(n, areas.size()));
        return areas;
    };
    ClearShellRecord();
    OnSetupOffsetScroll(OFFSET_LINE_MORE, 0);
    EXPECT_EQ(SetupValues.NbOffset, 21);
    EXPECT_EQ(drawn(1), (Areas{{439, 68, 769, 318}}));
    auto shown = [] {
        std::string controls;
        for (int c : {4, 5, 6, 7, int(SETUP_OFFSET_BAR)})
            controls += RecordedControls[size_t(c)].shown ? "1" : "0";
        return controls;
    };
    EXPECT_EQ(shown(), "00001");
    RecordedControls[SETUP_WB].checked = true;
    OnSetupButton(SETUP_WB);
    EXPECT_EQ(std::tuple(shown(), Text(static_cast<SetupControl>(5)), EditedItems & ITEM_LAYOUT),
              std::tuple("11110", "10.00", ITEM_LAYOUT));
    EXPECT_EQ(drawn(5), (Areas{{403, 362, 789, 416},
                               {8, 320, 394, 340},
                               {403, 320, 789, 340},
                               {44, 68, 374, 318},
                               {409, 58, 769, 328}}));
    OnSetupButton(SETUP_WB); // again, on the layout shown: it stays
    EXPECT_EQ(shown(), "11110");
}

// A write cut by the unit's going (in its output tables, or after the first of its setup
// records) leaves the unit in its setup mode. After a restart (a fresh view) the unit's half
// written block is not shown: the setup that was being written is, with a note, and Set MQ-6
// writes that with the rates then picked; the unit holds it whole and nothing is left to finish.
TEST_F(SetupViewTest, ACutWriteIsFinishedAfterARestartWithTheSetupItWasWriting) {
    for (const char* cut : {"2967", "11458"}) {
        SCOPED_TRACE(cut);
        const std::string state = dir.File(std::string("state") + cut);
        sim = StartSim({"--state", state, "--vanish-after", cut});
        ProcessResult run = RunMq6(sim.path,
                                   {"setup", "write", "--defaults", "--stoich", "14.1", "--b-mode",
                                    "wb", "--b1", "0.5,11.5", "--b2", "4.5,16.5", "--yes"},
                                   dir.path);
        EXPECT_EQ(run.status, 1) << run.err;
        StopSim(sim);
        sim = StartSim({"--state", state});
        ASSERT_TRUE(StartLinkOn(sim.path));
        ASSERT_EQ(GetDeviceData(), 0);
        ASSERT_EQ(DeviceInfo[UNIT_MODE_OFFSET], UNIT_MODE_SETUP);
        Enter();
        EXPECT_EQ(
            std::tuple(Text(SETUP_STOICH_FIELD), Text(static_cast<SetupControl>(4)),
                       Text(static_cast<SetupControl>(7)), Text(SETUP_NOTE)),
            std::tuple("14.10", "0.5", "16.50", "Set MQ-6 finishes the cut write with these"));
        // Each channel's rate as picked in its own box: A the slowest (16), B the fastest (240).
        RecordedControls[SETUP_RESPONSE_A].choice = 0;
        RecordedControls[SETUP_RESPONSE_B].choice = 6;
        OnSetupButton(SETUP_SET);
        EXPECT_EQ(WaitSetupWrite().result, JOB_VERIFIED) << DescribeNotices();
        // The bar and the phase stand while the write runs, until its end reaches the view.
        auto shown = [] {
            return RecordedControls[SETUP_PHASE].shown + RecordedControls[SETUP_WRITE_BAR].shown;
        };
        int during = shown();
        DeliverSetupWakes();
        SetupRecord held = DEFAULT_SETUP;
        UnpackSetupBlock(DeviceInfo, held);
        EXPECT_EQ(std::tuple(held.StoichAfr, held.Channel[CHANNEL_B].Afr2, DeviceInfo[255], during,
                             shown(), held.Channel[CHANNEL_A].ResponseValue,
                             held.Channel[CHANNEL_B].ResponseValue),
                  std::tuple(1410, 1650, uint8_t{0}, 2, 0, 16, 240));
        EXPECT_FALSE(std::filesystem::exists(dir.File("data/mq6/unfinished-setup.json")));
        StopLink();
        StopSim(sim);
    }
    // What a crash left of the file is no setup to finish.
    WriteText(dir.File("data/mq6/unfinished-setup.json"), "{\"stoich\": 14.1");
    SetupRecord damaged = DEFAULT_SETUP;
    EXPECT_FALSE(ReadPendingSetup(damaged));
}

} // namespace
