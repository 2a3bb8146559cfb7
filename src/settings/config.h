// The configuration file "MQ-6_Setup.cfg": eight keyword lines beside the executable, read
// once at start-up and rewritten whole whenever a setting is confirmed or the window closes.
// ConfigKeyTable drives both directions; the settings it feeds are process-global.
#pragma once

#include "link/link.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <variant>

constexpr size_t CONFIG_PATH_SIZE = 1024;
constexpr std::string_view CONFIG_FILE_NAME = "MQ-6_Setup.cfg";
// Longest line taken in one piece; the rest of a longer line is skipped.
constexpr size_t CONFIG_LINE_LENGTH = 1047;

// Full path of the file; empty when the program's directory is unknown, and the file is then
// written to (and read from) the current directory.
extern std::array<char, CONFIG_PATH_SIZE> ConfigPath;

// The settings' defaults: the dial's target band from lambda 0.86 to 0.88, and live data
// smoothed at a response rate of 50 per cent. mq6 takes the same.
constexpr double TARGET_LOW_DEFAULT = 0.86;
constexpr double TARGET_HIGH_DEFAULT = 0.88;
constexpr int32_t RESPONSE_RATE_DEFAULT = 50;

// Settings the file holds besides PortName (link/link.h). The display thread reads the
// target band and ResponseRate and the comm thread reads AutoPort, so they are atomic; the
// window position is atomic only so that every integer row is fed the same way.
extern std::atomic<int32_t> AutoPort; // 1 find the unit's port, 0 use PortName
extern std::atomic<int32_t> WindowX;  // left edge of the main window, -1 centred
extern std::atomic<int32_t> WindowY;  // top edge, used when WindowX is not -1
extern std::atomic<double> TargetLow; // target band of the gauges, in lambda
extern std::atomic<double> TargetHigh;
extern std::atomic<int32_t> ResponseRate; // smoothing weight of live data, per cent
// The folder of the last recording of live data; empty until the first one. The main thread
// alone uses it.
constexpr size_t RECORD_FOLDER_SIZE = 1000;
using RecordFolderText = std::array<char, RECORD_FOLDER_SIZE>;
extern RecordFolderText RecordFolder;
// The folder of the last setup file opened or saved, the same way.
extern RecordFolderText SetupFolder;
// Keeps the folder of path (up to its last separator) in folder, for the next file box, and
// writes the settings; a path without a folder, or one too long to keep, changes nothing.
void KeepFolderOf(std::string_view path, RecordFolderText& folder);

enum ConfigType : int32_t {
    CONFIG_INT = 0,    // written with "%s %d\n"
    CONFIG_TEXT = 1,   // "%s %s\n"; a row whose default and value are both empty is not written
    CONFIG_DOUBLE = 2, // "%s %lf\n"
};

using ConfigVariable = std::variant<std::monostate, std::atomic<int32_t>*, std::atomic<double>*,
                                    std::array<char, PORT_NAME_SIZE>*, RecordFolderText*>;

struct ConfigKey {
    std::string_view keyword;
    ConfigType type;
    int32_t minimum; // the range of a number
    int32_t maximum;
    int32_t longestText; // the longest text value taken, line end included
    std::string_view defaultText;
    ConfigVariable variable; // monostate: written from the default text, never read
};

constexpr size_t CONFIG_KEY_COUNT = 10;
extern const std::array<ConfigKey, CONFIG_KEY_COUNT> ConfigKeyTable;

// Sets every setting above to its start value (start-up and tests). PortName's start value
// is the link's PORT_NAME_START (ResetLinkState).
void ResetSettings();

// Builds ConfigPath from the process command line: the program's directory (quoted path, or
// the text up to the first blank) followed by CONFIG_FILE_NAME. Returns 0, or -1 with
// ConfigPath empty when the program path names no directory or the result would not fit;
// start-up then reads no configuration.
int BuildConfigPath(std::string_view commandLine);

// Both return 0, also when the file could not be used; that is reported through ShowNotice.
int ReadConfig();
int WriteConfig();

// Row index of the keyword that starts the line (up to its first "]"), or -1.
int FindConfigKey(std::string_view line);
// Removes leading and trailing white space in place and returns text.
char* TrimBlanks(char* text);
