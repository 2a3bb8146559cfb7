// The unit's side of the setup-table cipher: 16-cycle TEA deciphering with the shared key,
// whose third word advances by the key step after every 16-byte block of a write run.
#pragma once

#include <array>
#include <cstdint>

constexpr int SETUP_TABLE_SIZE = 2048;
constexpr int SETUP_TABLE_BLOCKS = SETUP_TABLE_SIZE / 16;

using SetupKeyWords = std::array<uint32_t, 4>;

// The key that deciphers block n (counted over both tables of one write run).
SetupKeyWords KeyForBlock(uint32_t blockNumber);

// Deciphers the pair (y, z) in place.
void TeaDecipher(const SetupKeyWords& key, uint32_t& y, uint32_t& z);

// Deciphers 16 bytes in place: four big-endian words, two pairs, one key.
void DecipherBlock16(const SetupKeyWords& key, uint8_t* block);
