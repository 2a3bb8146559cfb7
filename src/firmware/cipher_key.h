// The setup-table key: the four starting key words and the per-block key step that the
// unit's firmware deciphers with. The utility and the simulated unit both take them from here.
#pragma once

#include <cstdint>

constexpr uint32_t SETUP_KEY_WORD0 = 0x4D513636; // "MQ66"
constexpr uint32_t SETUP_KEY_WORD1 = 0x2D574221; // "-WB!"
constexpr uint32_t SETUP_KEY_WORD2 = 0x0B5E7A1D;
constexpr uint32_t SETUP_KEY_WORD3 = 0xC3D2E1F0;
constexpr uint32_t SETUP_KEY_STEP = 0x01234567;
