// The Firmware Update view's controls as its rules (firmware/firmware_view.h) use them: each front
// end makes them from FirmwareLayout and implements these over them; the native tests record them.
#pragma once

#include "firmware/programming.h"

#include <array>
#include <string_view>

enum FirmwareControl : int {
    FIRMWARE_UNIT_BOX,     // "MQ-6 Information"
    FIRMWARE_IMAGE_BOX,    // "New Firmware Information"
    FIRMWARE_UPDATE,       // the "Update Firmware" button
    FIRMWARE_PROGRESS_BAR, // a step per code record
    FIRMWARE_CONTROL_COUNT
};

enum FirmwareControlKind : int {
    FIRMWARE_KIND_FRAME,
    FIRMWARE_KIND_BUTTON,
    FIRMWARE_KIND_PROGRESS
};

struct FirmwareControlRow {
    FirmwareControl control;
    FirmwareControlKind kind;
    std::string_view caption;
    int x;
    int y;
    int width; // 0: the client width less twice x
    int height;
};
// In the order the controls are made.
extern const std::array<FirmwareControlRow, FIRMWARE_CONTROL_COUNT> FirmwareLayout;

// From any thread: the update button enabled or not.
void EnableUpdateButton(bool enabled);
// On the update's thread: the bar moved on a step, or emptied by PROGRESS_RESET.
void StepFirmwareProgress(ProgressMessage message);
// The view's controls, made as the view is entered and removed as it is left (app/views.h).
void CreateFirmwareControls();
void DestroyFirmwareControls();
