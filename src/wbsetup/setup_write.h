// The setup write's loader sequence: the output tables and the setup bytes to the unit. It
// claims the link for its whole run, reports progress through a sink, and hands back a
// constant text naming the stage it reached, which the caller shows on failure.
#pragma once

#include "firmware/programming.h"
#include "link/link.h"
#include "wbsetup/setup_tables.h"

#include <array>
#include <cstdint>
#include <string_view>

// Writes both output tables enciphered to 0x1000 and 0x1400, reads them back, then writes
// deviceInfo bytes 4 to 67 and restarts the unit. The tables are enciphered in copies, so
// they stay plain for a retry or another write. 0 or -1.
int WriteSetupTables(std::string_view& message, const OutputTable& table1,
                     const OutputTable& table2,
                     const std::array<uint8_t, DEVICE_INFO_SIZE>& deviceInfo,
                     ProgressSink progress);
