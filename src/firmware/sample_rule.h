// Samples never reach a real unit. A build input that is the project's sample (the firmware
// image, the setup key) is written only into a unit that runs the sample firmware, recognised by
// the sample image's information bytes 0x40 to 0x7F in its data block; a real unit carries its
// maker's bytes there. MQ6_ALLOW_SAMPLE=1 in the environment lifts the rule for the tests'
// simulated unit where the rule cannot pass (its block unreadable, or its information records
// half rewritten by a cut update).
#pragma once

#include <string_view>

enum SampleInput {
    SAMPLE_INPUT_IMAGE, // the carried firmware image, written by a firmware update
    SAMPLE_INPUT_KEY,   // the setup key, which enciphers the tables of a setup write
};

// Whether the unit whose data block was read last shows the sample image's information bytes.
bool UnitRunsSampleFirmware();
// Empty when input may be written into the unit whose data block was read last (DeviceInfo,
// DeviceDataValid); else the refusal: which input is the sample, what it would do to a real
// unit, and what a real unit needs.
std::string_view RefuseSampleWrite(SampleInput input);
