// TEA with 16 cycles, run backwards: the utility enciphers, the unit deciphers.
#include "sim/sim_cipher.h"

#include "firmware/cipher_key.h"

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

SetupKeyWords KeyForBlock(uint32_t blockNumber) {
    return {SETUP_KEY_WORD0, SETUP_KEY_WORD1, SETUP_KEY_WORD2 + blockNumber * SETUP_KEY_STEP,
            SETUP_KEY_WORD3};
}

void TeaDecipher(const SetupKeyWords& key, uint32_t& y, uint32_t& z) {
    uint32_t sum = TEA_DELTA * TEA_CYCLES;
    for (int cycle = 0; cycle < TEA_CYCLES; ++cycle) {
        z -= ((y << 4) + key[2]) ^ (y + sum) ^ ((y >> 5) + key[3]);
        y -= ((z << 4) + key[0]) ^ (z + sum) ^ ((z >> 5) + key[1]);
        sum -= TEA_DELTA;
    }
}

void DecipherBlock16(const SetupKeyWords& key, uint8_t* block) {
    for (int pair = 0; pair < 2; ++pair) {
        uint8_t* bytes = block + pair * 8;
        uint32_t y = LoadBigEndian(bytes);
        uint32_t z = LoadBigEndian(bytes + 4);
        TeaDecipher(key, y, z);
        StoreBigEndian(y, bytes);
        StoreBigEndian(z, bytes + 4);
    }
}
