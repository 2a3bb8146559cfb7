// mq6 live: the unit's live lambda and AFR from the live stream, decoded and smoothed as the
// utility's display does, written as CSV rows or shown as one updating line.
#include "cli/cli.h"
#include "cli/live_loop.h"
#include "display/lambda_scale.h"
#include "display/live_stream.h"
#include "link/link.h"
#include "platform/notice.h"
#include "settings/file_replace.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {
// A unit that sends no good frame for this long is taken to be gone.
constexpr double SILENCE_LIMIT_S = 10.0;
// Good frames further apart than LIVE_LOST_GAP_S (live_loop.h), and than a few of the unit's
// own intervals, mean rows were lost: the stream was broken (another program on the port, a
// reopened link).
constexpr double LOST_GAP_INTERVALS = 4.0;
constexpr int BAR_WIDTH = 20;

using Clock = std::chrono::steady_clock;

struct LiveRun {
    std::string csvPath; // the file to write once the unit streams; empty: none or stdout
    std::FILE* csv = nullptr;
    bool line = false; // the updating line on the terminal
    bool lineShown = false;
    size_t lineWidth = 0; // of the text the line shows now
    long count = 0;       // 0: no limit
    long frames = 0;
    int marks = 0;       // markers set with Enter
    int pendingMark = 0; // the marker the next row carries
    int output = ROWS_OK;
    int writeError = 0;      // errno of the write that failed
    std::string openFailure; // why the file could not be opened, as the system said
    bool linkLost = false;
    bool silenceReported = false;
    bool echoQuiet = false; // Enter is not echoed on the terminal during the run
    double shortestInterval = SILENCE_LIMIT_S;
    double longestGap = 0.0;
    Clock::time_point start;
    Clock::time_point lastFrame;
};
LiveRun Run;

double SecondsSince(Clock::time_point then) {
    return std::chrono::duration<double>(Clock::now() - then).count();
}

// The file is opened, and its header written, at the first good frame, so that a run that
// never streams leaves a file of that name as it was.
void WriteCsvRow(double seconds, const LiveSample& sample) {
    if (Run.csv == nullptr) {
        // As every file the programs write: a link followed, a device or FIFO written as it is.
        FileReason reason{};
        Run.csv = OpenForWriting(Run.csvPath.c_str(), reason);
        if (Run.csv == nullptr)
            Run.openFailure = reason.data();
        errno = 0;
        Run.output = Run.csv == nullptr ? ROWS_FAILED : WriteRows(Run.csv, LIVE_CSV_HEADER);
        Run.writeError = errno;
        if (Run.output != ROWS_OK)
            return;
    }
    LiveCsvRow row;
    size_t length = FormatLiveCsvRow(row, seconds, sample, Run.pendingMark);
    Run.pendingMark = 0;
    Run.output = WriteRows(Run.csv, std::string_view(row.data(), length));
    Run.writeError = errno;
}

void ReportWriteFailure(const char* what) {
    if (!Run.openFailure.empty())
        std::fprintf(stderr, "mq6: cannot write %s: %s\n", what, Run.openFailure.c_str());
    else if (Run.writeError != 0)
        std::fprintf(stderr, "mq6: cannot write %s: %s\n", what, std::strerror(Run.writeError));
    else
        std::fprintf(stderr, "mq6: cannot write %s\n", what);
}

// Draws the line's text over the one shown, blanking what a wider text left beyond it.
void ShowLine(const std::string& text) {
    size_t blanks = Run.lineWidth > text.size() ? Run.lineWidth - text.size() : 0;
    std::printf("\r%s%*s", text.c_str(), static_cast<int>(blanks), "");
    std::fflush(stdout);
    Run.lineWidth = text.size();
    Run.lineShown = true;
}

std::string MarkerText() {
    return Run.marks > 0 ? "marker " + std::to_string(Run.marks) + " " : std::string();
}

void DrawLine(const LiveSample& sample) {
    double share = (sample.lambdaX100 * 0.01 - ScaleMin) / (ScaleMax - ScaleMin);
    int filled = std::clamp(static_cast<int>(share * BAR_WIDTH + 0.5), 0, BAR_WIDTH);
    std::string bar(static_cast<size_t>(filled), '#');
    bar.resize(BAR_WIDTH, '-');
    std::array<char, 64> values{};
    std::snprintf(values.data(), values.size(), "lambda %d.%02d  AFR %2d.%d  [",
                  sample.lambdaX100 / 100, sample.lambdaX100 % 100, sample.afrX10 / 10,
                  sample.afrX10 % 10);
    ShowLine(values.data() + bar + "] " + MarkerText());
}

// The line once the values are stale (no good frame for 2 s, the port closed), as the
// utility's dial shows dashes: a reading that old must not stay on the screen.
void OnLiveStale() {
    if (Run.line)
        ShowLine("lambda -.--  AFR --.-  [" + std::string(BAR_WIDTH, ' ') + "] " + MarkerText());
}

// Ends the updating line, so that what follows starts on a line of its own.
void EndLine() {
    if (!Run.lineShown)
        return;
    std::fputc('\n', stdout);
    Run.lineShown = false;
    Run.lineWidth = 0;
}

void OnLiveFrame(const LiveSample& sample) {
    if ((Run.count > 0 && Run.frames >= Run.count) || Run.output != ROWS_OK)
        return;
    Clock::time_point now = Clock::now();
    if (Run.frames > 0) {
        double interval = std::chrono::duration<double>(now - Run.lastFrame).count();
        Run.shortestInterval = std::min(Run.shortestInterval, interval);
        Run.longestGap = std::max(Run.longestGap, interval);
    }
    ++Run.frames;
    Run.lastFrame = now;
    if (Run.csv != nullptr || !Run.csvPath.empty())
        WriteCsvRow(std::chrono::duration<double>(now - Run.start).count(), sample);
    if (Run.line)
        DrawLine(sample);
}

// After each pass: a marker, the output, the count and the unit's silence.
int AfterLivePass(bool timeUp, double& waitSeconds) {
    // Enter on the terminal marks the next row. Its echo is off while the run takes it; where
    // it could not be, the echo has moved the line down.
    if (TakeEnterPresses() > 0 && (Run.csv != nullptr || !Run.csvPath.empty())) {
        Run.pendingMark = Run.pendingMark != 0 ? Run.pendingMark : ++Run.marks;
        if (!Run.echoQuiet) {
            Run.lineShown = false;
            Run.lineWidth = 0;
        }
    }
    Run.linkLost = Run.linkLost || PortOpen.load(std::memory_order_acquire) == 0;
    if (Run.output == ROWS_READER_GONE)
        return EXIT_OK;
    if (Run.output == ROWS_FAILED) {
        EndLine();
        ReportWriteFailure(Run.csvPath.empty() ? "the CSV output" : Run.csvPath.c_str());
        return EXIT_FAILED;
    }
    if (Run.count > 0 && Run.frames >= Run.count)
        return EXIT_OK;
    if (timeUp)
        return LIVE_RUN_GOES_ON;
    if (SecondsSince(Run.lastFrame) >= SILENCE_LIMIT_S) {
        EndLine();
        std::fprintf(stderr, "mq6: no live data from the unit for %.0f s\n", SILENCE_LIMIT_S);
        Run.silenceReported = true;
        return EXIT_FAILED;
    }
    waitSeconds = std::min(waitSeconds, SILENCE_LIMIT_S - SecondsSince(Run.lastFrame));
    return LIVE_RUN_GOES_ON;
}

// A unit left in its loader by a cut update sends no live data: its data block (which the
// loader answers too) says so, and which command finishes the job. A unit that sent nothing at
// all is first asked once in the loader's words, so that a silent one costs half a second.
void ExplainSilence(bool unitSilent) {
    if (unitSilent && LoaderReadDataBlock(nullptr, 0) != 0) {
        ShowNotice(DATA_ERROR_TEXT, DATA_ERROR_CAPTION, NOTICE_ERROR_ICON); // as the read says
        return;
    }
    if (GetDeviceData() == 0)
        ReportUnfinishedJob();
}

// A run whose rows have a hole says so: the rows are not the whole of what the unit sent.
int ReportLostRows(int result) {
    bool gap = Run.longestGap > LIVE_LOST_GAP_S &&
               Run.longestGap > LOST_GAP_INTERVALS * Run.shortestInterval;
    if (result != EXIT_OK || Run.output == ROWS_READER_GONE || (!gap && !Run.linkLost))
        return result;
    EndLine();
    if (Run.linkLost)
        std::fprintf(stderr,
                     "mq6: rows lost: the link to the unit broke and was opened again during "
                     "the run (the longest gap %.1f s)\n",
                     Run.longestGap);
    else
        std::fprintf(stderr,
                     "mq6: rows lost: no live data for %.1f s during the run (is another program "
                     "using the port?)\n",
                     Run.longestGap);
    return EXIT_FAILED;
}

int StreamRows(const LiveOptions& options) {
    LiveInterrupts interrupts;
    if (Run.csv == stdout)
        Run.output = WriteRows(stdout, LIVE_CSV_HEADER);
    Run.echoQuiet = QuietEnterEcho();
    Run.start = Clock::now();
    Run.lastFrame = Run.start;
    LiveLoop loop;
    loop.responseRate = options.responseRate;
    loop.seconds = options.seconds;
    loop.onFrame = OnLiveFrame;
    loop.onStale = OnLiveStale;
    loop.afterPass = AfterLivePass;
    LiveLoopEnd end = RunLiveLoop(loop);
    if (Run.echoQuiet)
        RestoreEnterEcho();
    int result = end.result;
    if (result == LIVE_RUN_ENDED && Run.frames == 0) {
        EndLine();
        std::fputs("mq6: no live data from the unit\n", stderr);
        Run.silenceReported = true;
    }
    if (Run.silenceReported) {
        ExplainSilence(end.unitSilent);
        result = EXIT_FAILED;
    }
    if (result == LIVE_RUN_ENDED) {
        // The time since the last frame is a gap too, however the run ended.
        Run.longestGap = std::max(Run.longestGap, SecondsSince(Run.lastFrame));
        result = EXIT_OK;
    }
    EndLine();
    return ReportLostRows(result);
}
} // namespace

int RunLive(const LiveOptions& options) {
    bool terminal = isatty(STDOUT_FILENO) != 0;
    Run = LiveRun{};
    Run.count = options.count;
    if (options.csvPath == "-" || (options.csvPath.empty() && !terminal))
        Run.csv = stdout;
    else
        Run.csvPath = options.csvPath;
    Run.line = terminal && Run.csv != stdout;

    int result = ConnectUnit();
    if (result == EXIT_OK) {
        result = StreamRows(options);
        DisconnectUnit();
    }
    errno = 0;
    if (Run.csv != nullptr && Run.csv != stdout && std::fclose(Run.csv) != 0 && result == EXIT_OK) {
        Run.writeError = errno;
        ReportWriteFailure(options.csvPath.c_str());
        result = EXIT_FAILED;
    }
    Run.csv = nullptr;
    return result;
}
