// The firmware verdict and the update's texts.
#include "firmware/verdict.h"

#include "firmware/firmware_image.h"

#include <algorithm>
#include <array>
#include <cstdio>

const std::string_view SETUP_MODE_REFUSAL_TEXT =
    "\nThe MQ-6 WB Unit is currently in the SetUp Mode\n\nThe SetUp MUST be completed before "
    "continuing.\n";
const std::string_view SETUP_MODE_REFUSAL_CAPTION = "-WB Firmware Error-";
const std::string_view UPDATE_ERROR_CAPTION = "-Firmware Update Error-";

namespace {
constexpr std::array<std::string_view, 3> VERDICT_TEXTS{
    "The Firmware Versions Match, There is no Need to Update", // VERDICT_MATCH
    "This is a Newer Version of Firmware, Please Update",      // VERDICT_UPDATE
    "The Current MQ-6 Firmware is Newer then this Firmware",   // VERDICT_NEWER
};
} // namespace

FirmwareVerdict CompareFirmware(int major, int minor) {
    if (major != CARRIED_VERSION_MAJOR)
        return major < CARRIED_VERSION_MAJOR ? VERDICT_UPDATE : VERDICT_NEWER;
    if (minor != CARRIED_VERSION_MINOR)
        return minor < CARRIED_VERSION_MINOR ? VERDICT_UPDATE : VERDICT_NEWER;
    return VERDICT_MATCH;
}

std::string_view VerdictText(FirmwareVerdict verdict) {
    return VERDICT_TEXTS[static_cast<size_t>(verdict)];
}

// The note is short: the longest verdict with it, 64 characters, still fits the view's group box.
int FormatVerdictLine(FirmwareVerdict verdict, char* text, size_t size) {
    std::string_view verdictText = VerdictText(verdict);
    int length = std::snprintf(text, size, "%.*s%s", static_cast<int>(verdictText.size()),
                               verdictText.data(), FIRMWARE_IMAGE_IS_SAMPLE ? " (SAMPLE)" : "");
    return std::clamp(length, 0, size > 0 ? static_cast<int>(size) - 1 : 0);
}
