// The Recording view's benchmark: writes a one-hour recording at 50 frames a second with the
// recorder's own row writer (180,000 rows, a marker every ten minutes), opens it with the
// view's reader and redraws the view's chart into a real 800 x 600 window through GDI, at the
// whole file and at every zoom step down to 5 s, each scrolled; prints the open's time, the
// slowest and median redraw, and the process's memory against the file's size.
//   mq6wb-review-bench FILE
#include "display/canvas_gdi_win32.h"
#include "display/live_stream.h"
#include "display/recording_view.h"
#include "platform/notice.h"

#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

constexpr long ROWS = 180000;
constexpr double FRAME_S = 0.02;
constexpr long MARK_EVERY = 30000; // ten minutes

double Now() {
    LARGE_INTEGER count, frequency;
    QueryPerformanceCounter(&count);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(count.QuadPart) / static_cast<double>(frequency.QuadPart);
}

PROCESS_MEMORY_COUNTERS_EX Memory() {
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof(counters);
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                         sizeof(counters));
    return counters;
}

long WriteHour(const char* path) {
    std::FILE* file = std::fopen(path, "w");
    if (file == nullptr)
        return -1;
    std::fputs(LIVE_CSV_HEADER.data(), file);
    for (long row = 0; row < ROWS; ++row) {
        double lambda = 1.0 + 0.2 * std::sin(row * FRAME_S * 0.8);
        auto x100 = static_cast<int32_t>(std::lround(lambda * 100));
        LiveSample sample{lambda, x100, static_cast<int32_t>(std::lround(lambda * 147)), 1470};
        LiveCsvRow text;
        size_t length = FormatLiveCsvRow(
            text, row * FRAME_S, sample,
            row % MARK_EVERY == MARK_EVERY / 2 ? static_cast<int>(row / MARK_EVERY + 1) : 0);
        std::fwrite(text.data(), 1, length, file);
    }
    long size = std::ftell(file);
    std::fclose(file);
    return size;
}

// Draws the chart once and waits for GDI to finish it; the seconds taken.
double Redraw(HWND window) {
    double start = Now();
    HDC dc = GetDC(window);
    Canvas canvas = CanvasOnDc(dc);
    DrawReviewChart(&canvas);
    CanvasRestoreObjects(&canvas);
    GdiFlush();
    ReleaseDC(window, dc);
    return Now() - start;
}

} // namespace

// No link runs here: a notice of the core goes to stderr.
int ShowNotice(std::string_view text, std::string_view caption, unsigned) {
    std::fprintf(stderr, "%.*s: %.*s\n", static_cast<int>(caption.size()), caption.data(),
                 static_cast<int>(text.size()), text.data());
    return 1;
}

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: mq6wb-review-bench FILE\n");
        return 2;
    }
    long size = WriteHour(argv[1]);
    if (size < 0)
        return 1;
    WNDCLASSA type{};
    type.lpfnWndProc = DefWindowProcA;
    type.hInstance = GetModuleHandleA(nullptr);
    type.lpszClassName = "MQ6ReviewBench";
    RegisterClassA(&type);
    HWND window = CreateWindowExA(0, type.lpszClassName, "Recording", WS_OVERLAPPEDWINDOW, 0, 0,
                                  800, 600, nullptr, nullptr, type.hInstance, nullptr);
    ShowWindow(window, SW_SHOWNORMAL);
    CanvasCreateFonts(false);

    PROCESS_MEMORY_COUNTERS_EX before = Memory();
    double start = Now();
    RecordingFault fault;
    if (OpenReview(argv[1], fault) != 0) {
        std::fprintf(stderr, "mq6wb-review-bench: %s\n", fault.what.data());
        return 1;
    }
    double opened = Now() - start;
    PROCESS_MEMORY_COUNTERS_EX after = Memory();
    std::vector<double> redraws;
    redraws.push_back(Redraw(window));
    for (int step = 0; ReviewSpan() > REVIEW_MIN_SPAN_S; ++step) {
        ZoomReview(1, 80 + (step * 97) % 600);
        redraws.push_back(Redraw(window));
        ScrollReviewTo(ReviewStart() + ReviewSpan() * 0.37);
        SetReviewCursor(80 + (step * 53) % 600);
        redraws.push_back(Redraw(window));
    }
    std::sort(redraws.begin(), redraws.end());
    auto megabytes = [](double bytes) { return bytes / (1024.0 * 1024.0); };
    std::printf("one hour at 50 frames/s: %zu rows, %zu markers, file %.2f MB\n",
                ReviewRecording().rows.size(), ReviewRecording().markRows.size(),
                megabytes(static_cast<double>(size)));
    std::printf("  open (read, check, keep): %.0f ms\n", opened * 1000);
    std::printf(
        "  redraws from the whole file down to 5 s (%zu): slowest %.1f ms, median %.1f ms\n",
        redraws.size(), redraws.back() * 1000, redraws[redraws.size() / 2] * 1000);
    double held =
        static_cast<double>(after.WorkingSetSize) - static_cast<double>(before.WorkingSetSize);
    std::printf(
        "  memory held by the open recording: working set +%.2f MB (rows %.2f MB), %.2f "
        "of the file's size\n",
        megabytes(held),
        megabytes(static_cast<double>(ReviewRecording().rows.capacity() * sizeof(RecordedRow))),
        held / static_cast<double>(size));
    std::printf("  peak working set while opening: %.2f MB above the %.2f MB before, %.2f of the "
                "file's size\n",
                megabytes(static_cast<double>(after.PeakWorkingSetSize - before.WorkingSetSize)),
                megabytes(static_cast<double>(before.WorkingSetSize)),
                static_cast<double>(after.PeakWorkingSetSize - before.WorkingSetSize) /
                    static_cast<double>(size));
    DestroyWindow(window);
    return 0;
}
