// How the unit's firmware compares with the carried one, and the firmware update's refusal
// and error texts, shared by the firmware view and mq6.
#pragma once

#include <cstddef>
#include <string_view>

enum FirmwareVerdict {
    VERDICT_MATCH,  // same version: nothing to update
    VERDICT_UPDATE, // the unit is older: the update is offered
    VERDICT_NEWER,  // the unit is newer than what the program carries
};

// Compares (major, minor) with the carried version, major first.
FirmwareVerdict CompareFirmware(int major, int minor);
std::string_view VerdictText(FirmwareVerdict verdict);
// The verdict as the firmware view and mq6 firmware status show it, with a note when the carried
// image is the sample. Fills text (size bytes, cut to fit) and returns the length written.
int FormatVerdictLine(FirmwareVerdict verdict, char* text, size_t size);

// A unit in its setup mode must finish the setup before its firmware may be replaced.
extern const std::string_view SETUP_MODE_REFUSAL_TEXT;
extern const std::string_view SETUP_MODE_REFUSAL_CAPTION;
// Caption of the box that shows a failed update's stage text.
extern const std::string_view UPDATE_ERROR_CAPTION;
