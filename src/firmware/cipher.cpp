// 16-cycle TEA and the per-block key step of the setup tables.
#include "firmware/cipher.h"

#include "firmware/cipher_key.h"

#include <cstddef>

std::array<uint32_t, 4> SetupKey{};

namespace {
constexpr uint32_t TEA_DELTA = 0x9E3779B9;
constexpr int TEA_CYCLES = 16;

uint32_t LoadBigEndian(const uint8_t* bytes) {
    return (uint32_t{bytes[0]} << 24) | (uint32_t{bytes[1]} << 16) | (uint32_t{bytes[2]} << 8) |
           uint32_t{bytes[3]};
}

void StoreBigEndian(uint32_t word, uint8_t* bytes) {
    bytes[0] = static_cast<uint8_t>(word >> 24);
    bytes[1] = static_cast<uint8_t>(word >> 16);
    bytes[2] = static_cast<uint8_t>(word >> 8);
    bytes[3] = static_cast<uint8_t>(word);
}
} // namespace

void LoadSetupKey() {
    SetupKey = {SETUP_KEY_WORD0, SETUP_KEY_WORD1, SETUP_KEY_WORD2, SETUP_KEY_WORD3};
}

void TeaEncipher(int count, uint32_t* words) {
    const auto [k0, k1, k2, k3] = SetupKey;
    for (int pair = 0; pair + 1 < count; pair += 2) {
        uint32_t y = words[pair];
        uint32_t z = words[pair + 1];
        uint32_t sum = 0;
        for (int cycle = 0; cycle < TEA_CYCLES; ++cycle) {
            sum += TEA_DELTA;
            y += ((z << 4) + k0) ^ (z + sum) ^ ((z >> 5) + k1);
            z += ((y << 4) + k2) ^ (y + sum) ^ ((y >> 5) + k3);
        }
        words[pair] = y;
        words[pair + 1] = z;
    }
}

void EncryptBlock16(uint8_t* block) {
    std::array<uint32_t, 4> words;
    for (int j = 0; j < 4; ++j)
        words[static_cast<size_t>(j)] = LoadBigEndian(block + 4 * j);
    TeaEncipher(4, words.data());
    for (int j = 0; j < 4; ++j)
        StoreBigEndian(words[static_cast<size_t>(j)], block + 4 * j);
    SetupKey[2] += SETUP_KEY_STEP;
}
