// Port discovery on Linux over arbitrary USB devices: a fake sysfs tree and by-id directory
// are built from the input, then listed and searched. One device a line, its fields
// separated by tabs; a missing or empty field leaves that part out:
//
//   <USB path> <idVendor> <idProduct> <product> <serial> <terminal> <by-id link name>
//
// Attributes get the line end the kernel gives them. A terminal "ttyUSB0" is a directory in
// the device's first interface, "tty/ttyACM0" one below its "tty" directory, as the two
// drivers lay them out. '/' and NUL, which no file name holds, become '_'.
#include "fuzz_support.h"

#include "discovery/discovery.h"
#include "discovery/sysfs.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace {
namespace fs = std::filesystem;

enum Field { USB_PATH, VENDOR, PRODUCT, PRODUCT_NAME, SERIAL, TERMINAL, BY_ID, FIELD_COUNT };

constexpr std::string_view TTY_DIR = "tty/";
constexpr size_t SMALL_CAPACITY = 16;

fs::path SysfsRoot;
fs::path ByIdDir;

std::string FileName(std::string_view text) {
    std::string name(text);
    for (char& c : name)
        if (c == '/' || c == '\0')
            c = '_';
    return name == "." || name == ".." ? std::string() : name;
}

void WriteAttribute(const fs::path& file, std::string_view text) {
    if (text.empty())
        return;
    std::FILE* stream = std::fopen(file.c_str(), "w");
    if (stream == nullptr)
        FuzzFail("the fake tree can be written");
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fputc('\n', stream);
    std::fclose(stream);
}

void AddDevice(std::string_view line) {
    std::array<std::string_view, FIELD_COUNT> fields{};
    for (size_t i = 0; i < fields.size() && !line.empty(); ++i) {
        size_t tab = line.find('\t');
        fields[i] = line.substr(0, tab);
        line.remove_prefix(tab == std::string_view::npos ? line.size() : tab + 1);
    }
    std::string name = FileName(fields[USB_PATH]);
    if (name.empty())
        return;
    fs::path device = SysfsRoot / "bus" / "usb" / "devices" / name;
    std::error_code error;
    fs::create_directories(device, error);
    if (error)
        return; // the same path twice, or one that is not a directory
    WriteAttribute(device / "idVendor", fields[VENDOR]);
    WriteAttribute(device / "idProduct", fields[PRODUCT]);
    WriteAttribute(device / "product", fields[PRODUCT_NAME]);
    WriteAttribute(device / "serial", fields[SERIAL]);

    std::string_view terminal = fields[TERMINAL];
    fs::path interface = device / (name + ":1.0");
    if (terminal.substr(0, TTY_DIR.size()) == TTY_DIR) {
        terminal.remove_prefix(TTY_DIR.size());
        interface /= "tty";
    }
    std::string terminalName = FileName(terminal);
    if (terminalName.empty())
        return;
    fs::create_directories(interface / terminalName, error);
    std::string link = FileName(fields[BY_ID]);
    if (!link.empty())
        fs::create_symlink("../../" + terminalName, ByIdDir / link, error);
}

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    SysfsRoot = fs::path(ScratchDir()) / "sys";
    ByIdDir = fs::path(ScratchDir()) / "by-id";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::error_code error;
    fs::remove_all(SysfsRoot, error);
    fs::remove_all(ByIdDir, error);
    fs::create_directories(SysfsRoot / "bus" / "usb" / "devices");
    fs::create_directories(ByIdDir);
    std::string_view input(reinterpret_cast<const char*>(data), size);
    while (!input.empty()) {
        size_t end = input.find('\n');
        AddDevice(input.substr(0, end));
        input.remove_prefix(end == std::string_view::npos ? input.size() : end + 1);
    }

    std::array<PortCandidate, MAX_PORT_CANDIDATES> list;
    int count =
        ListSysfsCandidates(SysfsRoot.c_str(), ByIdDir.c_str(), list.data(), MAX_PORT_CANDIDATES);
    if (count < 0 || count > MAX_PORT_CANDIDATES)
        FuzzFail("the candidate count is within the list");
    std::array<char, CANDIDATE_TEXT_SIZE> found{};
    int search = FindSysfsUnit(SysfsRoot.c_str(), ByIdDir.c_str(), found.data(), found.size());
    if (search == 0 && !StartsWith(found.data(), ByIdDir.string() + "/") &&
        !StartsWith(found.data(), "/dev/"))
        FuzzFail("a port is a by-id link or a terminal in /dev");

    CheckListAgreesWithSearch(list.data(), count, search, found.data(),
                              "the search finds the first listed unit that has a terminal");

    std::array<char, SMALL_CAPACITY> small{};
    if (FindSysfsUnit(SysfsRoot.c_str(), ByIdDir.c_str(), small.data(), small.size()) == 0 &&
        strnlen(small.data(), small.size()) >= small.size())
        FuzzFail("a port name found fits the caller's buffer");
    return 0;
}
