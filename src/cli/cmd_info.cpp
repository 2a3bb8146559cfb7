// mq6 info: the unit's banner, version, mode and setup bytes.
#include "cli/cli.h"
#include "firmware/banner.h"
#include "link/link.h"
#include "wbsetup/setup_file.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace {
std::string_view TrimRight(std::string_view text) {
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    return text;
}

std::string SetupHex(int from, int to) {
    std::string out;
    char digits[4];
    for (int i = from; i < to; ++i) {
        std::snprintf(digits, sizeof digits, "%02X", DeviceInfo[static_cast<size_t>(i)]);
        out += digits;
    }
    return out;
}

const char* UnitModeName(int mode) {
    switch (mode) {
    case UNIT_MODE_FIRMWARE_UPDATE:
        return "firmware update";
    case UNIT_MODE_SETUP:
        return "setup";
    case UNIT_MODE_NORMAL:
        return "normal";
    default:
        return "unknown";
    }
}

// The banner's last piece is the unit's "Version: X.YY" line.
void PrintText(const std::array<std::string_view, 4>& lines) {
    for (std::string_view line : lines)
        if (!line.empty())
            std::printf("%.*s\n", static_cast<int>(TrimRight(line).size()), TrimRight(line).data());
    int mode = DeviceInfo[UNIT_MODE_OFFSET];
    std::printf("Unit mode: %d (%s)\n", mode,
                mode == UNIT_MODE_NORMAL && DeviceDataFromLoader.load() != 0
                    ? "the unit answers only from its loader"
                    : UnitModeName(mode));
    std::printf("Setup block:\n");
    for (int row = 4; row < 68; row += 16) {
        std::string hex = SetupHex(row, row + 16);
        std::printf(" ");
        for (size_t i = 0; i < hex.size(); i += 2)
            std::printf(" %.2s", hex.c_str() + i);
        std::printf("\n");
    }
}

void PrintJson(const std::array<std::string_view, 4>& lines, int major, int minor, bool known) {
    std::printf("{\n  \"banner\": [");
    bool first = true;
    for (std::string_view line : lines) {
        if (line.empty())
            continue;
        std::printf("%s%s", first ? "" : ", ", JsonString(TrimRight(line)).c_str());
        first = false;
    }
    std::printf("],\n");
    if (known)
        std::printf("  \"version\": \"%d.%02d\",\n", major, minor);
    else
        std::printf("  \"version\": null,\n");
    std::printf("  \"unit_mode\": %d,\n", DeviceInfo[UNIT_MODE_OFFSET]);
    std::printf("  \"setup_block\": \"%s\"\n}\n", SetupHex(4, 68).c_str());
}
} // namespace

int RunInfo(bool json) {
    int result = FetchDataBlock();
    if (result != EXIT_OK)
        return result;
    std::array<std::string_view, 4> lines = SplitBanner(DeviceInfo);
    // Text before the first piece found is shown too, whichever pieces are missing.
    std::string_view text = BannerText(DeviceInfo);
    size_t lead = text.size();
    for (size_t piece = BANNER_NOTICE; piece < lines.size(); ++piece)
        if (!lines[piece].empty())
            lead = std::min(lead, size_t(lines[piece].data() - text.data()));
    lines[BANNER_DESCRIPTION] = text.substr(0, lead);
    int major = 0;
    int minor = 0;
    bool known = ReadUnitVersion(DeviceInfo, major, minor) == 0;
    if (json)
        PrintJson(lines, major, minor, known);
    else
        PrintText(lines);
    ReportUnfinishedJob();
    return EXIT_OK;
}
