// The configuration file as Windows writes it: CR LF line ends on disk, and the old file
// replaced in one move, or not at all.
#include "platform/notice.h"
#include "settings/config.h"
#include "support/notice_record.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <windows.h>

namespace {

namespace fs = std::filesystem;

constexpr std::string_view START_FILE_CRLF = "[ID] MQ-6 WB Utility\r\n"
                                             "[PORT] COMx\r\n"
                                             "[AUTOPORT] 1\r\n"
                                             "[XPOSHWND] -1\r\n"
                                             "[YPOSHWND] -1\r\n"
                                             "[LAMBLOW] 0.860000\r\n"
                                             "[LAMBHIGH] 0.880000\r\n"
                                             "[LAMBFILT] 50\r\n";

std::string FileBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void PutFile(const fs::path& path, std::string_view bytes) {
    std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
}

size_t CountEntries(const fs::path& dir) {
    return size_t(std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
}

class ConfigWin32Test : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetLinkState();
        ResetSettings();
        ClearRecordedNotices();
        static int serial = 0;
        dir = fs::temp_directory_path() / ("mq6-config-" + std::to_string(GetCurrentProcessId()) +
                                           "-" + std::to_string(++serial));
        fs::create_directories(dir);
        file = dir / "MQ-6_Setup.cfg";
        std::string path = file.string();
        ASSERT_LT(path.size(), ConfigPath.size());
        ConfigPath.fill('\0');
        std::memcpy(ConfigPath.data(), path.data(), path.size());
    }
    void TearDown() override {
        SetFileAttributesA(file.string().c_str(), FILE_ATTRIBUTE_NORMAL);
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }
    fs::path dir;
    fs::path file;
};

TEST_F(ConfigWin32Test, LinesEndInCrLfOnDiskAndReadBackWithout) {
    ReadConfig();
    EXPECT_EQ(fs::file_size(file), 0u);
    WriteConfig();
    EXPECT_EQ(FileBytes(file), START_FILE_CRLF);
    EXPECT_EQ(CountEntries(dir), 1u);

    PortName.fill('\0');
    std::memcpy(PortName.data(), "COM9", 4);
    ResponseRate = 10;
    ReadConfig();
    EXPECT_STREQ(PortName.data(), "COMx");
    EXPECT_EQ(ResponseRate.load(), 50);
    EXPECT_EQ(CountNotices(), 0u);
}

TEST_F(ConfigWin32Test, ReplacesALongerFileWhole) {
    std::string old = "[LAMBFILT] 20\r\n";
    for (int line = 0; line < 100; ++line)
        old += "[NOTES] an older line that the new file must not keep\r\n";
    PutFile(file, old);
    ReadConfig();
    EXPECT_EQ(ResponseRate.load(), 20);
    WriteConfig();
    std::string expected(START_FILE_CRLF);
    expected.replace(expected.find("[LAMBFILT] 50"), 13, "[LAMBFILT] 20");
    EXPECT_EQ(FileBytes(file), expected);
    EXPECT_EQ(CountEntries(dir), 1u) << "no temporary file left behind";
    EXPECT_EQ(CountNotices(), 0u);
}

TEST_F(ConfigWin32Test, LeavesADirectoryOrAReadOnlyFileAlone) {
    fs::create_directory(file);
    WriteConfig();
    EXPECT_TRUE(fs::is_directory(file));
    fs::remove(file);

    PutFile(file, "[LAMBFILT] 20\r\n");
    ASSERT_TRUE(SetFileAttributesA(file.string().c_str(), FILE_ATTRIBUTE_READONLY));
    WriteConfig();
    EXPECT_EQ(FileBytes(file), "[LAMBFILT] 20\r\n");

    ASSERT_EQ(CountNotices(), 2u);
    EXPECT_EQ(RecordedNotices[1].text, "Can not open Configuration File: \n\n " + file.string());
    EXPECT_EQ(RecordedNotices[1].caption, "Configuration File Error");
    EXPECT_EQ(CountEntries(dir), 1u) << "no temporary file left behind";
}

} // namespace
