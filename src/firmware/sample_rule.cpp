// The rule that keeps the samples out of real units, and its refusals.
#include "firmware/sample_rule.h"

#include "firmware/cipher_key.h"
#include "firmware/firmware_image.h"
#include "link/link.h"

#include <algorithm>
#include <cstdlib>
#include <mutex>

namespace {

constexpr std::string_view IMAGE_REFUSAL =
    "This program carries the SAMPLE firmware image, which is not device firmware, and the unit "
    "is not known to run the sample firmware.\n\nIn a real unit the sample would leave no "
    "working firmware, only the loader, which the maker's image alone brings back.\n\nA real "
    "unit needs a build with the maker's firmware image (README.md, \"Releases\").";
constexpr std::string_view KEY_REFUSAL =
    "This program enciphers the setup with the SAMPLE setup key, which is not the unit's key, "
    "and the unit is not known to run the sample firmware.\n\nA real unit would decipher "
    "garbage into the output tables that drive its analogue outputs, and the write's own check "
    "would still pass.\n\nA real unit needs a build with the maker's setup key (README.md, "
    "\"Releases\").";

bool SampleAllowed() {
    const char* allow = std::getenv("MQ6_ALLOW_SAMPLE");
    return allow != nullptr && std::string_view(allow) == "1";
}

} // namespace

bool UnitRunsSampleFirmware() {
    // No data-block read rewrites DeviceInfo while it is compared.
    std::lock_guard<std::recursive_mutex> hold(ExchangeLock);
    return DeviceDataValid.load(std::memory_order_acquire) == 1 &&
           std::equal(SampleInfoArea.begin(), SampleInfoArea.end(),
                      DeviceInfo.begin() + SAMPLE_INFO_OFFSET);
}

std::string_view RefuseSampleWrite(SampleInput input) {
    bool sample = input == SAMPLE_INPUT_IMAGE ? FIRMWARE_IMAGE_IS_SAMPLE : SETUP_KEY_IS_SAMPLE;
    if (!sample || UnitRunsSampleFirmware() || SampleAllowed())
        return {};
    return input == SAMPLE_INPUT_IMAGE ? IMAGE_REFUSAL : KEY_REFUSAL;
}
