// Restore points in their folder: named by the time they were made, written through the setup
// file's writer, and pruned by their names' order, never by file times, which a copy changes.
#include "wbsetup/restore_point.h"

#include "wbsetup/setup_file.h"
#include "wbsetup/setup_values.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <string_view>
#include <utility>
#include <vector>

namespace {
constexpr std::string_view NAME_START = "mq6-setup-";
constexpr std::string_view NAME_END = ".json";
constexpr size_t STAMP_SIZE = 15; // YYYYMMDD-HHMMSS

bool AllDigits(std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A restore point's name as (time stamp, count within its second: 1 for the first), or a stamp
// left empty for any other name.
std::pair<std::string, long> RestorePointOrder(std::string_view name) {
    if (!name.starts_with(NAME_START) || !name.ends_with(NAME_END))
        return {};
    name.remove_prefix(NAME_START.size());
    name.remove_suffix(NAME_END.size());
    std::string_view stamp = name.substr(0, STAMP_SIZE);
    std::string_view rest = name.substr(stamp.size());
    if (stamp.size() != STAMP_SIZE || stamp[8] != '-' || !AllDigits(stamp.substr(0, 8)) ||
        !AllDigits(stamp.substr(9)))
        return {};
    if (rest.empty())
        return {std::string(stamp), 1};
    if (rest[0] != '-' || !AllDigits(rest.substr(1)) || rest.size() > 10)
        return {};
    return {std::string(stamp), std::stol(std::string(rest.substr(1)))};
}

// Removes the oldest restore points but the one just made, which a clock set back could put
// among them, until RESTORE_POINTS_KEPT are left with it.
void PruneRestorePoints(const std::filesystem::path& folder, const std::string& made) {
    std::vector<std::pair<std::pair<std::string, long>, std::filesystem::path>> points;
    std::error_code code;
    for (const auto& entry : std::filesystem::directory_iterator(folder, code)) {
        std::string name = entry.path().filename().string();
        auto order = RestorePointOrder(name);
        if (!order.first.empty() && name != made && entry.is_regular_file(code))
            points.emplace_back(order, entry.path());
    }
    if (points.size() < static_cast<size_t>(RESTORE_POINTS_KEPT))
        return;
    std::sort(points.begin(), points.end());
    for (size_t i = 0; i + RESTORE_POINTS_KEPT <= points.size(); ++i)
        std::filesystem::remove(points[i].second, code);
}
} // namespace

std::string RestorePointName(const std::string& folder, const std::tm& when) {
    std::array<char, 32> stamp{};
    std::strftime(stamp.data(), stamp.size(), "%Y%m%d-%H%M%S", &when);
    std::string stem = std::string(NAME_START) + stamp.data();
    std::error_code code;
    std::string name = stem + std::string(NAME_END);
    for (int count = 2; std::filesystem::exists(std::filesystem::path(folder) / name, code);
         ++count)
        name = stem + "-" + std::to_string(count) + std::string(NAME_END);
    return name;
}

int SaveRestorePoint(const std::string& folder, const std::array<uint8_t, DEVICE_INFO_SIZE>& info,
                     std::string& path, std::string& error) {
    std::error_code code, ignored;
    std::filesystem::create_directories(folder, code);
    if (!std::filesystem::is_directory(folder, ignored)) {
        error = "cannot make the folder " + folder +
                (code ? ": " + code.message() : std::string(": a file has its name"));
        return -1;
    }
    SetupRecord unit = DEFAULT_SETUP;
    UnpackSetupBlock(info, unit);
    MatchResponseRows(unit);
    std::time_t now = std::time(nullptr);
    std::tm local = *std::localtime(&now);
    std::string name = RestorePointName(folder, local);
    path = (std::filesystem::path(folder) / name).string();
    if (!WriteSetupText(path, SetupToJson(unit), error))
        return -1;
    PruneRestorePoints(folder, name);
    return 0;
}
