// The entry point of the benchmark's utility: the shipped start-up, views and options, a listener
// after the dial's and the history's that notes each change of the readouts, and the message
// loop of the build.
#include "app/startup.h"
#include "bench_win32.h"
#include "display/live_stream.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace {
HANDLE BenchLog() {
    static const HANDLE log = [] {
        const char* path = std::getenv("MQ6WB_BENCH_LOG");
        if (path == nullptr)
            return INVALID_HANDLE_VALUE;
        return CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    }();
    return log;
}
std::mutex BenchLogLock;

// Notes the moment a changed readout is on the window.
void NoteLiveReadouts(const LiveSample& sample) {
    static int32_t shownLambda = -1;
    static int32_t shownAfr = -1;
    GdiFlush();
    if (sample.lambdaX100 == shownLambda && sample.afrX10 == shownAfr)
        return;
    shownLambda = sample.lambdaX100;
    shownAfr = sample.afrX10;
    BenchNote('D', shownLambda, shownAfr);
}

int RunPollingLoop() {
    for (;;) {
        int exitCode = 0;
        if (MessageLoopPass(&exitCode) != 0)
            return exitCode;
        Sleep(1);
    }
}
} // namespace

bool BenchLogging() {
    return BenchLog() != INVALID_HANDLE_VALUE;
}

void BenchNote(char kind, int a, int b) {
    FILETIME now;
    GetSystemTimePreciseAsFileTime(&now);
    // FILETIME counts 100 ns from 1601; 11644473600 s lie between 1601 and 1970.
    constexpr unsigned long long EPOCH_1970 = 116444736000000000ULL;
    unsigned long long ticks =
        (static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    std::array<char, 64> line;
    int length = std::snprintf(line.data(), line.size(), "%c %llu %d %d\n", kind,
                               (ticks - EPOCH_1970) * 100, a, b);
    if (length <= 0 || !BenchLogging())
        return;
    std::lock_guard<std::mutex> hold(BenchLogLock);
    DWORD written = 0;
    WriteFile(BenchLog(), line.data(), static_cast<DWORD>(length), &written, nullptr);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR arguments, int showCommand) {
    BuildModuleConfigPath();
    int exitCode = 0;
    if (StartApplication(instance, showCommand) != 0) {
        if (BenchLogging())
            AddLiveListener(NoteLiveReadouts);
        ApplyStartArguments(arguments != nullptr ? arguments : "");
        exitCode = BenchPolling() ? RunPollingLoop() : RunMessageLoop();
    }
    FinishApplication();
    return exitCode;
}
