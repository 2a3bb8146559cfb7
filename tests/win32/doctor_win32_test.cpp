// mq6.exe doctor in the Wine prefix: the latency timer of the adapter that the registry search
// finds, read from the FTDI driver's device parameters, and nothing written to the registry.
#include "win32/wine_helpers.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace {

// The report of mq6.exe, which is built beside this test.
std::string RunDoctor() {
    std::string exe(MAX_PATH, '\0');
    exe.resize(GetModuleFileNameA(nullptr, exe.data(), MAX_PATH));
    exe = exe.substr(0, exe.find_last_of('\\') + 1) + "mq6.exe";
    FILE* pipe = _popen(("\"" + exe + "\" doctor --json --seconds 0.5").c_str(), "r");
    std::string out;
    for (int c = 0; pipe != nullptr && (c = std::fgetc(pipe)) != EOF;)
        out += static_cast<char>(c);
    if (pipe != nullptr)
        _pclose(pipe);
    return out;
}

TEST(DoctorWin32, ReadsTheFoundAdaptersLatencyTimerAndWritesNothing) {
    ASSERT_TRUE(StartWineSim("com7", {}));
    const std::string entry = AddRegistryUnit(true);
    const std::pair<DWORD, const char*> rows[] = {{16, "warn"}, {1, "ok"}};
    for (const auto& [latency, status] : rows) {
        SCOPED_TRACE(latency);
        RegSetKeyValueA(HKEY_LOCAL_MACHINE, (entry + "\\Device Parameters").c_str(), "LatencyTimer",
                        REG_DWORD, &latency, 4);
        std::string out = RunDoctor();
        size_t at = out.find("\"name\": \"latency\"");
        std::string check = out.substr(at == out.npos ? 0 : at, out.find("\"name\"", at + 1) - at);
        EXPECT_NE(check.find(std::string("\"status\": \"") + status + "\""), out.npos) << out;
        EXPECT_NE(check.find("\"latency_timer_ms\": " + std::to_string(latency)), out.npos);
        EXPECT_NE(out.find("\"detail\": \"COM7, found by the registry search"), out.npos) << out;
    }
    DWORD count = 0, size = sizeof count;
    // 150 is below what any other command would raise it to.
    RegGetValueA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\FTDIBUS\\Parameters",
                 "RetryResetCount", RRF_RT_ANY, nullptr, &count, &size);
    EXPECT_EQ(count, 150u) << "the driver's parameter was raised";
    StopWineSim();
    RemoveRegistryUnit();
}

} // namespace
