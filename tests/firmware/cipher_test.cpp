// The setup-table cipher against answers computed outside this code, its byte order and
// its key step.
#include "firmware/cipher.h"
#include "firmware/cipher_key.h"

#include <gtest/gtest.h>

#include <array>

namespace {

using Block = std::array<uint8_t, 16>;

// Reference 16-cycle TEA pair with an explicit key, for the key-step checks.
std::array<uint32_t, 2> ReferencePair(std::array<uint32_t, 4> key, uint32_t y, uint32_t z) {
    SetupKey = key;
    std::array<uint32_t, 2> pair{y, z};
    TeaEncipher(2, pair.data());
    return pair;
}

TEST(TeaEncipher, MatchesKnownAnswers) {
    SetupKey = {0, 0, 0, 0};
    std::array<uint32_t, 2> zero{0, 0};
    TeaEncipher(2, zero.data());
    EXPECT_EQ(zero[0], 0xA889F798u);
    EXPECT_EQ(zero[1], 0x182D8083u);

    SetupKey = {0x01234567, 0x89ABCDEF, 0xFEDCBA98, 0x76543210};
    std::array<uint32_t, 2> pair{0x01020304, 0x05060708};
    TeaEncipher(2, pair.data());
    EXPECT_EQ(pair[0], 0xC8A25048u);
    EXPECT_EQ(pair[1], 0x627464E2u);
}

TEST(TeaEncipher, EnciphersEachPairAloneWithTheSameKey) {
    SetupKey = {0x01234567, 0x89ABCDEF, 0xFEDCBA98, 0x76543210};
    std::array<uint32_t, 4> words{0x01020304, 0x05060708, 0x01020304, 0x05060708};
    TeaEncipher(4, words.data());
    EXPECT_EQ(words, (std::array<uint32_t, 4>{0xC8A25048, 0x627464E2, 0xC8A25048, 0x627464E2}));
    EXPECT_EQ(SetupKey[2], 0xFEDCBA98u) << "only EncryptBlock16 steps the key";
}

TEST(EncryptBlock16, TakesWordsBigEndianAndAdvancesTheThirdKeyWord) {
    SetupKey = {0x01234567, 0x89ABCDEF, 0xFEDCBA98, 0x76543210};
    Block block{0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08,
                0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08};
    EncryptBlock16(block.data());
    Block expected{0xC8, 0xA2, 0x50, 0x48, 0x62, 0x74, 0x64, 0xE2,
                   0xC8, 0xA2, 0x50, 0x48, 0x62, 0x74, 0x64, 0xE2};
    EXPECT_EQ(block, expected);
    EXPECT_EQ(SetupKey[0], 0x01234567u);
    EXPECT_EQ(SetupKey[1], 0x89ABCDEFu);
    EXPECT_EQ(SetupKey[2], 0xFEDCBA98u + SETUP_KEY_STEP);
    EXPECT_EQ(SetupKey[3], 0x76543210u);
}

TEST(EncryptBlock16, BlockNIsEncipheredWithTheKeyStepTakenNTimes) {
    LoadSetupKey();
    std::array<Block, 3> blocks{};
    for (Block& block : blocks)
        EncryptBlock16(block.data());
    for (uint32_t n = 0; n < blocks.size(); ++n) {
        std::array<uint32_t, 2> pair =
            ReferencePair({SETUP_KEY_WORD0, SETUP_KEY_WORD1, SETUP_KEY_WORD2 + n * SETUP_KEY_STEP,
                           SETUP_KEY_WORD3},
                          0, 0);
        const Block& block = blocks[n];
        uint32_t y = (uint32_t{block[0]} << 24) | (block[1] << 16) | (block[2] << 8) | block[3];
        uint32_t z = (uint32_t{block[4]} << 24) | (block[5] << 16) | (block[6] << 8) | block[7];
        EXPECT_EQ(y, pair[0]) << "block " << n;
        EXPECT_EQ(z, pair[1]) << "block " << n;
        EXPECT_NE(block, Block{}) << "an all-zero block does not stay zero";
    }
    EXPECT_NE(blocks[0], blocks[1]);
    EXPECT_NE(blocks[1], blocks[2]);
}

TEST(EncryptBlock16, EncipheringTwiceDoesNotRestoreTheBlock) {
    Block plain{};
    for (size_t i = 0; i < plain.size(); ++i)
        plain[i] = static_cast<uint8_t>(0x34 + i);
    Block block = plain;
    LoadSetupKey();
    EncryptBlock16(block.data());
    LoadSetupKey();
    EncryptBlock16(block.data());
    EXPECT_NE(block, plain);
}

TEST(LoadSetupKey, EveryRunStartsFromTheSameKey) {
    LoadSetupKey();
    Block first{};
    EncryptBlock16(first.data());
    for (int block = 1; block < 256; ++block) {
        Block scratch{};
        EncryptBlock16(scratch.data());
    }
    EXPECT_EQ(SetupKey[2], SETUP_KEY_WORD2 + 256u * SETUP_KEY_STEP);
    LoadSetupKey();
    Block again{};
    EncryptBlock16(again.data());
    EXPECT_EQ(again, first);
}

} // namespace
