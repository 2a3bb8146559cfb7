// The version resources of mq6wb.exe and mq6.exe, built beside this program, as File
// Properties shows them: the numbers and the text of the one project version.
#include "mq6_version.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::string BesideThisProgram(const char* name) {
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string text(path, length);
    return text.substr(0, text.find_last_of("\\/") + 1) + name;
}

TEST(VersionResource, BothProgramsCarryTheProjectVersion) {
    unsigned major = 0, minor = 0, patch = 0;
    ASSERT_EQ(std::sscanf(MQ6_VERSION_TEXT, "%u.%u.%u", &major, &minor, &patch), 3);
    for (const char* name : {"mq6wb.exe", "mq6.exe"}) {
        SCOPED_TRACE(name);
        std::string path = BesideThisProgram(name);
        DWORD ignored = 0;
        DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
        ASSERT_GT(size, 0u);
        std::vector<char> data(size);
        ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, data.data()));
        VS_FIXEDFILEINFO* fixed = nullptr;
        UINT length = 0;
        ASSERT_TRUE(VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
        EXPECT_EQ(fixed->dwFileVersionMS, (major << 16) | minor);
        EXPECT_EQ(fixed->dwFileVersionLS, patch << 16);
        EXPECT_EQ(fixed->dwProductVersionMS, (major << 16) | minor);
        char* text = nullptr;
        ASSERT_TRUE(VerQueryValueA(data.data(), "\\StringFileInfo\\040904B0\\FileVersion",
                                   reinterpret_cast<void**>(&text), &length));
        EXPECT_STREQ(text, MQ6_VERSION_TEXT);
    }
}

} // namespace
