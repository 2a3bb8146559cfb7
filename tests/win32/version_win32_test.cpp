// The version resources of mq6wb.exe and mq6.exe, built beside this program, as File Properties
// shows them: the numbers and the text of the one project version.
#include "mq6_version.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

TEST(VersionResource, BothProgramsCarryTheProjectVersion) {
    char self[MAX_PATH];
    std::string folder(self, GetModuleFileNameA(nullptr, self, MAX_PATH));
    for (const char* name : {"mq6wb.exe", "mq6.exe"}) {
        std::string path = folder.substr(0, folder.find_last_of('\\') + 1) + name;
        std::vector<char> data(GetFileVersionInfoSizeA(path.c_str(), nullptr) + 1);
        VS_FIXEDFILEINFO* fixed = nullptr;
        char* text = nullptr;
        UINT size = 0;
        ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, DWORD(data.size()), data.data()) &&
                    VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&fixed), &size) &&
                    VerQueryValueA(data.data(), "\\StringFileInfo\\040904B0\\FileVersion",
                                   reinterpret_cast<void**>(&text), &size))
            << name;
        // The numbers as 16-bit parts: "1.2.3" is 0x00010002 and 0x00030000.
        std::string numbers = std::to_string(fixed->dwFileVersionMS >> 16) + "." +
                              std::to_string(fixed->dwFileVersionMS & 0xFFFF) + "." +
                              std::to_string(fixed->dwFileVersionLS >> 16);
        EXPECT_EQ(numbers + " " + text, std::string(MQ6_VERSION_TEXT) + " " + MQ6_VERSION_TEXT);
    }
}
