// The configuration reader over arbitrary file contents: ReadConfig on a real file, then
// the writer and reader in turn. Whatever the file held, the settings end in range, and the
// file the writer makes reads back to itself.
#include "fuzz_support.h"

#include "link/link.h"
#include "settings/config.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

namespace {
std::string ConfigFilePath;

void WriteFile(const std::string& path, const uint8_t* data, size_t size) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr || std::fwrite(data, 1, size, file) != size || std::fclose(file) != 0)
        FuzzFail("the input can be written to the scratch directory");
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool InRange(double value, double low, double high) {
    return !std::isnan(value) && value >= low && value <= high;
}

void CheckSettings() {
    if (AutoPort.load() < 0 || AutoPort.load() > 1 || WindowX.load() < -1 ||
        WindowX.load() > 1280 || WindowY.load() < -1 || WindowY.load() > 1024 ||
        ResponseRate.load() < 0 || ResponseRate.load() > 100 || !InRange(TargetLow.load(), 0, 2) ||
        !InRange(TargetHigh.load(), 0, 2))
        FuzzFail("every number read is in its row's range");
    // At most 31 characters are taken, never cut.
    if (strnlen(PortName.data(), PortName.size()) > 31)
        FuzzFail("a port name read is at most 31 characters");
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    ConfigFilePath = ScratchDir() + "/" + std::string(CONFIG_FILE_NAME);
    if (ConfigFilePath.size() >= ConfigPath.size())
        FuzzFail("the scratch path fits ConfigPath");
    std::memcpy(ConfigPath.data(), ConfigFilePath.c_str(), ConfigFilePath.size() + 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ResetLinkState();
    ResetSettings();
    WriteFile(ConfigFilePath, data, size);
    ReadConfig();
    CheckSettings();
    WriteConfig();
    std::string written = ReadFile(ConfigFilePath);
    ReadConfig();
    CheckSettings();
    WriteConfig();
    if (ReadFile(ConfigFilePath) != written)
        FuzzFail("a written file reads back to the same settings");
    return 0;
}
