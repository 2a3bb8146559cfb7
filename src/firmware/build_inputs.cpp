// The build-input lines of mq6 --version and the About box.
#include "firmware/build_inputs.h"

#include "firmware/cipher_key.h"
#include "firmware/firmware_image.h"

#include <cstdio>

int FormatBuildInputs(char* text, size_t size) {
    int length = std::snprintf(
        text, size,
        "Carried firmware: %1d.%02d\n"
        "Firmware image: %s, %s\n"
        "Setup key: %s, %s\n",
        CARRIED_VERSION_MAJOR, CARRIED_VERSION_MINOR, FIRMWARE_IMAGE_FILE,
        FIRMWARE_IMAGE_IS_SAMPLE ? "the SAMPLE, not device firmware" : "given at build time",
        SETUP_KEY_FILE,
        SETUP_KEY_IS_SAMPLE ? "the SAMPLE, not the unit's key" : "given at build time");
    return length >= 0 && static_cast<size_t>(length) < size ? 0 : -1;
}
