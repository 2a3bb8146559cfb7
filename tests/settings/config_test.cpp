// The configuration file on real files in a temporary directory: what each line reads as,
// what is written, and what happens when the file cannot be opened.
#include "display/live_record.h"
#include "firmware/test_files.h"
#include "settings/config.h"
#include "settings/file_replace.h"
#include "support/notice_record.h"
#include "wbsetup/setup_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sstream>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

constexpr std::string_view START_FILE = "[ID] MQ-6 WB Utility\n[PORT] COMx\n[AUTOPORT] 1\n"
                                        "[XPOSHWND] -1\n[YPOSHWND] -1\n[LAMBLOW] 0.860000\n"
                                        "[LAMBHIGH] 0.880000\n[LAMBFILT] 50\n";

// Every setting, as "PORT AUTOPORT X Y LOW HIGH FILT", and " FOLDER" when there is one.
std::string Settings() {
    std::ostringstream shown;
    shown << PortName.data() << ' ' << AutoPort.load() << ' ' << WindowX.load() << ' '
          << WindowY.load() << ' ' << TargetLow.load() << " " << TargetHigh.load() << " "
          << ResponseRate.load() << (RecordFolder[0] != '\0' ? " " : "") << RecordFolder.data();
    return shown.str();
}

class ConfigTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetLinkState();
        ResetSettings();
        ClearRecordedNotices();
        ASSERT_EQ(BuildConfigPath(dir.File("mq6wb")), 0); // the settings file beside it
    }
    // Reads the settings file and writes it again; what was written, or "" beside another file.
    std::string Rewrite() {
        ReadConfig();
        WriteConfig();
        return std::distance(fs::directory_iterator(dir.path), {}) == 1 ? ReadText(file) : "";
    }
    TempDir dir;
    const std::string file = dir.File("MQ-6_Setup.cfg");
};

// The file the writer makes from what was read reads back to the same file.
TEST_F(ConfigTest, LinesReadAsTheyShouldAndWriteBackTheSame) {
    // Each row after lines that set what no row below would produce: COMx 0 300 200 1 1.2 77.
    const std::string before = "[PORT] COMx\n[AUTOPORT] 0\n[XPOSHWND] 300\n[YPOSHWND] 200\n"
                               "[LAMBLOW] 1\n[LAMBHIGH] 1.2\n[LAMBFILT] 77\n";
    const std::string P32(32, 'P'), F1000(1000, 'F');
    const std::pair<std::string, std::string> rows[] = {
        {"  [LAMBFILT] 20\n[LAMB] [LAMBFILT] 21\n[port] COM9\n", "COMx 0 300 200 1 1.2 77"},
        {"[LAMBFILT]20\n", "COMx 0 300 200 1 1.2 0"},
        {"[PORT]   COM7  \n[PORT COM5\n", "COM7 0 300 200 1 1.2 77"}, // no "]", no key
        {"[PORT] " + P32, "COM2 0 300 200 1 1.2 77"},                 // at the end of the file
        // The longest text of each text row, and one character more, which is refused whole.
        {"[PORT] " + P32.substr(1) + "\n", P32.substr(1) + " 0 300 200 1 1.2 77"},
        {"[PORT] " + P32 + "\n", "COM2 0 300 200 1 1.2 77"},
        {"[RECFOLDER] " + F1000.substr(1) + "\n", "COMx 0 300 200 1 1.2 77 " + F1000.substr(1)},
        {"[RECFOLDER] " + F1000 + "\n", "COMx 0 300 200 1 1.2 77"},
        {"[LAMBFILT] 4294967346\n", "COMx 0 300 200 1 1.2 50"}, // must not wrap into range
        {"[LAMBLOW] nan\n", "COMx 0 300 200 0.86 1.2 77"},
        // A line read in pieces of 1047: its rest is no line of its own, nor part of the first.
        {std::string(1047, ' ') + "[LAMBFILT] 33\n", "COMx 0 300 200 1 1.2 77"},
        {"[LAMBFILT] " + std::string(1036, '0') + "7\n", "COMx 0 300 200 1 1.2 0"},
        // The bounds: each taken, one step beyond each gives the default. A target within the
        // file's bounds and beyond the dial's scale reads as the scale's end.
        {"[AUTOPORT] 1\n[XPOSHWND] -1\n[YPOSHWND] 1024\n[LAMBLOW] 0\n[LAMBHIGH] 2\n[LAMBFILT] "
         "100\n",
         "COMx 1 -1 1024 0.68 1.32 100"},
        {"[AUTOPORT] 0\n[XPOSHWND] 1280\n[YPOSHWND] -1\n[LAMBLOW] 2\n[LAMBHIGH] 0\n[LAMBFILT] 0\n",
         "COMx 0 1280 -1 1.32 0.68 0"},
        {"[AUTOPORT] 2\n[XPOSHWND] 1281\n[YPOSHWND] 1025\n[LAMBLOW] 2.001\n[LAMBHIGH] 2.001\n"
         "[LAMBFILT] 101\n",
         "COMx 1 -1 -1 0.86 0.88 50"},
        {"[AUTOPORT] -1\n[XPOSHWND] -2\n[YPOSHWND] -2\n[LAMBLOW] -0.001\n[LAMBHIGH] -0.001\n"
         "[LAMBFILT] -1\n",
         "COMx 1 -1 -1 0.86 0.88 50"},
    };
    for (const auto& [text, settings] : rows) {
        SCOPED_TRACE(text);
        WriteText(file, before + text);
        // Read and written, then read back and written again: whichever runs first, both
        // files are the same.
        EXPECT_EQ(Rewrite(), Rewrite());
        EXPECT_EQ(Settings(), settings);
    }
}

TEST_F(ConfigTest, MissingFileIsCreatedEmptyThenWrittenClamped) {
    ReadConfig();
    EXPECT_TRUE(fs::is_regular_file(file) && fs::file_size(file) == 0);
    EXPECT_EQ(Settings(), "COMx 1 -1 -1 0.86 0.88 50");
    StorePortName("COM7");
    AutoPort = 0, WindowX = 2000, WindowY = 1024, ResponseRate = -5;
    TargetLow = 0.912345, TargetHigh = 3.0;
    WriteConfig();
    EXPECT_EQ(ReadText(file),
              "[ID] MQ-6 WB Utility\n[PORT] COM7\n[AUTOPORT] 0\n[XPOSHWND] 1280\n"
              "[YPOSHWND] 1024\n[LAMBLOW] 0.912345\n[LAMBHIGH] 2.000000\n[LAMBFILT] 0\n");
    EXPECT_EQ(Settings(), "COM7 0 1280 1024 0.912345 2 0") << "the settings in use as written";
    EXPECT_EQ(CountNotices(), 0u) << DescribeNotices();
}

// In the current directory, the recording folder written as an extra last line and read back
// whole.
TEST_F(ConfigTest, PathIsBuiltFromTheProgramPathOrIsTheCurrentDirectory) {
    for (auto [command, path] :
         {std::pair<std::string, std::string>("\"C:\\Program Files\\MQ6\\mq6wb.exe\" ",
                                              "C:\\Program Files\\MQ6\\MQ-6_Setup.cfg"),
          {"C:\\MQ6\\mq6wb.exe", "C:\\MQ6\\MQ-6_Setup.cfg"},
          {"\"/opt/mq6/mq6wb\" ", "/opt/mq6/MQ-6_Setup.cfg"},
          {"\"mq6wb.exe\" ", ""},
          // The path and its end fill the 1024 bytes kept for it, or would need one more.
          {"/" + std::string(1007, 'd') + "/mq6wb",
           "/" + std::string(1007, 'd') + "/MQ-6_Setup.cfg"},
          {"/" + std::string(1008, 'd') + "/mq6wb", ""},
          {"\"C:\\" + std::string(1020, 'd') + "\\mq6wb.exe\" ", ""}}) {
        EXPECT_EQ(BuildConfigPath(command), path.empty() ? -1 : 0) << command;
        EXPECT_EQ(std::string(ConfigPath.data()), path);
    }
    fs::path previous = fs::current_path();
    fs::current_path(dir.path);
    std::strcpy(RecordFolder.data(), "C:\\Car Logs\\MQ6");
    WriteConfig();
    ResetSettings();
    // Read back from there: a folder lost on the way would be missing from the second write.
    EXPECT_EQ(Rewrite(), std::string(START_FILE) + "[RECFOLDER] C:\\Car Logs\\MQ6\n");
    fs::current_path(previous);
}

// The replacement's name is the file's, ".", the process id, ".0.tmp": a buffer that cannot
// hold it and its terminator gets no file, rather than one under a cut name.
TEST_F(ConfigTest, ReplacementNameThatDoesNotFitGetsNoFile) {
    const size_t length = file.size() + std::to_string(getpid()).size() + 7;
    for (size_t size : {length, length + 1}) {
        std::vector<char> name(size);
        FileReason reason{};
        std::FILE* replacement = CreateReplacement(file.c_str(), name.data(), size, reason);
        EXPECT_EQ(replacement != nullptr, size > length) << size;
        EXPECT_TRUE(replacement == nullptr || (FinishReplacement(replacement, reason) == 0 &&
                                               std::filesystem::remove(name.data())));
    }
}

// Each writer (a setup file, a recording, the settings file) on each kind of name: a link is
// followed and stays a link, a device or FIFO is written as it is, only a file or a new name is
// replaced; what cannot be written is reported with the system's reason (the settings file
// with its box). "full" is the system's full device, made here as root or linked to otherwise.
TEST(FileRuleTest, WritersFollowLinksWriteDevicesAsTheyAreAndReportWhatFails) {
    const std::pair<std::string, std::string> rows[] = {
        {"new", ""},
        {"file", ""},
        {"link to file", ""},
        {"link to nothing", ""},
        {"fifo, read", ""},
        {"fifo", "nothing reads from it"},
        {"full", "No space left on device"},
        {"folder", "it is a folder"},
        {"socket", "it is a socket"},
        {"loop", "Too many levels of symbolic links"},
        {"no folder", "its folder does not exist"},
    };
    const std::array<std::string, 3> want = {
        "{\"flags\": 0}\n", "time_s,lambda,afr,lambda_raw,stoich,mark\n", "[ID] MQ-6 WB Utility\n"};
    for (const auto& [kind, reason] : rows)
        for (size_t writer = 0; writer < want.size(); ++writer) {
            SCOPED_TRACE(kind + ", writer " + std::to_string(writer));
            TempDir dir;
            const std::string folder = dir.File(kind == "no folder" ? "no" : "."),
                              name = folder + "/MQ-6_Setup.cfg", target = dir.File("target");
            if (kind.ends_with("file"))
                WriteText(kind == "file" ? name : target, "old\n");
            if (kind.starts_with("link") || kind == "loop")
                fs::create_symlink(kind == "loop" ? "MQ-6_Setup.cfg" : "target", name);
            if (kind.starts_with("fifo"))
                mkfifo(name.c_str(), 0600);
            if (kind == "full" && mknod(name.c_str(), S_IFCHR | 0666, makedev(1, 7)) != 0)
                fs::create_symlink("/dev/full", name);
            if (kind == "folder")
                fs::create_directory(name);
            sockaddr_un address{AF_UNIX, {}};
            name.copy(address.sun_path, sizeof address.sun_path - 1);
            int local = kind == "socket" ? socket(AF_UNIX, SOCK_STREAM, 0) : -1;
            ASSERT_TRUE(local < 0 ||
                        bind(local, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0);
            int reader = kind == "fifo, read" ? open(name.c_str(), O_RDONLY | O_NONBLOCK) : -1;
            fs::file_type before = fs::symlink_status(name).type();
            std::string error, got(want[writer].size(), '\0');
            ClearRecordedNotices();
            BuildConfigPath(folder + "/mq6wb");
            bool written = writer == 0   ? WriteSetupText(name, want[0], error)
                           : writer == 1 ? StartRecording(name) == 0 && StopRecording() == 0
                                         : (WriteConfig(), CountNotices() == 0);
            if (reader >= 0)
                got.resize(size_t(std::max(0L, long(read(reader, got.data(), got.size())))));
            else if (written && fs::is_regular_file(name))
                got = ReadText(name).substr(0, got.size());
            else if (!written)
                got = writer == 0   ? error.substr(error.find(": ") + 2)
                      : writer == 1 ? std::string(RecordFailure())
                                    : reason;
            EXPECT_EQ(got, reason.empty() ? want[writer] : reason);
            EXPECT_EQ(fs::symlink_status(name).type(),
                      kind == "new" ? fs::file_type::regular : before);
            close(reader);
            close(local);
        }
}

} // namespace
