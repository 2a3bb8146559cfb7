// The unit's banner text in its data block: four pieces and the version it reports.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

constexpr int BANNER_OFFSET = 128;
constexpr int UNIT_MODE_OFFSET = 255;
constexpr int UNIT_MODE_NORMAL = 0;
constexpr int UNIT_MODE_FIRMWARE_UPDATE = 1;
constexpr int UNIT_MODE_SETUP = 2;

enum BannerLine { BANNER_DESCRIPTION, BANNER_NOTICE, BANNER_RIGHTS, BANNER_VERSION };

// The banner's text: it ends at its NUL or at the unit-mode byte, whichever comes first.
std::string_view BannerText(const std::array<uint8_t, 256>& info);
// Each piece runs from its first word up to the next piece's word ("Copy", "All",
// "Version"), each where it begins a word; a piece whose bounding word is missing is empty.
std::array<std::string_view, 4> SplitBanner(const std::array<uint8_t, 256>& info);

// Reads "Version: M.mm": major from 9 characters after the "V", minor from 11 after it,
// each a decimal number that stops at the first non-digit (0 with no digit). Returns -1
// when there is no version piece, leaving major and minor alone.
int ReadUnitVersion(const std::array<uint8_t, 256>& info, int& major, int& minor);
