// The configuration file as Windows writes it: CR LF line ends, a longer old file replaced
// whole in one move, and a read-only file left alone with the error box.
#include "link/link.h"
#include "settings/config.h"
#include "support/notice_record.h"
#include "win32/app_driver.h"
#include "win32/wine_sim.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

TEST(ConfigWin32, WritesCrLfInOneMoveOrLeavesAReadOnlyFileAlone) {
    const std::string file = EnvText("TEMP") + "\\mq6-config.cfg",
                      old = "[LAMBFILT] 20\r\n" + std::string(900, '#');
    std::strcpy(ConfigPath.data(), file.c_str());
    for (bool readOnly : {false, true}) {
        ResetLinkState();
        ResetSettings();
        ClearRecordedNotices();
        std::ofstream(file, std::ios::binary) << old;
        ReadConfig();
        SetFileAttributesA(file.c_str(),
                           readOnly ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL);
        WriteConfig();
        EXPECT_EQ(ReadFileText(file), readOnly
                                          ? old
                                          : "[ID] MQ-6 WB Utility\r\n[PORT] COMx\r\n[AUTOPORT] "
                                            "1\r\n[XPOSHWND] -1\r\n[YPOSHWND] -1\r\n[LAMBLOW] "
                                            "0.860000\r\n[LAMBHIGH] 0.880000\r\n[LAMBFILT] 20\r\n");
        WIN32_FIND_DATAA left;
        EXPECT_EQ(FindFirstFileA((file + ".*.tmp").c_str(), &left), INVALID_HANDLE_VALUE);
        EXPECT_EQ(CountNotices(), readOnly ? 1u : 0u);
        SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
    EXPECT_EQ(RecordedNotices.at(0).text + "|" + RecordedNotices[0].caption,
              "Can not open Configuration File: \n\n " + file + "|Configuration File Error");
    DeleteFileA(file.c_str());
}
