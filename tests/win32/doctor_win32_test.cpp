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
    const std::string keys[] = {"SYSTEM\\CurrentControlSet\\Enum\\USB\\Vid_0403&Pid_6001",
                                "SYSTEM\\CurrentControlSet\\Enum\\FTDIBUS",
                                "SYSTEM\\CurrentControlSet\\Services\\FTDIBUS"};
    const std::string entry = keys[1] + "\\Vid_0403+Pid_6001+A10K2QX7A\\0000";
    const std::string parameters = keys[2] + "\\Parameters";
    ASSERT_TRUE(StartWineSim("com7", {}));
    RegSetKeyValueA(HKEY_LOCAL_MACHINE, (keys[0] + "\\A10K2QX7").c_str(), "LocationInformation",
                    REG_SZ, "MQ-6", 5);
    RegSetKeyValueA(HKEY_LOCAL_MACHINE, entry.c_str(), "FriendlyName", REG_SZ,
                    "USB Serial Port (COM7)", 23);
    RegSetKeyValueA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", "\\Device\\VCP0", REG_SZ,
                    "COM7", 5);
    const DWORD retry = 150; // below what any other command would raise it to
    RegSetKeyValueA(HKEY_LOCAL_MACHINE, parameters.c_str(), "RetryResetCount", REG_DWORD, &retry,
                    4);
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
    RegGetValueA(HKEY_LOCAL_MACHINE, parameters.c_str(), "RetryResetCount", RRF_RT_ANY, nullptr,
                 &count, &size);
    EXPECT_EQ(count, retry) << "the driver's parameter was raised";
    StopWineSim();
    // The smoke run that follows in this prefix must find the unit through its own entries.
    for (const std::string& key : keys)
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, key.c_str());
    RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", "\\Device\\VCP0");
}

} // namespace
