// The banner and version parsing over an arbitrary data block: the input is the unit's
// 256-byte data block (a shorter one is padded with NULs, a longer one cut).
#include "fuzz_support.h"

#include "firmware/banner.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

namespace {
constexpr int MAX_READ_NUMBER = 99999;

// A piece is empty or lies inside the banner area of the block.
bool InsideBanner(std::string_view piece, const std::array<uint8_t, 256>& info) {
    if (piece.empty())
        return true;
    const char* first = reinterpret_cast<const char*>(info.data() + BANNER_OFFSET);
    const char* end = reinterpret_cast<const char*>(info.data() + UNIT_MODE_OFFSET);
    return piece.data() >= first && piece.data() + piece.size() <= end;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::array<uint8_t, 256> info{};
    std::memcpy(info.data(), data, std::min(size, info.size()));

    std::array<std::string_view, 4> lines = SplitBanner(info);
    for (std::string_view line : lines)
        if (!InsideBanner(line, info) || line.find('\0') != std::string_view::npos)
            FuzzFail("pieces lie in the banner, before its NUL");
    constexpr std::array<std::string_view, 3> WORDS = {"Copy", "All", "Version"};
    for (size_t i = 0; i < WORDS.size(); ++i) {
        std::string_view piece = lines[i + 1];
        if (!piece.empty() && piece.substr(0, WORDS[i].size()) != WORDS[i])
            FuzzFail("each piece after the first starts with its word");
    }

    int major = -7;
    int minor = -7;
    int read = ReadUnitVersion(info, major, minor);
    if (read == -1 && (major != -7 || minor != -7))
        FuzzFail("a banner without a version leaves major and minor alone");
    if (read == 0 && (major < 0 || major > MAX_READ_NUMBER || minor < 0 || minor > MAX_READ_NUMBER))
        FuzzFail("version numbers are small and not negative");
    if ((read == 0) != !lines[BANNER_VERSION].empty())
        FuzzFail("a version is read exactly when the banner has a version piece");
    return 0;
}
