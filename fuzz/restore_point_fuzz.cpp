// The restore folder's pruning over arbitrary folder contents: the input's lines are names of
// files already in the folder. Whatever they are, saving a restore point keeps every file that
// is no restore point, leaves the newest RESTORE_POINTS_KEPT restore points and removes only
// older ones than it keeps, as their names order them (checked here by a pattern of its own),
// and never the one it has just made.
#include "fuzz_support.h"

#include "wbsetup/restore_point.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <regex>
#include <set>
#include <string>
#include <utility>

namespace {
constexpr size_t MAX_NAMES = 300;

// (time stamp, count in its second) of a restore point's name; an empty stamp for other names.
std::pair<std::string, long> Order(const std::string& name) {
    static const std::regex pattern(R"(mq6-setup-(\d{8}-\d{6})(?:-(\d{1,9}))?\.json)");
    std::smatch match;
    if (!std::regex_match(name, match, pattern))
        return {};
    return {match[1].str(), match[2].matched ? std::stol(match[2].str()) : 1};
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::filesystem::path folder = ScratchDir() + "/restore";
    std::error_code code;
    std::filesystem::remove_all(folder, code);
    std::filesystem::create_directories(folder, code);
    std::set<std::string> before;
    std::string text(reinterpret_cast<const char*>(data), size), line;
    for (size_t at = 0; at <= text.size() && before.size() < MAX_NAMES; ++at) {
        if (at < text.size() && text[at] != '\n') {
            line += text[at];
            continue;
        }
        // Names the folder can hold; anything else is not a file this run can make.
        bool usable = !line.empty() && line.size() < 100 && line.find('/') == line.npos &&
                      line.find('\0') == line.npos && line != "." && line != "..";
        if (std::FILE* file = usable ? std::fopen((folder / line).c_str(), "w") : nullptr) {
            std::fclose(file);
            before.insert(line);
        }
        line.clear();
    }
    std::array<uint8_t, DEVICE_INFO_SIZE> info{};
    PackSetupBlock(DEFAULT_SETUP, info);
    std::string path, error;
    if (SaveRestorePoint(folder.string(), info, path, error) != 0)
        FuzzFail("a restore point is saved into a folder that exists");
    std::set<std::string> after;
    for (const auto& entry : std::filesystem::directory_iterator(folder, code))
        after.insert(entry.path().filename().string());
    std::string made = std::filesystem::path(path).filename().string();
    if (after.count(made) == 0 || before.count(made) != 0)
        FuzzFail("the new restore point is a file of its own and is kept");
    std::vector<std::pair<std::string, long>> kept, gone;
    for (const std::string& name : before) {
        bool point = !Order(name).first.empty();
        if (!point && after.count(name) == 0)
            FuzzFail("a file that is no restore point is kept");
        if (point)
            (after.count(name) != 0 ? kept : gone).push_back(Order(name));
    }
    size_t points = kept.size() + gone.size() + 1;
    if (kept.size() + 1 != std::min<size_t>(points, RESTORE_POINTS_KEPT))
        FuzzFail("the newest hundred are kept");
    if (!gone.empty() && !kept.empty() &&
        *std::max_element(gone.begin(), gone.end()) > *std::min_element(kept.begin(), kept.end()))
        FuzzFail("only restore points older than every one kept are removed");
    return 0;
}
