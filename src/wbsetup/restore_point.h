// Restore points: before each setup write the setup block the unit held, as read just before,
// is kept as a setup file in a folder of its own, so that opening that file and writing it
// gives the unit its earlier setup back. The newest RESTORE_POINTS_KEPT are kept.
#pragma once

#include "link/link.h"

#include <array>
#include <cstdint>
#include <ctime>
#include <string>

constexpr int RESTORE_POINTS_KEPT = 100;

// "mq6-setup-YYYYMMDD-HHMMSS.json" of the local time when; a second one of the same second is
// "...-HHMMSS-2.json", then "-3" and on, so that none overwrites another.
std::string RestorePointName(const std::string& folder, const std::tm& when);

// Saves the setup block of info as a new restore point in folder, which is made when missing,
// then removes the oldest beyond the newest RESTORE_POINTS_KEPT. 0 with the file in path, or -1
// with the reason in error.
int SaveRestorePoint(const std::string& folder, const std::array<uint8_t, DEVICE_INFO_SIZE>& info,
                     std::string& path, std::string& error);
