// The block cipher of the setup write: TEA with 16 cycles, and a key whose third word
// advances by a fixed step after every 16-byte block, so equal blocks encipher differently
// by position. The unit deciphers with the same starting words and step (cipher_key.h).
#pragma once

#include <array>
#include <cstdint>

// k0..k3 in the roles of the TEA key words. Only the thread running a setup write uses it.
extern std::array<uint32_t, 4> SetupKey;

// Sets the four words to their starting values; every setup write run begins with this.
void LoadSetupKey();

// Enciphers count words (even) in place, pair by pair, each pair with the same key.
void TeaEncipher(int count, uint32_t* words);

// Enciphers 16 bytes in place as four big-endian words, then advances k2 by the key step.
void EncryptBlock16(uint8_t* block);
