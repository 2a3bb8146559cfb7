// Walking the carried image's records; the bytes themselves are generated from the image file.
#include "firmware/firmware_image.h"

#include <algorithm>

const uint8_t* GetInfoRecord(int index) {
    index = std::clamp(index, 0, INFO_RECORD_COUNT - 1);
    return FirmwareImageB.data() + index * INFO_RECORD_SIZE;
}

const uint8_t* GetCodeRecord(int index) {
    index = std::clamp(index, 0, CODE_RECORD_COUNT - 1);
    return FirmwareImageB.data() + INFO_TABLE_SIZE + TABLE_GAP_SIZE + index * CODE_RECORD_SIZE;
}

uint16_t GetCodeAddress(const uint8_t* codeRecord) {
    return static_cast<uint16_t>((codeRecord[0] << 8) | codeRecord[1]);
}

int SelectVerifyLength() {
    uint32_t selector = uint32_t{FirmwareImageA[0]} | (uint32_t{FirmwareImageA[1]} << 8) |
                        (uint32_t{FirmwareImageA[2]} << 16) | (uint32_t{FirmwareImageA[3]} << 24);
    return selector == 0 ? 8 : 16;
}
