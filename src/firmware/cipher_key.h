// The setup-table key: the four starting key words and the per-block key step that the
// unit's firmware deciphers with. They come from the key file named by MQ6_SETUP_KEY at build
// time (cmake/setup_key.cmake generates their definitions); the utility and the simulated
// unit of one build take them from there.
#pragma once

#include <cstdint>

extern const uint32_t SETUP_KEY_WORD0;
extern const uint32_t SETUP_KEY_WORD1;
extern const uint32_t SETUP_KEY_WORD2;
extern const uint32_t SETUP_KEY_WORD3;
extern const uint32_t SETUP_KEY_STEP;

// Whether the key is the sample (firmware/sample-setup-key.txt), which no real unit
// deciphers with, and the name of the file it came from.
extern const bool SETUP_KEY_IS_SAMPLE;
extern const char SETUP_KEY_FILE[];
