// The recording's reader over arbitrary file contents. A file read holds rows whose time never
// goes back, its markers point at rows that carry them, and the figures of any stretch are in
// range with shares that add up to the whole; a file refused leaves nothing behind.
#include "fuzz_support.h"

#include "display/recording_file.h"

#include <cmath>
#include <string_view>

namespace {
void CheckFigures(const Recording& recording, size_t first, size_t end) {
    RecordingFigures figures = FigureRows(recording, first, end, {0.86, 0.88});
    if (figures.rows == 0)
        return;
    if (std::fabs(figures.shareInBand + figures.shareLean + figures.shareRich - 1.0) > 1e-9 ||
        figures.lambdaMin > figures.lambdaMean + 1e-9 ||
        figures.lambdaMean > figures.lambdaMax + 1e-9 || figures.durationS < 0 ||
        figures.gaps >= figures.rows || figures.longestGapS > figures.durationS + 1e-3)
        FuzzFail("the figures of a stretch are in range and their shares add up to one");
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Recording recording;
    RecordingFault fault;
    std::string_view text(reinterpret_cast<const char*>(data), size);
    if (ParseRecording(text, recording, fault) != 0) {
        if (!recording.rows.empty() || !recording.markRows.empty() || fault.what[0] == '\0' ||
            fault.line < 0)
            FuzzFail("a refused file keeps no rows and says what is wrong");
        return 0;
    }
    if (recording.rows.empty())
        FuzzFail("a file read has rows");
    for (size_t index = 1; index < recording.rows.size(); ++index)
        if (recording.rows[index].seconds < recording.rows[index - 1].seconds)
            FuzzFail("time_s never goes back");
    size_t marked = 0;
    for (const RecordedRow& row : recording.rows)
        marked += row.mark != 0;
    if (marked != recording.markRows.size())
        FuzzFail("every marked row is listed once");
    for (uint32_t index : recording.markRows)
        if (index >= recording.rows.size() || recording.rows[index].mark == 0)
            FuzzFail("a listed marker is a marked row");
    CheckFigures(recording, 0, recording.rows.size());
    CheckFigures(recording, recording.rows.size() / 3, recording.rows.size() / 2 + 1);
    return 0;
}
