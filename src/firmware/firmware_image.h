// The unit's firmware as the programs carry it: address-tagged records, never interpreted.
// The bytes come from the image file named at build time (MQ6_FIRMWARE_IMAGE), checked and
// turned into firmware_image_data.cpp by cmake/firmware_image.cmake.
#pragma once

#include <array>
#include <cstdint>

// InfoRecord: information-area offset, then 16 bytes for it and the 15 after it.
constexpr int INFO_RECORD_SIZE = 17;
constexpr int INFO_RECORD_COUNT = 12;
// CodeRecord: loader word address (high byte first), then 16 bytes spanning 8 addresses.
constexpr int CODE_RECORD_SIZE = 18;
constexpr int CODE_RECORD_COUNT = 169;
constexpr int RECORD_DATA_SIZE = 16;

constexpr int INFO_TABLE_SIZE = INFO_RECORD_SIZE * INFO_RECORD_COUNT;
constexpr int CODE_TABLE_SIZE = CODE_RECORD_SIZE * CODE_RECORD_COUNT;
constexpr int TABLE_GAP_SIZE = 4;    // a zero word between the two tables
constexpr int IMAGE_HEADER_SIZE = 8; // selector word, reserved word
constexpr int FIRMWARE_IMAGE_B_SIZE = INFO_TABLE_SIZE + TABLE_GAP_SIZE + CODE_TABLE_SIZE;
constexpr int FIRMWARE_IMAGE_A_SIZE = IMAGE_HEADER_SIZE + FIRMWARE_IMAGE_B_SIZE;
static_assert(FIRMWARE_IMAGE_A_SIZE == 3258 && FIRMWARE_IMAGE_B_SIZE == 3250);

// Copy A starts with the verify-length selector (32-bit little-endian: 0 compares 8 bytes of
// each record, 1 all 16); only that word of it is read. Copy B holds the same two tables
// alone, and the programming sequence walks them.
extern const std::array<uint8_t, FIRMWARE_IMAGE_A_SIZE> FirmwareImageA;
extern const std::array<uint8_t, FIRMWARE_IMAGE_B_SIZE> FirmwareImageB;

// The carried firmware's version, taken from the image's banner when it is embedded.
extern const int CARRIED_VERSION_MAJOR;
extern const int CARRIED_VERSION_MINOR;

// Whether the image is the sample (firmware/sample-image.txt), which is not device firmware,
// and the name of the file it came from.
extern const bool FIRMWARE_IMAGE_IS_SAMPLE;
extern const char FIRMWARE_IMAGE_FILE[];

// Information-area bytes 0x40 to 0x7F of the sample image, whatever image the build carries: a
// unit that runs the sample firmware shows them in its data block, a real unit its maker's.
constexpr int SAMPLE_INFO_OFFSET = 0x40;
constexpr int SAMPLE_INFO_SIZE = 64;
extern const std::array<uint8_t, SAMPLE_INFO_SIZE> SampleInfoArea;

// Records of copy B, index 0 to INFO_RECORD_COUNT - 1 and 0 to CODE_RECORD_COUNT - 1.
const uint8_t* GetInfoRecord(int index);
const uint8_t* GetCodeRecord(int index);
uint16_t GetCodeAddress(const uint8_t* codeRecord);

// 8 or 16, from copy A's selector word.
int SelectVerifyLength();
