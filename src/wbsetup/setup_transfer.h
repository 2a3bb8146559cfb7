// The Wide Band Setup's Read (the unit's values into SetupValues) and Defaults, shared by the
// setup view and mq6. Set, the setup write, is wbsetup/setup_job.h.
#pragma once

#include "firmware/job.h"
#include "wbsetup/setup_values.h"

#include <string_view>

extern const std::string_view FIRMWARE_MODE_TEXT;

// Reads the unit's data block with the link claimed and takes its setup block into
// SetupValues. -1, values unchanged, when the block cannot be read (the data-error box),
// when the unit is in its firmware update mode (FIRMWARE_MODE_TEXT) or while a job runs.
int ReadSetup();
// Every value back to its default, the whole flag word included. Nothing is sent.
void LoadDefaultSetup();
