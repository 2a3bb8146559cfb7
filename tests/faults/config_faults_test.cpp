// The settings file where it cannot be written or reads back damaged: a read-only
// directory, a full disk, a file in place of the directory, corrupt lines and NUL bytes.
#include "faults/fault_table.h"
#include "settings/config.h"
#include "support/notice_record.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <sys/mount.h>

namespace {

namespace fs = std::filesystem;

constexpr std::string_view OLD_FILE = "[ID] MQ-6 WB Utility\n"
                                      "[PORT] COM3\n"
                                      "[AUTOPORT] 0\n"
                                      "[XPOSHWND] 120\n"
                                      "[YPOSHWND] 80\n"
                                      "[LAMBLOW] 0.900000\n"
                                      "[LAMBHIGH] 1.050000\n"
                                      "[LAMBFILT] 30\n";

std::string FileBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void PutFile(const fs::path& path, std::string_view bytes) {
    std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
}

std::set<std::string> Entries(const fs::path& dir) {
    std::set<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir))
        names.insert(entry.path().filename().string());
    return names;
}

void UseConfigPath(const fs::path& path) {
    ConfigPath.fill('\0');
    std::strncpy(ConfigPath.data(), path.c_str(), ConfigPath.size() - 1);
}

// The settings the old file holds, as ReadConfig took them.
bool HoldsOldSettings() {
    return std::string(PortName.data()) == "COM3" && AutoPort.load() == 0 &&
           WindowX.load() == 120 && WindowY.load() == 80 && TargetLow.load() == 0.9 &&
           TargetHigh.load() == 1.05 && ResponseRate.load() == 30;
}

class ConfigFaultsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetLinkState();
        ResetSettings();
        ClearRecordedNotices();
        char pattern[] = "/tmp/mq6-cfgfault.XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override {
        if (mounted)
            umount2(dir.c_str(), MNT_DETACH);
        fs::remove_all(dir);
        ResetSettings();
        ResetLinkState();
    }
    // The old file in place and read, then a setting changed and written where writing
    // fails: the file must be left as it was and still read back, with one notice shown.
    void WriteFails(const std::string& faultCase, const fs::path& file) {
        UseConfigPath(file);
        ReadConfig();
        ASSERT_TRUE(HoldsOldSettings());
        std::set<std::string> before = Entries(file.parent_path());
        ClearRecordedNotices();
        WindowX = 640;
        EXPECT_EQ(WriteConfig(), 0);
        size_t notices = CountNotices();
        EXPECT_EQ(notices, 1u);
        bool intact = FileBytes(file) == OLD_FILE;
        EXPECT_TRUE(intact);
        EXPECT_EQ(Entries(file.parent_path()), before) << "nothing else in the directory";
        EXPECT_EQ(WindowX.load(), 640) << "the running setting stays";
        ResetSettings();
        ReadConfig();
        bool readable = HoldsOldSettings();
        EXPECT_TRUE(readable);
        CountFaultTry(faultCase, intact && readable && notices == 1, !intact || !readable);
    }
    fs::path dir;
    bool mounted = false;
};

TEST_F(ConfigFaultsTest, ReadOnlyDirectoryOrFullDiskKeepsTheOldFile) {
    for (bool full : {false, true}) {
        SCOPED_TRACE(full ? "full disk" : "read-only directory");
        ASSERT_EQ(mount("tmpfs", dir.c_str(), "tmpfs", 0, full ? "size=8k" : "size=64k"), 0);
        mounted = true;
        PutFile(dir / "MQ-6_Setup.cfg", OLD_FILE);
        if (full)
            PutFile(dir / "filler", std::string(16384, 'f'));
        else
            ASSERT_EQ(mount("tmpfs", dir.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, "size=64k"), 0);
        WriteFails(full ? "settings, full disk" : "settings, read-only directory",
                   dir / "MQ-6_Setup.cfg");
        umount2(dir.c_str(), MNT_DETACH);
        mounted = false;
    }
}

TEST_F(ConfigFaultsTest, WritableFileInAReadOnlyDirectoryIsWrittenInPlace) {
    // The file is a writable bind mount inside a read-only tmpfs: nothing can be created
    // beside it, but the file itself takes writes, as where rights were granted on it alone.
    ASSERT_EQ(mount("tmpfs", dir.c_str(), "tmpfs", 0, "size=64k"), 0);
    mounted = true;
    fs::path file = dir / "MQ-6_Setup.cfg";
    PutFile(file, "");
    char pattern[] = "/tmp/mq6-cfgfile.XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    fs::path own = fs::path(pattern) / "own.cfg";
    PutFile(own, OLD_FILE);
    ASSERT_EQ(mount("tmpfs", dir.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, "size=64k"), 0);
    ASSERT_EQ(mount(own.c_str(), file.c_str(), nullptr, MS_BIND, nullptr), 0);

    UseConfigPath(file);
    ReadConfig();
    ASSERT_TRUE(HoldsOldSettings());
    WindowX = 640;
    EXPECT_EQ(WriteConfig(), 0);
    size_t notices = CountNotices();
    EXPECT_EQ(notices, 0u);
    ResetSettings();
    ReadConfig();
    bool written = WindowX.load() == 640 && ResponseRate.load() == 30;
    EXPECT_TRUE(written);
    EXPECT_EQ(Entries(dir), std::set<std::string>{"MQ-6_Setup.cfg"});
    umount2(file.c_str(), MNT_DETACH);
    fs::remove_all(pattern);
    CountFaultTry("settings, read-only directory, writable file", written && notices == 0,
                  !written);
}

TEST_F(ConfigFaultsTest, FileInPlaceOfTheDirectoryCreatesNothing) {
    PutFile(dir / "not-a-dir", "x");
    UseConfigPath(dir / "not-a-dir" / "MQ-6_Setup.cfg");
    WindowX = 640;
    ReadConfig();
    WriteConfig();
    size_t notices = CountNotices();
    EXPECT_EQ(notices, 2u) << "one when reading, one when writing";
    bool intact = FileBytes(dir / "not-a-dir") == "x";
    EXPECT_TRUE(intact);
    EXPECT_EQ(Entries(dir), std::set<std::string>{"not-a-dir"});
    EXPECT_EQ(WindowX.load(), 640);
    CountFaultTry("settings, a file in place of the directory", intact && notices == 2, !intact);
}

// Each damaged line alone in front of the old file: the good lines are all taken, the file
// is not touched by reading, and nothing is shown.
TEST_F(ConfigFaultsTest, CorruptLinesAndNulBytesLeaveTheGoodLines) {
    const std::string damaged[] = {
        std::string("\0\0\0\0\n", 5),
        std::string("[LAMBFILT\0] 99\n", 15),
        std::string("[XPOSHWND] 9\0"
                    "99\n",
                    16),
        "[PORT]\n",
        "[LAMBLOW] nan\n",
        "[LAMBHIGH] -inf\n",
        "[AUTOPORT] 99999999999999999999\n",
        "]]]][[[[\n",
        std::string(5000, '[') + "\n",
        "\xff\xfe[ID] \xc3\x28\n",
        "[YPOSHWND]\r\n",
    };
    fs::path file = dir / "MQ-6_Setup.cfg";
    UseConfigPath(file);
    for (const std::string& line : damaged) {
        ResetLinkState();
        ResetSettings();
        ClearRecordedNotices();
        std::string text = line + std::string(OLD_FILE);
        PutFile(file, text);
        EXPECT_EQ(ReadConfig(), 0);
        bool taken = HoldsOldSettings();
        bool untouched = FileBytes(file) == text;
        EXPECT_TRUE(taken) << "after the line " << line.substr(0, 40);
        EXPECT_TRUE(untouched);
        EXPECT_EQ(CountNotices(), 0u);
        CountFaultTry("settings, corrupt line or NUL bytes", taken && untouched,
                      !untouched || !taken);
    }
}

} // namespace
