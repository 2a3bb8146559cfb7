// The settings file where it cannot be written or reads back damaged: a read-only
// directory, a full disk, a file in place of the directory, corrupt lines and NUL bytes.
#include "firmware/test_files.h"
#include "settings/config.h"
#include "support/notice_record.h"
#include "wbsetup/restore_point.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/mount.h>

namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

const std::string OLD_FILE =
    "[ID] MQ-6 WB Utility\n[PORT] COM3\n[AUTOPORT] 0\n[XPOSHWND] 120\n"
    "[YPOSHWND] 80\n[LAMBLOW] 0.900000\n[LAMBHIGH] 1.050000\n[LAMBFILT] 30\n";

// Reads the settings file at path (MQ-6_Setup.cfg in its folder) afresh; whether it gave the
// settings of the old file.
bool ReadsOldSettings(const fs::path& path) {
    ResetLinkState();
    ResetSettings();
    BuildConfigPath((path.parent_path() / "mq6wb").string());
    ReadConfig();
    return std::string(PortName.data()) == "COM3" && AutoPort.load() == 0 &&
           WindowX.load() == 120 && WindowY.load() == 80 && TargetLow.load() == 0.9 &&
           TargetHigh.load() == 1.05 && ResponseRate.load() == 30;
}

size_t Entries(const fs::path& dir) {
    return size_t(std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
}

// Each setting: the old file read, then a setting changed and written where the directory is
// read-only, the disk full, or only the file itself writable (a bind mount in a read-only
// tmpfs, as where rights were granted on the file alone, which is then written in place).
TEST(ConfigFaultsTest, WritesThatCannotBeDoneKeepTheOldFileAndWritableFilesAreWrittenInPlace) {
    for (const std::string setting : {"read-only directory", "full disk", "writable file"}) {
        SCOPED_TRACE(setting);
        const bool full = setting == "full disk", inPlace = setting == "writable file";
        TempDir dir, own;
        const fs::path file = dir.File("MQ-6_Setup.cfg");
        ASSERT_EQ(mount("tmpfs", dir.path.c_str(), "tmpfs", 0, full ? "size=8k" : "size=64k"), 0);
        WriteText(file, inPlace ? "" : OLD_FILE);
        WriteText(own.File("own.cfg"), OLD_FILE);
        WriteText(dir.File("filler"), std::string(full ? 16384 : 0, 'f'));
        ASSERT_TRUE(full || mount("tmpfs", dir.path.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY,
                                  "size=64k") == 0);
        ASSERT_TRUE(!inPlace || mount(own.File("own.cfg").c_str(), file.c_str(), nullptr, MS_BIND,
                                      nullptr) == 0);
        ASSERT_TRUE(ReadsOldSettings(file));
        size_t entries = Entries(dir.path);
        ClearRecordedNotices();
        WindowX = 640;
        WriteConfig();
        EXPECT_EQ(CountNotices(), inPlace ? 0u : 1u) << DescribeNotices();
        // A restore point cannot be kept there either, and says why in the system's words.
        std::string point, error;
        EXPECT_EQ(SaveRestorePoint(dir.path, {}, point, error), -1);
        EXPECT_TRUE(error.ends_with(full ? ": No space left on device" : ": Read-only file system"))
            << error;
        EXPECT_EQ(Entries(dir.path), entries) << "nothing else in the directory";
        // The old file byte for byte or, written in place, the new setting read back.
        EXPECT_TRUE(inPlace ? !ReadsOldSettings(file) && WindowX.load() == 640
                            : ReadText(file) == OLD_FILE);
        if (inPlace)
            umount2(file.c_str(), MNT_DETACH);
        umount2(dir.path.c_str(), MNT_DETACH);
    }
}

// Reading and writing each show the box and go on: writing still returns 0.
TEST(ConfigFaultsTest, FileInPlaceOfTheDirectoryCreatesNothing) {
    TempDir dir;
    WriteText(dir.File("not-a-dir"), "x");
    ClearRecordedNotices();
    const std::string path = dir.File("not-a-dir") + "/MQ-6_Setup.cfg";
    ReadsOldSettings(path);
    WriteConfig();
    EXPECT_TRUE(ReadText(dir.File("not-a-dir")) == "x" && Entries(dir.path) == 1);
    EXPECT_EQ(CountNotices(), 2u) << DescribeNotices();
    EXPECT_EQ(RecordedNotices.at(1).text + "|" + RecordedNotices.at(1).caption,
              "Can not open Configuration File: \n\n " + path + "|Configuration File Error");
}

// Each damaged line alone in front of the old file: the good lines are all taken, the file
// is not touched by reading, and nothing is shown. Values out of range, NaN and overflow are
// read line by line in the settings tests. The third line has a NUL between the digits.
TEST(ConfigFaultsTest, CorruptLinesAndNulBytesLeaveTheGoodLines) {
    const std::string damaged[] = {
        "\0\0\0\0\n"s, "[LAMBFILT\0] 99\n"s,          "[XPOSHWND] 9\00099\n"s,   "[PORT]\n",
        "]]]][[[[\n",  std::string(5000, '[') + "\n", "\xff\xfe[ID] \xc3\x28\n", "[YPOSHWND]\r\n"};
    TempDir dir;
    const std::string file = dir.File("MQ-6_Setup.cfg");
    for (const std::string& line : damaged) {
        SCOPED_TRACE(line.substr(0, 40));
        ClearRecordedNotices();
        WriteText(file, line + OLD_FILE);
        EXPECT_TRUE(ReadsOldSettings(file) && ReadText(file) == line + OLD_FILE);
        EXPECT_EQ(CountNotices(), 0u) << DescribeNotices();
    }
    ResetSettings();
    ResetLinkState();
}

} // namespace
