// The rules that the two desktop front ends share outside their views: the Preferences' target
// fields and OK, Comm Port Setup's choices and OK (the Linux list over fake sysfs trees), the
// data-error box, and the menu's commands refused while a job runs.
#include "app/commands.h"
#include "app/data_error.h"
#include "app/dialogs.h"
#include "app/input_filter.h"
#include "app/recording.h"
#include "discovery/comm_setup.h"
#include "discovery/fake_sysfs.h"
#include "display/live_stream.h"
#include "display/preferences.h"
#include "firmware/job.h"
#include "firmware/test_files.h"
#include "firmware/unfinished_job.h"
#include "resources/resource.h"
#include "settings/config.h"
#include "support/notice_record.h"
#include "support/shell_record.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <sys/resource.h>
#include <tuple>

namespace {

std::string Dialogs;
} // namespace

void ShowAppDialog(AppDialog dialog) {
    Dialogs += dialog == DIALOG_PREFERENCES ? "preferences "
               : dialog == DIALOG_ABOUT     ? "about "
                                            : "comm ";
}

void ExitProgram() {
    Dialogs += "exit ";
}

namespace {

class AppRules : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetSettings();
        ResetLinkState();
        ClearShellRecord();
        Dialogs.clear();
        settings = dir.File("MQ-6_Setup.cfg");
        ASSERT_EQ(BuildConfigPath(dir.File("mq6wb")), 0); // the settings file beside it
    }
    void TearDown() override {
        ConfigPath.fill('\0');
        JobRunning.store(0);
    }
    TempDir dir;
    std::string settings;
};

// A target field left: the text as a number, clamped into 0.68 to 1.32 and stored at once; the
// field shows it to two places. OK: the rate, and the band from the lower value to the higher.
TEST_F(AppRules, PreferencesClampEachFieldAndOkPutsTheBandInOrder) {
    // Typed, shown, stored, the first character that typing it would have been refused (-1: none).
    const std::tuple<const char*, const char*, double, int> fields[] = {
        {"", "0.68", 0.68, -1},     {"abc", "0.68", 0.68, 0},    {"1.5", "1.32", 1.32, -1},
        {"0.5", "0.68", 0.68, -1},  {".875", "0.88", 0.875, -1}, {"1.1", "1.10", 1.1, -1},
        {"0.9.5", "0.90", 0.90, 3},
    };
    for (auto [typed, shown, stored, refused] : fields) {
        SCOPED_TRACE(typed);
        EXPECT_EQ(std::pair(LeaveTargetField(TARGET_TO, typed), FindRefusedNumberChar(typed)),
                  std::pair(std::string(shown), refused));
        EXPECT_DOUBLE_EQ(TargetHigh.load(), stored);
    }
    // The rate, from and to as typed, the settings file's three lines.
    const std::tuple<int, const char*, const char*, const char*> confirms[] = {
        {33, "0.90", "0.85", "[LAMBLOW] 0.850000\n[LAMBHIGH] 0.900000\n[LAMBFILT] 33\n"},
        {90, "2", "", "[LAMBLOW] 0.680000\n[LAMBHIGH] 1.320000\n[LAMBFILT] 90\n"},
    };
    for (auto [rate, from, to, file] : confirms) {
        SCOPED_TRACE(from);
        ClearShellRecord();
        ConfirmPreferences(rate, from, to);
        EXPECT_NE(ReadText(settings).find(file), std::string::npos) << ReadText(settings);
        ASSERT_EQ(RequestedRepaints.size(), 1u) << "the window repainted with the new band";
    }
}

// OK stores the search and the chosen port, saves both, asks for the port again and reports a
// failure on it again; no entry chosen leaves the port as it was.
TEST_F(AppRules, CommSetupOkStoresTheChoiceAndReopens) {
    PortChoice chosen{};
    std::string name = "/dev/serial/by-id/usb-FTDI_MQ-6_A10K2QX7-if00-port0";
    name.copy(chosen.name.data(), chosen.name.size() - 1);
    const std::tuple<bool, const PortChoice*, const char*> rows[] = {
        {false, &chosen,
         "[PORT] /dev/serial/by-id/usb-FTDI_MQ-6_A10K2QX7-if00-port0\n[AUTOPORT] 0\n"},
        {true, nullptr, "[PORT] COMx\n[AUTOPORT] 1\n"},
    };
    for (auto [automatic, choice, file] : rows) {
        SCOPED_TRACE(file);
        StorePortName("COMx");
        ErrorShown.store(1);
        PortRequestPending.store(0);
        ConfirmCommSetup(automatic, choice);
        EXPECT_NE(ReadText(settings).find(file), std::string::npos) << ReadText(settings);
        EXPECT_EQ(std::tuple(ErrorShown.load(), PortRequestPending.load(), PortRequestCode.load()),
                  std::tuple(0, 1, PORT_REOPEN));
    }
    EXPECT_EQ(CommSetupNote(-1), "No MQ-6 unit was found. Connect it, or choose its port.");
    EXPECT_EQ(CommSetupNote(0), "");
}

// The Linux list: the udev rule's link when it is there, then every attached FTDI adapter's port
// (by-id names preferred), then the port named now when it is none of those; which is current.
TEST_F(AppRules, LinuxPortChoicesAndWhichIsCurrent) {
    // The case, the udev rule's link there, the port named ("@pty": a terminal that no adapter
    // leads to), each choice's label with '*' before the current one (TTY1: the adapter and the
    // product its device names, BYID: the one its by-id name names).
    const std::tuple<const char*, bool, std::string, std::string> rows[] = {
        {"first start", false, "COMx", "TTY1|BYID  (MQ-6)|"},
        {"the unit's by-id name", false, "BYID", "TTY1|*BYID  (MQ-6)|"},
        {"the udev rule's link", true, "LINK", "*LINK  (MQ-6)|TTY1|BYID  (MQ-6)|"},
        {"a port of its own", false, "@pty", "TTY1|BYID  (MQ-6)|*@pty|"},
        {"the terminal the link leads to", true, "@pty", "*LINK  (MQ-6)|TTY1|BYID  (MQ-6)|"},
    };
    for (const auto& [what, unitLink, portName, expected] : rows) {
        SCOPED_TRACE(what);
        FakeRoots roots;
        std::string sysfs = roots.path + "/sys", byId = roots.path + "/by-id";
        std::string link = roots.path + "/mq6", pty = roots.path + "/pty";
        AddFakeUsbDevices(sysfs, "1-1,ttyUSB1,FT232R USB UART;1-2,ttyUSB2");
        std::filesystem::create_directories(byId);
        std::string named = byId + "/usb-FTDI_MQ-6_A10K2QX7-if00-port0";
        std::filesystem::create_symlink("../../ttyUSB2", named);
        WriteText(pty, "");
        if (unitLink)
            std::filesystem::create_symlink(pty, link);
        auto spell = [&](std::string text) {
            for (auto [from, to] : {std::pair{std::string("BYID"), named},
                                    {"LINK", link},
                                    {"@pty", pty},
                                    {"TTY1", "/dev/ttyUSB1  (FT232R USB UART)"}})
                for (size_t at = text.find(from); at != std::string::npos; at = text.find(from))
                    text.replace(at, from.size(), to);
            return text;
        };
        StorePortName(spell(portName));
        PortChoices choices{};
        int current = -2;
        int count = ListPortChoices(choices, &current);
        std::string listed;
        for (int i = 0; i < count; ++i)
            listed += std::string(i == current ? "*" : "") + choices[i].label.data() + "|";
        EXPECT_EQ(listed, spell(expected));
    }
    // A unit link as long as a port name may be (a folder with slashes after it) leaves no room
    // for the name's end: it is left out.
    FakeRoots roots;
    std::string link = roots.path + std::string(PORT_NAME_SIZE - roots.path.size(), '/');
    setenv("MQ6_UNIT_LINK", link.c_str(), 1);
    PortChoices choices{};
    int current = -2;
    EXPECT_EQ(ListPortChoices(choices, &current), 0);
}

// The box after a read of the data block: shown for a read that failed unless it is up already or
// the unit is left mid-job (the status line names what finishes it); closed by a good read.
TEST_F(AppRules, DataErrorBoxShownClosedOrLeft) {
    // The read's success, the box up already, the job left, the action.
    const std::tuple<bool, bool, UnfinishedJob, DataErrorAction> rows[] = {
        {false, false, JOB_NONE, DATA_ERROR_SHOW},
        {false, true, JOB_NONE, DATA_ERROR_NOTHING},
        {false, false, JOB_SETUP_WRITE, DATA_ERROR_NOTHING},
        {true, true, JOB_NONE, DATA_ERROR_CLOSE},
        {true, false, JOB_NONE, DATA_ERROR_NOTHING},
    };
    for (auto [read, boxUp, left, action] : rows) {
        SCOPED_TRACE(std::to_string(read) + std::to_string(boxUp) + std::to_string(left));
        ResetUnfinishedJob();
        DeviceDataValid.store(0);
        NoteJobEnd(left);
        EXPECT_EQ(DataErrorAfterRead(read, boxUp), action);
    }
    ResetUnfinishedJob();
}

// The words for a unit left mid-job: the box's line and the status line's shorter one.
TEST_F(AppRules, AnUnfinishedJobIsToldWithWhatFinishesIt) {
    const std::tuple<UnfinishedJob, std::string, std::string> rows[] = {
        {JOB_NONE, "", ""},
        {JOB_SETUP_WRITE, "A setup write did not finish: press Set MQ-6 to finish it",
         "Setup write unfinished: press Set MQ-6"},
    };
    for (const auto& [job, guidance, status] : rows) {
        std::array<char, 96> line{};
        EXPECT_EQ(FormatJobGuidance(job, line.data(), line.size()), int(guidance.size()));
        EXPECT_EQ(std::pair(std::string(line.data()), std::string(JobStatusText(job))),
                  std::pair(guidance, status));
    }
}

// A recording that cannot write its rows ends with a box that names the file and the reason,
// here ended by the user: a file size limit of 100 bytes set after the header leaves no room.
TEST_F(AppRules, ARecordingThatCannotWriteEndsWithABox) {
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    std::signal(SIGXFSZ, SIG_IGN);
    ClearRecordedNotices();
    ASSERT_EQ(BeginRecording(dir.File("r.csv")), 0);
    const rlimit small = {100, old.rlim_max};
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    for (int frame = 0; frame < 10; ++frame)
        CallLiveListeners({0.8, 80, 118, 1470});
    EndRecording();
    setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_EQ(DescribeNotices(), "1 notices: [Recording: Recording of live data ended: it could "
                                 "not write to\\n\\n" +
                                     dir.File("r.csv") + "\\n\\nFile too large]");
}

// While a job runs, every command that would pull the link from under it, change the view or end
// the program is refused with a beep however it comes; Preferences, About and Mark are not.
TEST_F(AppRules, CommandsAJobLocksAreRefusedWithABeep) {
    const std::pair<int, bool> rows[] = {
        {IDM_EXIT, true},         {IDM_FIND_UNIT, true},      {IDM_COMM_SETUP, true},
        {IDM_RECORD, true},       {IDM_OPEN_SETUP, true},     {IDM_SAVE_SETUP, true},
        {IDM_WB_SETUP, true},     {IDM_AFR_LAMBDA, true},     {IDM_FIRMWARE_UPDATE, true},
        {IDM_LIVE_HISTORY, true}, {IDM_OPEN_RECORDING, true}, {IDM_RECORDING_VIEW, true},
        {IDM_PREFERENCES, false}, {IDM_ABOUT, false},
    };
    JobRunning.store(1);
    for (auto [command, refused] : rows) {
        SCOPED_TRACE(command);
        int beeps = RefusedInputBeeps();
        Dialogs.clear();
        AutoPort.store(0);
        EXPECT_EQ(RunMenuCommand(command), 0);
        EXPECT_EQ(RefusedInputBeeps() - beeps, refused ? 1 : 0);
        if (refused)
            EXPECT_EQ(Dialogs + std::to_string(AutoPort.load()), "0");
        else
            EXPECT_FALSE(Dialogs.empty());
    }
    JobRunning.store(0);
    EXPECT_EQ(RunMenuCommand(IDM_FIND_UNIT), 0);
    EXPECT_EQ(AutoPort.load(), 1) << "Find MQ-6 switches the search on";
    EXPECT_EQ(RunMenuCommand(IDC_VIEW_BUTTON), -1) << "no menu command";
}

} // namespace
