// Port discovery over arbitrary registry contents, on the in-memory registry: the search
// for the unit, the candidate list and the retry-count fix-up. The input is one entry a
// line; the first character says what the line makes, the rest is its text, taken byte for
// byte (NULs and all):
//
//   U<instance>        the key USB\Vid_0403&Pid_6001\<instance>       (and makes it current)
//   B<rest>            the key Enum\FTDIBUS\<rest>, e.g. "Vid_0403+Pid_6001+XA\0000"
//   C                  HARDWARE\DEVICEMAP\SERIALCOMM
//   P                  the FTDI driver's Parameters key
//   K<path>            any key under HKEY_LOCAL_MACHINE
//   S<name>=<data>     a string value of the current key, stored without a terminator
//   T<name>=<text>     a string value with its terminator, as Windows stores one
//   D<name>=<data>     a DWORD value of the current key (four bytes, or a wrong length)
//   O<name>=<data>     a value of another type
//   R                  from here on the registry refuses writes, as for a plain user
#include "fuzz_support.h"

#include "discovery/discovery.h"
#include "discovery/registry.h"
#include "discovery/registry_posix.h"

#include <array>
#include <cstring>
#include <string>
#include <string_view>

namespace {
constexpr std::string_view ENUM_KEY = "SYSTEM\\CurrentControlSet\\Enum\\";
constexpr std::string_view USB_KEY = "SYSTEM\\CurrentControlSet\\Enum\\USB\\Vid_0403&Pid_6001\\";
constexpr std::string_view SERIALCOMM_KEY = "HARDWARE\\DEVICEMAP\\SERIALCOMM";
constexpr std::string_view PARAMETERS_KEY =
    "SYSTEM\\CurrentControlSet\\Services\\FTDIBUS\\Parameters";
constexpr uint32_t MIN_RETRY_RESET_COUNT = 200;
// A capacity that short port names fit and longer ones do not.
constexpr size_t SMALL_CAPACITY = 6;

void ApplyLine(std::string_view line, std::string& current) {
    if (line.empty())
        return;
    std::string_view text = line.substr(1);
    size_t equals = text.find('=');
    std::string_view name = text.substr(0, equals);
    std::string_view data = equals == std::string_view::npos ? "" : text.substr(equals + 1);
    switch (line[0]) {
    case 'U':
        current = std::string(USB_KEY) + std::string(text);
        break;
    case 'B':
        current = std::string(ENUM_KEY) + "FTDIBUS\\" + std::string(text);
        break;
    case 'C':
        current = SERIALCOMM_KEY;
        break;
    case 'P':
        current = PARAMETERS_KEY;
        break;
    case 'K':
        current = text;
        break;
    case 'S':
        if (!current.empty())
            SetMemoryRegistryValue(current, name, REGISTRY_STRING, data);
        return;
    case 'T':
        if (!current.empty())
            SetMemoryRegistryString(current, name, data);
        return;
    case 'D':
        if (!current.empty())
            SetMemoryRegistryValue(current, name, REGISTRY_DWORD, data);
        return;
    case 'O':
        if (!current.empty())
            SetMemoryRegistryValue(current, name, REGISTRY_OTHER, data);
        return;
    case 'R':
        SetMemoryRegistryReadOnly(true);
        return;
    default:
        return;
    }
    AddMemoryRegistryKey(current);
}

void CheckNoKeyLeftOpen() {
    if (CountOpenMemoryRegistryKeys() != 0)
        FuzzFail("every key opened is closed again");
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ClearMemoryRegistry();
    std::string_view input(reinterpret_cast<const char*>(data), size);
    std::string current;
    bool readOnly = false;
    while (!input.empty()) {
        size_t end = input.find('\n');
        std::string_view line = input.substr(0, end);
        readOnly = readOnly || (!line.empty() && line[0] == 'R');
        ApplyLine(line, current);
        input.remove_prefix(end == std::string_view::npos ? input.size() : end + 1);
    }

    std::array<char, REGISTRY_TEXT_SIZE> found{};
    int search = FindRegistryUnit(found.data(), found.size());
    CheckNoKeyLeftOpen();
    std::array<char, SMALL_CAPACITY> small{};
    if (FindRegistryUnit(small.data(), small.size()) == 0 &&
        strnlen(small.data(), small.size()) >= small.size())
        FuzzFail("a port name found fits the caller's buffer");
    CheckNoKeyLeftOpen();

    std::array<PortCandidate, MAX_PORT_CANDIDATES> list;
    int count = ListRegistryCandidates(list.data(), MAX_PORT_CANDIDATES);
    CheckNoKeyLeftOpen();
    if (count < 0 || count > MAX_PORT_CANDIDATES)
        FuzzFail("the candidate count is within the list");
    CheckListAgreesWithSearch(list.data(), count, search, found.data(),
                              "the search finds the first listed unit that is attached");

    uint32_t before = 0;
    bool hadCount = ReadMemoryRegistryDword(PARAMETERS_KEY, "RetryResetCount", &before) == 0;
    int raised = RaiseFtdiRetryResetCount();
    CheckNoKeyLeftOpen();
    uint32_t after = 0;
    bool hasCount = ReadMemoryRegistryDword(PARAMETERS_KEY, "RetryResetCount", &after) == 0;
    if (raised == 0 && (!hasCount || after < MIN_RETRY_RESET_COUNT))
        FuzzFail("a raise that succeeds leaves the count at 200 or more");
    if (hadCount && (!hasCount || after < before))
        FuzzFail("a count is never lowered");
    if (readOnly && (hadCount != hasCount || after != before))
        FuzzFail("a read-only registry is not written");
    return 0;
}
