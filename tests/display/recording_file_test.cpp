// Recordings read back: good and bad files written here, the figures of a hand-made recording,
// and its chart through the recording canvas (x = 80 + the column, y = 380 - 5 per hundredth
// above 0.68).
#include "display/recording_view.h"
#include "display/review_input.h"
#include "firmware/test_files.h"
#include "settings/config.h"
#include "support/canvas_record.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>

namespace {

const std::string HEAD5 = "time_s,lambda,afr,lambda_raw,stoich\n";
const std::string HEAD6 = "time_s,lambda,afr,lambda_raw,stoich,mark\n";
const std::string ROW = "0.000,0.90,13.2,0.9000,14.70";

// Each file: the line refused (-1: read) with the words of the fault, or the rows, markers and
// gaps (rows more than 0.6 s apart: 343.934 - 343.334 is 0.600, none).
TEST(RecordingFileTest, GoodFilesReadAndBadOnesAreRefusedAtTheirLine) {
    TempDir dir;
    const std::string at = ",0.90,13.2,0.9000,14.70,\n";
    const std::tuple<const char*, std::string, long, const char*, size_t, size_t> rows[] = {
        {"five columns, older files", HEAD5 + ROW + "\n1.5,1.00,14.7,1.0,14.70\n", -1, "gaps 1", 2,
         0},
        {"six, CR LF, a marker",
         "time_s,lambda,afr,lambda_raw,stoich,mark\r\n" + ROW + ",\r\n" +
             "0.020,0.91,13.4,0.9100,14.70,65535\r\n",
         -1, "gaps 0", 2, 1},
        {"gaps to the millisecond",
         HEAD6 + "0.000" + at + "0.600" + at + "343.334" + at + "343.934" + at, -1, "gaps 1", 4, 0},
        {"last row cut short", HEAD6 + ROW + ",\n0.020,0.9", -1, "", 1, 0},
        {"last row whole, no line end", HEAD6 + ROW + ",\n0.020,0.91,13.4,0.9100,14.70,", -1, "", 2,
         0},
        {"blank lines at the end", HEAD6 + ROW + ",\r\n\r\n\n", -1, "", 1, 0},
        {"byte-order mark", "\xEF\xBB\xBF" + HEAD6 + ROW + ",\n", -1, "", 1, 0},
        {"equal times", HEAD6 + ROW + ",2\n" + ROW + ",\n", -1, "", 2, 1},
        {"empty", "", 0, "empty", 0, 0},
        {"header only", HEAD6, 2, "no rows", 0, 0},
        {"header cut short", "time_s,lambda", 1, "not the header", 0, 0},
        {"binary", std::string("\177ELF\2\1\1\0\0\0", 10), 1, "not the header", 0, 0},
        {"field missing", HEAD6 + ROW + ",\n0.020,0.91,13.4,0.9100\n", 3, "missing", 0, 0},
        {"field too many", HEAD5 + ROW + ",\n", 2, "too many", 0, 0},
        {"blank line", HEAD6 + ROW + ",\n\n" + ROW + ",\n", 3, "missing", 0, 0},
        {"lambda 100, no sensor's", HEAD6 + "0.000,100,13.2,0.9000,14.70,\n", 2, "in lambda", 0, 0},
        {"text for time", HEAD6 + "0:00,0.90,13.2,0.9000,14.70,\n", 2, "in time_s", 0, 0},
        {"text for stoich", HEAD6 + "0.0,0.90,13.2,0.9000,petrol,\n", 2, "in stoich", 0, 0},
        {"AFR of 1000", HEAD6 + "0.0,0.90,1000,0.9000,14.70,\n", 2, "in afr", 0, 0},
        {"raw past a million", HEAD6 + "0.0,0.90,13.2,-2e6,14.70,\n", 2, "in lambda_raw", 0, 0},
        {"not a marker", HEAD6 + ROW + ",x\n", 2, "marker", 0, 0},
        {"a time no recorder reaches", HEAD6 + ROW + ",\n1e15,0.90,13.2,0.9,14.7,\n", 3, "outside",
         0, 0},
        {"time going back", HEAD6 + "5.0,0.90,13.2,0.9,14.7,\n4.9,0.90,13.2,0.9,14.7,\n", 3,
         "goes back", 0, 0},
    };
    for (const auto& [name, text, line, what, count, marks] : rows) {
        SCOPED_TRACE(name);
        WriteText(dir.File("r.csv"), text);
        Recording recording;
        RecordingFault fault;
        EXPECT_EQ(ReadRecording(dir.File("r.csv").c_str(), recording, fault), line < 0 ? 0 : -1);
        EXPECT_EQ(OpenReview(dir.File("r.csv").c_str(), fault), line < 0 ? 0 : -1);
        EXPECT_EQ(line < 0 ? -1 : fault.line, line);
        std::string got =
            line < 0 ? "gaps " + std::to_string(FigureRows(recording, 0, count, {0.86, 0.88}).gaps)
                     : fault.what.data();
        EXPECT_TRUE(Has(got, what)) << got;
        EXPECT_EQ(recording.rows.size(), count);
        EXPECT_EQ(recording.markRows.size(), marks);
    }
    // Files refused as a whole: no line.
    std::filesystem::resize_file(dir.File("r.csv"), (uint64_t{1} << 30) + 1);
    mkfifo(dir.File("fifo").c_str(), 0600);
    const std::pair<std::string, const char*> whole[] = {{dir.path, "it is a folder"},
                                                         {dir.File("fifo"), "it is a device"},
                                                         {dir.File("r.csv"), "larger than 1 GB"},
                                                         {dir.File("none"), "No such"}};
    for (const auto& [path, what] : whole) {
        Recording recording;
        RecordingFault fault;
        EXPECT_EQ(ReadRecording(path.c_str(), recording, fault), -1);
        std::array<char, 300> text{};
        FormatRecordingFault("r.csv", fault, text.data(), text.size());
        EXPECT_EQ(std::string(text.data()).find(std::string("r.csv: ") + what), 0u) << text.data();
    }
}

// Eight rows by hand, band 0.86 to 0.88: in it 0.86, 0.87, 0.88, 0.88 (4 of 8), leaner 0.90
// and 0.95, richer 0.80 and 0.85; the mean is 6.99 / 8. Rows 0.7 s and 1.5 s after the one
// before are gaps, 0.5 s is not; a window that starts after a gap does not count it.
const std::string HAND = HEAD6 + "0.000,0.80,11.8,0.8010,14.70,\n0.200,0.86,12.6,0.8600,14.70,\n"
                                 "0.400,0.87,12.8,0.8700,14.70,\n1.100,0.88,12.9,0.8800,14.70,1\n"
                                 "1.300,0.90,13.2,0.9000,14.70,\n1.800,0.95,14.0,0.9500,14.70,\n"
                                 "2.000,0.85,12.5,0.8500,14.70,2\n3.500,0.88,12.9,0.8800,14.70,\n";

TEST(RecordingFileTest, FiguresOfAHandMadeRecording) {
    Recording recording;
    RecordingFault fault;
    ASSERT_EQ(ParseRecording(HAND, recording, fault), 0) << fault.what.data();
    // rows, duration, gaps, longest, min, max, mean, in, lean, rich
    const std::tuple<size_t, size_t, TargetBand, std::array<double, 10>> rows[] = {
        {0, 8, {0.86, 0.88}, {8, 3.5, 2, 1.5, 0.80, 0.95, 0.87375, 0.5, 0.25, 0.25}},
        {3, 6, {0.86, 0.88}, {3, 0.7, 0, 0, 0.88, 0.95, 0.91, 1.0 / 3, 2.0 / 3, 0}},
        {4, 8, {0.90, 0.95}, {4, 2.2, 1, 1.5, 0.85, 0.95, 0.895, 0.5, 0, 0.5}},
        {5, 5, {0.86, 0.88}, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
    };
    for (const auto& [first, end, band, want] : rows) {
        SCOPED_TRACE(first);
        RecordingFigures f = FigureRows(recording, first, end, band);
        std::array<double, 10> got = {double(f.rows), f.durationS, double(f.gaps), f.longestGapS,
                                      f.lambdaMin,    f.lambdaMax, f.lambdaMean,   f.shareInBand,
                                      f.shareLean,    f.shareRich};
        for (size_t i = 0; i < got.size(); ++i)
            EXPECT_NEAR(got[i], want[i], 1e-9) << i;
    }
}

// 75 s over 600 columns: 0.125 s a column. The hand-made rows at 0.0 to 3.5 s and a last one at
// 75 s: 0.80 at (80, 320), 0.86 at column 1 (81, 290); the 0.7 s gap before 1.1 s (column 8)
// breaks the trace; marker 1 at 1.1 s is a line at x 88 numbered "1", marker 2 at 2.0 s at x
// 96. The cursor at x 80, the first column, reads the row at 0 s, at x 87 (no row of its own)
// still that of 0.4 s; the figures, centred under the chart, count all nine rows: in the band
// 0.70 to 0.80 only 0.80 (1 of 9), the other 8 of 9 leaner.
TEST(RecordingFileTest, TheChartOfARecordingAtItsPixels) {
    TempDir dir;
    WriteText(dir.File("pull.csv"), HAND + "75.000,0.88,12.9,0.8800,14.70,\n");
    // Written at 2026-01-01 01:01:15 UTC (1767225600 is that day's midnight): started 75 s before.
    std::filesystem::last_write_time(dir.File("pull.csv"),
                                     std::chrono::file_clock::from_sys(std::chrono::sys_seconds{
                                         std::chrono::seconds{1767225600 + 3600 + 75}}));
    setenv("TZ", "UTC", 1);
    tzset();
    RecordingFault fault;
    ASSERT_EQ(OpenReview(dir.File("pull.csv").c_str(), fault), 0) << fault.what.data();
    TargetLow = 0.70, TargetHigh = 0.80;
    ClearCanvasCalls();
    SetReviewCursor(87);
    DrawReviewChart(CanvasOpenWindow());
    SetReviewCursor(80);
    PaintReviewView(CanvasOpenWindow());
    std::string trace, marks, texts;
    for (const CanvasCall& call : CanvasCalls) {
        std::string at = std::to_string(call.args[0]) + "," + std::to_string(call.args[1]);
        if (call.state.penColour == Rgb(210, 20, 10) && call.op != CanvasOp::TEXT)
            trace += (call.op == CanvasOp::MOVE_TO ? "m" : "") + at + " ";
        if (call.state.penColour == Rgb(0, 80, 200) && call.op == CanvasOp::LINE_TO)
            marks += at + ">" + std::to_string(call.args[3]) + " ";
        if (call.op == CanvasOp::TEXT) // the figures centred under the chart
            texts += call.text + (call.text.starts_with("Lowest") ? "@" + at : "") + "|";
    }
    // A dot at 80, lines on to 81 and 83, a move across the gap to 88.
    EXPECT_EQ(trace.substr(0, 45), "m80,320 80,320 m80,320 80,320 81,290 m88,280 ") << trace;
    EXPECT_EQ(marks, "88,60>380 96,60>380 88,60>380 96,60>380 ") << marks; // two draws
    for (const char* text :
         {"Recording: pull.csv|Started 2026-01-01 01:00:00, length 0:01:15, 9 "
          "rows, 2 markers|",
          "|1|", "|2|", "|0 s|10 s|20 s|30 s|40 s|50 s|1:00|1:10|",
          "|0.400 s  lambda 0.87|AFR 12.8  raw 0.8700|",
          "|0.000 s  lambda 0.80|AFR 11.8  raw 0.8010|",
          "Lowest 0.80   Highest 0.95   Mean 0.87@380,420", "In band 11%   Leaner 89%   Richer 0%"})
        EXPECT_TRUE(Has(texts, text)) << text << " in " << texts;
    // At x 514 the cursor's lines (the row of 3.5 s, 20 characters of 8 pixels) end on the
    // chart's last column, 514 + 6 + 160 = 680: they fit on its right.
    ClearCanvasCalls();
    SetReviewCursor(514);
    DrawReviewChart(CanvasOpenWindow());
    std::string beside;
    for (const CanvasCall& call : CanvasCalls)
        if (call.op == CanvasOp::TEXT && call.args[0] == 520)
            beside += call.text + "|";
    EXPECT_EQ(beside, "3.500 s  lambda 0.88|AFR 12.9  raw 0.8800|");
}

// Rows every 0.5 s over 120 s, markers 1 and 2 at 20 s and 50 s, 30 s on screen: a marker
// exactly at the middle is neither the next nor the previous one.
TEST(RecordingFileTest, MarkersFoundFromTheMiddleOfTheScreenAndTimeLinesOnRoundTimes) {
    TempDir dir;
    std::string text = HEAD6;
    for (int i = 0; i <= 240; ++i)
        text += std::to_string(i / 2) + (i % 2 ? ".5" : ".0") + ",0.90,13.2,0.9000,14.70," +
                (i == 40 ? "1" : "") + (i == 100 ? "2" : "") + "\n";
    WriteText(dir.File("markers.csv"), text);
    RecordingFault fault;
    ASSERT_EQ(OpenReview(dir.File("markers.csv").c_str(), fault), 0) << fault.what.data();
    ZoomReview(2, -1);
    // start before, direction: the marker's number, the start after (-1: unchanged)
    const double rows[][4] = {{5, 1, 2, 35},  {5, -1, 0, -1}, {35, -1, 1, 5},
                              {35, 1, 0, -1}, {4.5, 1, 1, 5}, {36, -1, 2, 35}};
    for (const auto& [start, direction, mark, after] : rows) {
        SCOPED_TRACE(start + direction / 10);
        ScrollReviewTo(start);
        EXPECT_EQ(JumpToMarker(int(direction)), int(mark));
        EXPECT_EQ(ReviewStart(), after < 0 ? start : after);
    }
    // From a marker shown, the next and previous in turn, and none past the last.
    ScrollReviewTo(0);
    EXPECT_EQ((std::vector{JumpToMarker(1), JumpToMarker(1), JumpToMarker(1), JumpToMarker(-1)}),
              (std::vector{1, 2, 0, 1}));
    EXPECT_EQ(ReviewStart(), 5);
    // The view's input from there: Right a tenth of the screen, Page Down a screen, End the last
    // 30 s, Page Up, Left, Home; N, N and P to the markers; - 60 s about the middle 20 s (from 0),
    // + about 30 s, = as +. Each input: a key (L, R, U, D, H, E for Left, Right, Page Up, Page
    // Down, Home, End) or a character, then the start and span after it.
    const std::string_view inputs = "RDEULHnNp-+=";
    const double after[][2] = {{8, 30}, {38, 30}, {90, 30}, {60, 30}, {57, 30}, {0, 30},
                               {5, 30}, {35, 30}, {5, 30},  {0, 60},  {15, 30}, {22.5, 15}};
    for (size_t i = 0; i < inputs.size(); ++i) {
        SCOPED_TRACE(inputs[i]);
        size_t key = std::string_view("LRUDHE").find(inputs[i]);
        EXPECT_EQ(key < 6 ? ReviewKey(ViewKey(key)) : ReviewCharacter(inputs[i]),
                  VIEW_INPUT_REDRAW);
        EXPECT_EQ(std::pair(ReviewStart(), ReviewSpan()), std::pair(after[i][0], after[i][1]));
    }

    // An hour on screen: a time line every 10 minutes (every 5 would make twelve, over eight), and
    // none for 60:00, which falls on the chart's right edge (x 680, 3600 s of 6 s columns).
    text = HEAD6;
    for (int i = 0; i <= 60; ++i)
        text += std::to_string(i * 60) + ",0.90,13.2,0.9000,14.70,\n";
    WriteText(dir.File("hour.csv"), text);
    ASSERT_EQ(OpenReview(dir.File("hour.csv").c_str(), fault), 0) << fault.what.data();
    auto labels = [] { // each draw's labels after the last's
        Canvas* canvas = CanvasOpenWindow();
        DrawReviewChart(canvas);
        CanvasCloseWindow(canvas); // the recorder has eight contexts
        std::string texts;
        for (const CanvasCall& call : CanvasCallsOf(CanvasOp::TEXT))
            texts += call.text + "|";
        return texts;
    };
    EXPECT_TRUE(Has(labels(), "|0 s|10:00|20:00|30:00|40:00|50:00|Lowest")) << labels();
    PaintReviewView(CanvasOpenWindow());
    EXPECT_TRUE(Has(labels(), ", length 1:00:00, 61 rows, 0 markers|"));
    // Zoomed in about the middle: one step, 1800 s from 900 s, a line every 5 minutes; two, 900 s
    // from 1350 s, a line every 2 minutes; four, 225 s from 1687.5 s, a line every 30 s.
    for (auto [steps, times] : {std::pair(1, "|15:00|20:00|25:00|30:00|35:00|40:00|"),
                                {1, "|24:00|26:00|28:00|30:00|32:00|34:00|36:00|"},
                                {2, "|28:30|29:00|29:30|30:00|30:30|31:00|31:30|"}}) {
        ZoomReview(steps, -1);
        EXPECT_TRUE(Has(labels(), times)) << labels();
    }
}

} // namespace
