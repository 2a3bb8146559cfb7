// The setup block of the data block over arbitrary bytes: the input is the unit's 256-byte
// data block (a shorter one padded with NULs, a longer one cut). Unpacking takes every field
// within the width it has in the block, packing the result and unpacking again gives the same
// values, and the output tables built from them hold only codes the unit can output.
#include "fuzz_support.h"

#include "wbsetup/output_table.h"
#include "wbsetup/setup_values.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {
// 16-bit AFRs, byte-wide volts, flags and switch point, and response rates stored shifted
// right by one bit (so even, at most 510).
void CheckWidths(const SetupRecord& values) {
    if (!Within(values.StoichAfr, 0, 0xFFFF) || !Within(values.SetupFlags, 0, 0xFF) ||
        !Within(values.NbOffset, 0, 0xFF))
        FuzzFail("stoich, flags and switch point are within their bytes");
    for (const ChannelSetup& channel : values.Channel) {
        if (!Within(channel.Volts1, 0, 0xFF) || !Within(channel.Volts2, 0, 0xFF) ||
            !Within(channel.Afr1, 0, 0xFFFF) || !Within(channel.Afr2, 0, 0xFFFF))
            FuzzFail("a channel's points are within their bytes");
        if (!Within(channel.ResponseValue, 0, 510) || channel.ResponseValue % 2 != 0)
            FuzzFail("a response rate is an even number up to 510");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::array<uint8_t, DEVICE_INFO_SIZE> info{};
    std::memcpy(info.data(), data, std::min(size, info.size()));
    const std::array<uint8_t, DEVICE_INFO_SIZE> original = info;

    SetupRecord first = DEFAULT_SETUP;
    UnpackSetupBlock(info, first);
    CheckWidths(first);

    PackSetupBlock(first, info);
    if (!std::equal(info.begin(), info.begin() + 4, original.begin()) ||
        !std::equal(info.begin() + 4 + 64, info.end(), original.begin() + 4 + 64))
        FuzzFail("packing writes only the 64 bytes of the setup block");
    SetupRecord second = DEFAULT_SETUP;
    UnpackSetupBlock(info, second);
    if (!SameSetupFields(first, second))
        FuzzFail("pack then unpack gives the values unpacked");
    std::array<uint8_t, DEVICE_INFO_SIZE> repacked = info;
    PackSetupBlock(second, repacked);
    if (repacked != info)
        FuzzFail("a packed block packs to itself");

    OutputTable table1{};
    OutputTable table2{};
    BuildSetupTables(first, table1, table2);
    for (int entry = 0; entry < OUTPUT_TABLE_ENTRIES; ++entry)
        if (!Within(ReadOutputCode(table1, entry), 0, 4095) ||
            !Within(ReadOutputCode(table2, entry), 0, 4095))
            FuzzFail("every output code is a 12-bit code");
    return 0;
}
