// The setup file reader over arbitrary file contents. Whatever the file holds, it is either
// refused with a reason and the values left as they were, or every setting is in the range
// the setup block holds and the file mq6 prints for it reads back to the same setup.
#include "fuzz_support.h"

#include "wbsetup/setup_file.h"

#include <cstdio>
#include <string>

namespace {
std::string SetupFilePath;

void WriteFile(const std::string& text) {
    std::FILE* file = std::fopen(SetupFilePath.c_str(), "wb");
    if (file == nullptr || std::fwrite(text.data(), 1, text.size(), file) != text.size() ||
        std::fclose(file) != 0)
        FuzzFail("the input can be written to the scratch directory");
}

// The fields and the rows the Response boxes show.
bool SameSetup(const SetupRecord& a, const SetupRecord& b) {
    return SameSetupFields(a, b) &&
           a.Channel[CHANNEL_A].ResponseIndex == b.Channel[CHANNEL_A].ResponseIndex &&
           a.Channel[CHANNEL_B].ResponseIndex == b.Channel[CHANNEL_B].ResponseIndex;
}

// What the setup block holds: volts 0 to 25.5 (x 10, one byte), AFRs 0 to 655.35 (x 100, two
// bytes), bytes 0 to 255, a response rate that its Response box can show or a code the unit's
// byte holds doubled.
void CheckRanges(const SetupRecord& values) {
    if (!Within(values.StoichAfr, 0, 65535) || !Within(values.SetupFlags, 0, 255) ||
        !Within(values.NbOffset, 0, 255))
        FuzzFail("stoich_afr, flags and nb_offset are in range");
    for (const ChannelSetup& channel : values.Channel) {
        if (!Within(channel.Volts1, 0, 255) || !Within(channel.Volts2, 0, 255) ||
            !Within(channel.Afr1, 0, 65535) || !Within(channel.Afr2, 0, 65535))
            FuzzFail("every point's volts and AFR are in range");
        int row = FindResponseChoice(channel.ResponseValue);
        if (!Within(channel.ResponseIndex, 0, RESPONSE_CHOICE_COUNT - 1) ||
            (row >= 0 && row != channel.ResponseIndex))
            FuzzFail("a listed response rate is the one of the row its box shows");
        if (row < 0 && (!Within(channel.ResponseValue, 0, 510) || channel.ResponseValue % 2 != 0))
            FuzzFail("a code in no row is one the unit's byte can hold");
    }
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    SetupFilePath = ScratchDir() + "/setup.json";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    WriteFile(std::string(reinterpret_cast<const char*>(data), size));
    SetupRecord values = DEFAULT_SETUP;
    std::string error;
    if (!ReadSetupFile(SetupFilePath, values, error)) {
        if (error.empty())
            FuzzFail("a refused file is refused with a reason");
        if (!SameSetup(values, DEFAULT_SETUP))
            FuzzFail("a refused file changes nothing");
        return 0;
    }
    CheckRanges(values);
    std::string printed = SetupToJson(values);
    WriteFile(printed);
    SetupRecord again = DEFAULT_SETUP;
    if (!ReadSetupFile(SetupFilePath, again, error))
        FuzzFail("the file printed for an accepted setup is accepted");
    if (!SameSetup(values, again) || SetupToJson(again) != printed)
        FuzzFail("the printed file reads back to the same setup");
    return 0;
}
