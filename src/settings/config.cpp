// The configuration file. Reading is forgiving: unknown lines are skipped and a value out of
// range takes its row's default. Writing clamps every number into range and replaces the
// file in one step, so a failed write leaves the previous file as it was.
#include "settings/config.h"

#include "display/lambda_scale.h"
#include "platform/notice.h"
#include "settings/file_replace.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

std::array<char, CONFIG_PATH_SIZE> ConfigPath{};
std::atomic<int32_t> AutoPort{1};
std::atomic<int32_t> WindowX{-1};
std::atomic<int32_t> WindowY{-1};
std::atomic<double> TargetLow{TARGET_LOW_DEFAULT};
std::atomic<double> TargetHigh{TARGET_HIGH_DEFAULT};
std::atomic<int32_t> ResponseRate{RESPONSE_RATE_DEFAULT};
RecordFolderText RecordFolder{};
RecordFolderText SetupFolder{};

constexpr std::array<ConfigKey, CONFIG_KEY_COUNT> ConfigKeyTable = {{
    // Marks the file as ours; always written from its default and never read back.
    {"[ID]", CONFIG_TEXT, 0, 0, 0, "MQ-6 WB Utility", {}},
    // The fixed port; a value of more than 31 characters and its line feed is refused.
    {"[PORT]", CONFIG_TEXT, 0, 0, 32, "COM2", &PortName},
    // 1: search for the unit's port, 0: open PortName.
    {"[AUTOPORT]", CONFIG_INT, 0, 1, 0, "1", &AutoPort},
    // Window position in screen pixels; -1 centres the window on the desktop.
    {"[XPOSHWND]", CONFIG_INT, -1, 1280, 0, "-1", &WindowX},
    {"[YPOSHWND]", CONFIG_INT, -1, 1024, 0, "-1", &WindowY},
    // Target band; a value in the file's range is then clamped into the dial's scale. The default
    // texts are TARGET_LOW_DEFAULT, TARGET_HIGH_DEFAULT and RESPONSE_RATE_DEFAULT as the file
    // writes them.
    {"[LAMBLOW]", CONFIG_DOUBLE, 0, 2, 0, ".86", &TargetLow},
    {"[LAMBHIGH]", CONFIG_DOUBLE, 0, 2, 0, ".88", &TargetHigh},
    // Smoothing of live data, per cent.
    {"[LAMBFILT]", CONFIG_INT, 0, 100, 0, "50", &ResponseRate},
    // Where the next recording of live data is proposed. Last, and left out while empty, so that
    // the eight lines above keep their place and form, and a reader that does not know the
    // keyword skips the line.
    {"[RECFOLDER]", CONFIG_TEXT, 0, 0, static_cast<int32_t>(RECORD_FOLDER_SIZE), "", &RecordFolder},
    // Where the next setup file is proposed, after it and in the same way.
    {"[SETUPFOLDER]", CONFIG_TEXT, 0, 0, static_cast<int32_t>(RECORD_FOLDER_SIZE), "",
     &SetupFolder},
}};

namespace {

// The reader and writer pick the variable by the type code; this keeps the two in step.
constexpr bool RowTypesMatchVariables() {
    for (const ConfigKey& row : ConfigKeyTable) {
        bool matches = std::holds_alternative<std::monostate>(row.variable) ||
                       (row.type == CONFIG_INT &&
                        std::holds_alternative<std::atomic<int32_t>*>(row.variable)) ||
                       (row.type == CONFIG_DOUBLE &&
                        std::holds_alternative<std::atomic<double>*>(row.variable)) ||
                       (row.type == CONFIG_TEXT &&
                        (std::holds_alternative<std::array<char, PORT_NAME_SIZE>*>(row.variable) ||
                         std::holds_alternative<RecordFolderText*>(row.variable)));
        if (!matches)
            return false;
    }
    return true;
}
static_assert(RowTypesMatchVariables(), "a row's type code does not match its variable");

// A text row's longest line, its keyword, a blank, the value and the line feed, is read in
// one piece; the rest of a longer line would be lost, and the value with it.
constexpr bool TextRowsFitALine() {
    for (const ConfigKey& row : ConfigKeyTable)
        if (row.type == CONFIG_TEXT &&
            row.keyword.size() + 1 + static_cast<size_t>(row.longestText) > CONFIG_LINE_LENGTH)
            return false;
    return true;
}
static_assert(TextRowsFitALine(), "a text row's longest line is longer than a line read");

constexpr char OPEN_ERROR_TEXT[] = "Can not open Configuration File: \n\n %s";
constexpr std::string_view OPEN_ERROR_CAPTION = "Configuration File Error";

using LineBuffer = std::array<char, CONFIG_LINE_LENGTH + 1>;
using NameBuffer = std::array<char, PORT_NAME_SIZE>;

// The text of a text row's variable, copied under the lock that PortName needs.
template <size_t Size> std::array<char, Size> CopyText(const std::array<char, Size>& variable) {
    std::lock_guard<std::mutex> hold(PortNameLock);
    return variable;
}

const char* ConfigFile() {
    return ConfigPath[0] != '\0' ? ConfigPath.data() : CONFIG_FILE_NAME.data();
}

void ReportOpenFailure(const char* path, unsigned flags) {
    std::array<char, sizeof OPEN_ERROR_TEXT + CONFIG_PATH_SIZE> text{};
    std::snprintf(text.data(), text.size(), OPEN_ERROR_TEXT, path);
    ShowNotice(std::string_view(text.data(), strnlen(text.data(), text.size())), OPEN_ERROR_CAPTION,
               NOTICE_TOPMOST | NOTICE_INFO_ICON | flags);
}

int32_t ReadInteger(const ConfigKey& row, const char* value) {
    // strtoll saturates where a 32-bit conversion would wrap into range.
    long long number = std::strtoll(value, nullptr, 10);
    if (number < row.minimum || number > row.maximum)
        number = std::strtoll(row.defaultText.data(), nullptr, 10);
    return static_cast<int32_t>(number);
}

double DefaultDouble(const ConfigKey& row) {
    return std::strtod(row.defaultText.data(), nullptr);
}

double ReadDouble(const ConfigKey& row, const char* value) {
    double number = std::strtod(value, nullptr);
    // "nan" would pass both bound tests.
    if (std::isnan(number) || number < row.minimum || number > row.maximum)
        number = DefaultDouble(row);
    return number;
}

// Copies source into name and trims it; returns the trimmed length.
template <size_t Size> size_t StoreTrimmed(std::array<char, Size>& name, std::string_view source) {
    name.fill('\0');
    std::memcpy(name.data(), source.data(), std::min(source.size(), name.size() - 1));
    return std::strlen(TrimBlanks(name.data()));
}

template <size_t Size>
void ReadText(const ConfigKey& row, std::string_view value, std::array<char, Size>& variable) {
    // A name that does not fit whole takes the default: a shortened name could be another
    // port's (or folder). The row's limit counts the line feed and the variable's size the
    // terminator, so a name takes at most one character less than either.
    std::string_view text = value.substr(0, value.find('\n'));
    size_t longest =
        std::min<size_t>(static_cast<size_t>(row.longestText) - 1, variable.size() - 1);
    std::array<char, Size> name;
    if (value.size() > static_cast<size_t>(row.longestText) || text.size() >= name.size() ||
        StoreTrimmed(name, text) > longest)
        StoreTrimmed(name, row.defaultText);
    // PortName is also written by the comm thread's discovery.
    std::lock_guard<std::mutex> hold(PortNameLock);
    variable = name;
}

void ApplyConfigLine(std::string_view line) {
    int index = FindConfigKey(line);
    if (index < 0)
        return;
    const ConfigKey& row = ConfigKeyTable[static_cast<size_t>(index)];
    if (std::holds_alternative<std::monostate>(row.variable))
        return;
    // The value starts one character after the keyword, whatever that character is; the
    // line buffer is terminated, so the value is too.
    std::string_view value = line.substr(std::min(row.keyword.size() + 1, line.size()));
    switch (row.type) {
    case CONFIG_INT:
        std::get<std::atomic<int32_t>*>(row.variable)
            ->store(ReadInteger(row, value.data()), std::memory_order_release);
        break;
    case CONFIG_DOUBLE:
        // The doubles are the target band's ends: one beyond the dial's scale reads as the
        // scale's end, as the Preferences show it and the next write keeps it.
        std::get<std::atomic<double>*>(row.variable)
            ->store(ClampToScale(ReadDouble(row, value.data())), std::memory_order_release);
        break;
    case CONFIG_TEXT:
        if (std::holds_alternative<NameBuffer*>(row.variable))
            ReadText(row, value, *std::get<NameBuffer*>(row.variable));
        else
            ReadText(row, value, *std::get<RecordFolderText*>(row.variable));
        break;
    }
}

// Reads one line, or the next CONFIG_LINE_LENGTH characters of a longer one, into line and
// terminates it. Returns the number of characters, or -1 at the end of the file; whole is
// false when the line goes on beyond the piece.
int ReadPiece(std::FILE* file, LineBuffer& line, bool& whole) {
    size_t length = 0;
    int c = EOF;
    while (length < CONFIG_LINE_LENGTH && (c = std::getc(file)) != EOF) {
        line[length++] = static_cast<char>(c);
        if (c == '\n')
            break;
    }
    line[length] = '\0';
    whole = c == '\n' || c == EOF;
    return length == 0 && c == EOF ? -1 : static_cast<int>(length);
}

bool WriteConfigLine(std::FILE* file, const ConfigKey& row) {
    int keywordLength = static_cast<int>(row.keyword.size());
    const char* keyword = row.keyword.data();
    if (std::holds_alternative<std::monostate>(row.variable))
        return std::fprintf(file, "%.*s %.*s\n", keywordLength, keyword,
                            static_cast<int>(row.defaultText.size()), row.defaultText.data()) >= 0;
    // A number out of range is clamped in its variable as well as in the file, on purpose: after
    // a write the program goes on with what the file says.
    switch (row.type) {
    case CONFIG_INT: {
        std::atomic<int32_t>& variable = *std::get<std::atomic<int32_t>*>(row.variable);
        int32_t value = variable.load(std::memory_order_acquire);
        int32_t clamped = std::clamp(value, row.minimum, row.maximum);
        if (clamped != value)
            variable.store(clamped, std::memory_order_release);
        return std::fprintf(file, "%.*s %d\n", keywordLength, keyword, clamped) >= 0;
    }
    case CONFIG_DOUBLE: {
        std::atomic<double>& variable = *std::get<std::atomic<double>*>(row.variable);
        double value = variable.load(std::memory_order_acquire);
        double clamped = std::isnan(value) ? DefaultDouble(row)
                                           : std::clamp(value, static_cast<double>(row.minimum),
                                                        static_cast<double>(row.maximum));
        if (clamped != value || std::isnan(value))
            variable.store(clamped, std::memory_order_release);
        return std::fprintf(file, "%.*s %lf\n", keywordLength, keyword, clamped) >= 0;
    }
    case CONFIG_TEXT: {
        RecordFolderText text{};
        if (std::holds_alternative<NameBuffer*>(row.variable)) {
            NameBuffer name = CopyText(*std::get<NameBuffer*>(row.variable));
            std::memcpy(text.data(), name.data(), std::min(name.size(), text.size() - 1));
        } else {
            text = CopyText(*std::get<RecordFolderText*>(row.variable));
        }
        int length = static_cast<int>(strnlen(text.data(), text.size()));
        if (length == 0 && row.defaultText.empty())
            return true;
        return std::fprintf(file, "%.*s %.*s\n", keywordLength, keyword, length, text.data()) >= 0;
    }
    }
    return false;
}

} // namespace

void ResetSettings() {
    AutoPort.store(1, std::memory_order_release);
    WindowX.store(-1, std::memory_order_release);
    WindowY.store(-1, std::memory_order_release);
    TargetLow.store(TARGET_LOW_DEFAULT, std::memory_order_release);
    TargetHigh.store(TARGET_HIGH_DEFAULT, std::memory_order_release);
    ResponseRate.store(RESPONSE_RATE_DEFAULT, std::memory_order_release);
    RecordFolder.fill('\0');
    SetupFolder.fill('\0');
}

int BuildConfigPath(std::string_view commandLine) {
    std::string_view program;
    if (!commandLine.empty() && commandLine[0] == '"') {
        size_t close = commandLine.find('"', 1);
        program = commandLine.substr(1, close == std::string_view::npos ? close : close - 1);
    } else {
        program = commandLine.substr(0, commandLine.find_first_of(" \t"));
    }
    ConfigPath.fill('\0');
    size_t separator = program.find_last_of("\\/");
    if (separator == std::string_view::npos ||
        separator + 1 + CONFIG_FILE_NAME.size() >= ConfigPath.size())
        return -1;
    std::memcpy(ConfigPath.data(), program.data(), separator + 1);
    std::memcpy(ConfigPath.data() + separator + 1, CONFIG_FILE_NAME.data(),
                CONFIG_FILE_NAME.size());
    return 0;
}

int FindConfigKey(std::string_view line) {
    size_t close = line.find(']');
    if (close == std::string_view::npos)
        return -1;
    std::string_view keyword = line.substr(0, close + 1);
    for (size_t index = 0; index < ConfigKeyTable.size(); ++index)
        if (ConfigKeyTable[index].keyword == keyword)
            return static_cast<int>(index);
    return -1;
}

char* TrimBlanks(char* text) {
    size_t start = 0;
    while (text[start] != '\0' && std::isspace(static_cast<unsigned char>(text[start])))
        ++start;
    size_t length = std::strlen(text + start);
    std::memmove(text, text + start, length + 1);
    while (length > 0 && std::isspace(static_cast<unsigned char>(text[length - 1])))
        text[--length] = '\0';
    return text;
}

int ReadConfig() {
    const char* path = ConfigFile();
    // A file on a read-only medium is still read; only writing it back fails, and reports.
    std::FILE* file = OpenForUpdate(path);
    if (file == nullptr) {
        // Only a missing file is created: one that exists but does not open keeps its
        // contents, and every setting keeps its start value.
        if (CreateEmptyFile(path) != 0)
            ReportOpenFailure(path, NOTICE_NO_OWNER);
        return 0;
    }
    LineBuffer line;
    bool whole = true;
    bool atLineStart = true;
    int length;
    while ((length = ReadPiece(file, line, whole)) >= 0) {
        // The rest of an over-long line is not a line of its own, and a line that holds a
        // NUL byte is not text.
        if (atLineStart && std::memchr(line.data(), '\0', static_cast<size_t>(length)) == nullptr)
            ApplyConfigLine(std::string_view(line.data(), static_cast<size_t>(length)));
        atLineStart = whole;
    }
    std::fclose(file);
    return 0;
}

int WriteConfig() {
    const char* path = ConfigFile();
    std::array<char, CONFIG_PATH_SIZE + 32> tempPath{};
    FileReason reason{};
    std::FILE* file = CreateReplacement(path, tempPath.data(), tempPath.size(), reason);
    // Where nothing new may be created beside the file (its folder is not ours, the file is)
    // it is rewritten in place: a failure half-way through then leaves it cut short.
    bool inPlace = file == nullptr;
    if (inPlace)
        file = OpenForWriting(path, reason);
    if (file == nullptr) {
        ReportOpenFailure(path, NOTICE_OK);
        return 0;
    }
    bool written = true;
    for (const ConfigKey& row : ConfigKeyTable)
        if (!WriteConfigLine(file, row)) {
            written = false;
            break;
        }
    bool finished = FinishReplacement(file, reason) == 0 && written;
    if (inPlace) {
        if (!finished)
            ReportOpenFailure(path, NOTICE_OK);
    } else if (!finished || CommitReplacement(tempPath.data(), path, reason) != 0) {
        // The old file is untouched; a temporary file that will not go away is harmless.
        std::remove(tempPath.data());
        ReportOpenFailure(path, NOTICE_OK);
    }
    return 0;
}

void KeepFolderOf(std::string_view path, RecordFolderText& folder) {
    size_t separator = path.find_last_of("\\/");
    if (separator == std::string_view::npos || separator + 1 >= folder.size())
        return;
    folder.fill('\0');
    path.copy(folder.data(), separator);
    WriteConfig();
}
