// The configuration file on real files in a temporary directory: what each line reads as,
// what is written, and what happens when the file cannot be read or replaced.
#include "platform/notice.h"
#include "settings/config.h"
#include "support/notice_record.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <sys/mount.h>
#include <sys/stat.h>

namespace {

namespace fs = std::filesystem;

constexpr std::string_view START_FILE = "[ID] MQ-6 WB Utility\n"
                                        "[PORT] COMx\n"
                                        "[AUTOPORT] 1\n"
                                        "[XPOSHWND] -1\n"
                                        "[YPOSHWND] -1\n"
                                        "[LAMBLOW] 0.860000\n"
                                        "[LAMBHIGH] 0.880000\n"
                                        "[LAMBFILT] 50\n";

void SetConfigPath(const std::string& path) {
    ASSERT_LT(path.size(), ConfigPath.size());
    ConfigPath.fill('\0');
    std::memcpy(ConfigPath.data(), path.data(), path.size());
}

void SetPortName(const std::string& name) {
    PortName.fill('\0');
    std::memcpy(PortName.data(), name.data(), name.size());
}

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

std::string OpenErrorText(const std::string& path) {
    return "Can not open Configuration File: \n\n " + path;
}

class ConfigTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetLinkState();
        ResetSettings();
        ClearRecordedNotices();
        char pattern[] = "/tmp/mq6-config.XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
        file = dir / "MQ-6_Setup.cfg";
        SetConfigPath(file.string());
    }
    void TearDown() override {
        if (mounted)
            umount2(mounted->c_str(), MNT_DETACH);
        fs::remove_all(dir);
    }
    // Reads text as the file after setting values that no line below would produce.
    void Load(std::string_view text) {
        ResponseRate = 77;
        WindowX = 300;
        TargetLow = 1.0;
        SetPortName("COMx");
        PutFile(file, text);
        EXPECT_EQ(ReadConfig(), 0);
    }
    fs::path dir;
    fs::path file;
    std::optional<fs::path> mounted;
};

TEST_F(ConfigTest, MissingFileIsCreatedEmptyAndFilledByTheFirstWrite) {
    EXPECT_EQ(ReadConfig(), 0);
    EXPECT_TRUE(fs::is_regular_file(file));
    EXPECT_EQ(fs::file_size(file), 0u);
    EXPECT_EQ(AutoPort.load(), 1);
    EXPECT_EQ(WindowX.load(), -1);
    EXPECT_EQ(WriteConfig(), 0);
    EXPECT_EQ(FileBytes(file), START_FILE);
    EXPECT_EQ(CountEntries(dir), 1u);
    EXPECT_EQ(CountNotices(), 0u);
}

TEST_F(ConfigTest, WrittenValuesReadBack) {
    SetPortName("COM7");
    AutoPort = 0;
    WindowX = 100;
    WindowY = 1024;
    TargetLow = 0.912345;
    TargetHigh = 1.3;
    ResponseRate = 0;
    WriteConfig();
    ResetLinkState();
    ResetSettings();
    ReadConfig();
    EXPECT_STREQ(PortName.data(), "COM7");
    EXPECT_EQ(AutoPort.load(), 0);
    EXPECT_EQ(WindowX.load(), 100);
    EXPECT_EQ(WindowY.load(), 1024);
    EXPECT_DOUBLE_EQ(TargetLow.load(), 0.912345);
    EXPECT_DOUBLE_EQ(TargetHigh.load(), 1.3);
    EXPECT_EQ(ResponseRate.load(), 0);
}

TEST_F(ConfigTest, LinesReadAsDocumented) {
    Load("[LAMBFILT] 150\n");
    EXPECT_EQ(ResponseRate.load(), 50) << "out of range takes the default, not the bound";
    Load("[XPOSHWND] 2000\n");
    EXPECT_EQ(WindowX.load(), -1);
    Load("[LAMBLOW] 2.5\n");
    EXPECT_DOUBLE_EQ(TargetLow.load(), 0.86);
    Load("[LAMBLOW] 1.1\n");
    EXPECT_DOUBLE_EQ(TargetLow.load(), 1.1);
    Load("  [LAMBFILT] 20\n[LAMB] [LAMBFILT] 21\n[port] COM9\n");
    EXPECT_EQ(ResponseRate.load(), 77) << "a keyword counts only at the line start";
    EXPECT_STREQ(PortName.data(), "COMx");
    Load("[LAMBFILT]20\n");
    EXPECT_EQ(ResponseRate.load(), 0) << "the character after the keyword is skipped";
    Load("[LAMBFILT] abc\n");
    EXPECT_EQ(ResponseRate.load(), 0);
    Load("[PORT]   COM7  \n");
    EXPECT_STREQ(PortName.data(), "COM7");
    Load("[LAMBFILT] 30\n[LAMBFILT] 70\n");
    EXPECT_EQ(ResponseRate.load(), 70);
    Load("[ID] anything\n");
    WriteConfig();
    EXPECT_EQ(FileBytes(file).substr(0, 21), "[ID] MQ-6 WB Utility\n");
}

TEST_F(ConfigTest, LinesBeyondTheDocumentedOnes) {
    Load("[PORT] " + std::string(31, 'P') + "\n");
    EXPECT_EQ(PortName.data(), std::string(31, 'P'));
    Load("[PORT] " + std::string(32, 'P') + "\n");
    EXPECT_STREQ(PortName.data(), "COM2");
    Load("[PORT] " + std::string(32, 'P'));
    EXPECT_STREQ(PortName.data(), "COM2") << "32 characters at the end of the file";
    Load("[PORT] COM5\r\n");
    EXPECT_STREQ(PortName.data(), "COM5");
    Load("[LAMBFILT] 4294967346\n");
    EXPECT_EQ(ResponseRate.load(), 50) << "must not wrap into range";
    Load("[LAMBLOW] nan\n");
    EXPECT_DOUBLE_EQ(TargetLow.load(), 0.86);
    Load("[LAMBFILT] 42");
    EXPECT_EQ(ResponseRate.load(), 42);
    Load("[LAMBFILT]");
    EXPECT_EQ(ResponseRate.load(), 0);
}

TEST_F(ConfigTest, EveryNumericRowTakesItsBoundsAndRefusesBeyondThem) {
    for (const ConfigKey& row : ConfigKeyTable) {
        if (row.type == CONFIG_TEXT)
            continue;
        auto read = [&](double value) {
            std::ostringstream line;
            line << row.keyword << ' ' << value << '\n';
            Load(line.str());
            if (row.type == CONFIG_INT)
                return double(std::get<std::atomic<int32_t>*>(row.variable)->load());
            return std::get<std::atomic<double>*>(row.variable)->load();
        };
        double fallback = std::strtod(std::string(row.defaultText).c_str(), nullptr);
        double step = row.type == CONFIG_INT ? 1 : 0.001;
        SCOPED_TRACE(row.keyword);
        EXPECT_DOUBLE_EQ(read(row.minimum), row.minimum);
        EXPECT_DOUBLE_EQ(read(row.maximum), row.maximum);
        EXPECT_DOUBLE_EQ(read(row.minimum - step), fallback);
        EXPECT_DOUBLE_EQ(read(row.maximum + step), fallback);
    }
}

TEST_F(ConfigTest, WritingClampsAndKeepsTheClampedValue) {
    WindowX = 2000;
    ResponseRate = -5;
    TargetHigh = 3.0;
    TargetLow = std::nan("");
    WriteConfig();
    std::string bytes = FileBytes(file);
    EXPECT_NE(bytes.find("[XPOSHWND] 1280\n"), std::string::npos);
    EXPECT_NE(bytes.find("[LAMBFILT] 0\n"), std::string::npos);
    EXPECT_NE(bytes.find("[LAMBHIGH] 2.000000\n"), std::string::npos);
    EXPECT_NE(bytes.find("[LAMBLOW] 0.860000\n"), std::string::npos);
    EXPECT_EQ(WindowX.load(), 1280);
    EXPECT_EQ(ResponseRate.load(), 0);
    EXPECT_DOUBLE_EQ(TargetHigh.load(), 2.0);
    EXPECT_DOUBLE_EQ(TargetLow.load(), 0.86);
}

TEST_F(ConfigTest, OverlongLinesAndNulBytesDoNotLeakIntoOtherSettings) {
    // The keyword in the first line starts exactly where the line is cut into pieces.
    std::string text = "[ID] " + std::string(1042, 'x') + "[LAMBFILT] 99\n";
    text += "[PORT] " + std::string(2000, 'y') + "\n";
    text += "[AUTOPORT] 0\n";
    text += std::string("[YPOSHWND] 2\0"
                        "5\n",
                        15);
    text += "[XPOSHWND] 10\n";
    WindowY = 40;
    Load(text);
    EXPECT_EQ(ResponseRate.load(), 77);
    EXPECT_STREQ(PortName.data(), "COM2");
    EXPECT_EQ(AutoPort.load(), 0);
    EXPECT_EQ(WindowY.load(), 40);
    EXPECT_EQ(WindowX.load(), 10);
}

TEST_F(ConfigTest, DirectoryInPlaceOfTheFile) {
    fs::create_directory(file);
    TargetLow = 1.2;
    ReadConfig();
    WriteConfig();
    ASSERT_EQ(CountNotices(), 2u);
    EXPECT_EQ(RecordedNotices[0].text, OpenErrorText(file));
    EXPECT_EQ(RecordedNotices[0].caption, "Configuration File Error");
    EXPECT_EQ(RecordedNotices[0].flags,
              unsigned(NOTICE_TOPMOST | NOTICE_INFO_ICON | NOTICE_NO_OWNER));
    EXPECT_EQ(RecordedNotices[1].text, OpenErrorText(file));
    EXPECT_EQ(RecordedNotices[1].flags, unsigned(NOTICE_TOPMOST | NOTICE_INFO_ICON));
    EXPECT_DOUBLE_EQ(TargetLow.load(), 1.2);
    EXPECT_TRUE(fs::is_directory(file));
    EXPECT_EQ(CountEntries(dir), 1u) << "no temporary file left behind";
}

TEST_F(ConfigTest, PlacesWhereNoFileCanBeMade) {
    for (std::string path :
         {(dir / "missing" / "MQ-6_Setup.cfg").string(), std::string("/proc/MQ-6_Setup.cfg")}) {
        ClearRecordedNotices();
        SetConfigPath(path);
        ReadConfig();
        WriteConfig();
        ASSERT_EQ(CountNotices(), 2u) << path;
        EXPECT_EQ(RecordedNotices[1].text, OpenErrorText(path));
        EXPECT_FALSE(fs::exists(path));
    }
}

TEST_F(ConfigTest, FullDiskLeavesThePreviousFileWhole) {
    fs::path small = dir / "small";
    fs::create_directory(small);
    if (mount("tmpfs", small.c_str(), "tmpfs", 0, "size=8k") != 0)
        GTEST_SKIP() << "cannot mount a tmpfs here";
    mounted = small;
    SetConfigPath((small / "MQ-6_Setup.cfg").string());
    WriteConfig();
    std::string before = FileBytes(small / "MQ-6_Setup.cfg");
    ASSERT_EQ(before, START_FILE);
    {
        std::ofstream filler(small / "filler", std::ios::binary);
        std::string page(4096, 'f');
        for (int i = 0; i < 4 && filler; ++i)
            filler.write(page.data(), std::streamsize(page.size())).flush();
    }
    WindowX = 640;
    WriteConfig();
    EXPECT_EQ(CountNotices(), 1u);
    EXPECT_EQ(FileBytes(small / "MQ-6_Setup.cfg"), before);
    EXPECT_EQ(CountEntries(small), 2u) << "no temporary file left behind";
}

TEST_F(ConfigTest, ReplacementKeepsThePermissions) {
    PutFile(file, "[LAMBFILT] 20\n");
    fs::permissions(file, fs::perms(0640));
    WriteConfig();
    EXPECT_EQ(fs::status(file).permissions(), fs::perms(0640));
    EXPECT_EQ(FileBytes(file), START_FILE);
}

TEST_F(ConfigTest, WithoutAProgramDirectoryTheCurrentDirectoryIsUsed) {
    fs::path previous = fs::current_path();
    fs::current_path(dir);
    EXPECT_EQ(BuildConfigPath("mq6wb.exe"), -1);
    EXPECT_EQ(ConfigPath[0], '\0');
    WriteConfig();
    fs::current_path(previous);
    EXPECT_EQ(FileBytes(file), START_FILE);
}

TEST(ConfigPathTest, BuiltFromTheProgramPath) {
    EXPECT_EQ(BuildConfigPath("\"C:\\Program Files\\MQ6\\mq6wb.exe\" "), 0);
    EXPECT_STREQ(ConfigPath.data(), "C:\\Program Files\\MQ6\\MQ-6_Setup.cfg");
    EXPECT_EQ(BuildConfigPath("C:\\MQ6\\mq6wb.exe"), 0);
    EXPECT_STREQ(ConfigPath.data(), "C:\\MQ6\\MQ-6_Setup.cfg");
    EXPECT_EQ(BuildConfigPath("\"/opt/mq6/mq6wb\" "), 0);
    EXPECT_STREQ(ConfigPath.data(), "/opt/mq6/MQ-6_Setup.cfg");
    EXPECT_EQ(BuildConfigPath("\"mq6wb.exe\" "), -1);
    EXPECT_EQ(BuildConfigPath("\"C:\\" + std::string(1020, 'd') + "\\mq6wb.exe\" "), -1);
    EXPECT_EQ(ConfigPath[0], '\0');
}

} // namespace
