// The setup-table cipher against answers computed outside this code. Its byte order, its key
// step and the key loaded afresh for every write are checked on a whole setup write's blocks.
#include "firmware/cipher.h"

#include <gtest/gtest.h>

namespace {

constexpr std::array<uint32_t, 4> KEY = {0x01234567, 0x89ABCDEF, 0xFEDCBA98, 0x76543210};

TEST(Cipher, MatchesKnownAnswersWordsHighByteFirstAndStepsOnlyPerBlock) {
    SetupKey = {0, 0, 0, 0};
    std::array<uint32_t, 2> zero{0, 0};
    TeaEncipher(2, zero.data());
    EXPECT_EQ(zero, (std::array<uint32_t, 2>{0xA889F798, 0x182D8083}));
    SetupKey = KEY;
    std::array<uint32_t, 4> words{0x01020304, 0x05060708, 0x01020304, 0x05060708};
    TeaEncipher(4, words.data());
    EXPECT_EQ(words, (std::array<uint32_t, 4>{0xC8A25048, 0x627464E2, 0xC8A25048, 0x627464E2}));
    EXPECT_EQ(SetupKey, KEY) << "only EncryptBlock16 steps the key";
}

} // namespace
