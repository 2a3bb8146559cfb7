// The Firmware Update view's text. The unit's version is kept from the last paint that found
// one, so a data block without a version line still gets the verdict of the last one known.
#include "firmware/firmware_paint.h"

#include "display/status_line.h"
#include "firmware/banner.h"
#include "firmware/firmware_image.h"
#include "firmware/programming.h"
#include "firmware/unfinished_job.h"
#include "firmware/verdict.h"

#include <cstdio>
#include <string_view>

std::atomic<int32_t> UpdateAllowed{0};

namespace {

// Painting runs on the main thread only. The version is kept for the port's opening it was read
// on: a block of another opening (perhaps another unit) without a version line has none.
int UnitMajor = 0;
int UnitMinor = 0;
uint32_t UnitOpening = 0;

// The unit group box, which the banner lines and the version and verdict are centred in.
constexpr int BOX_LEFT = 60;
constexpr int BOX_WIDTH = 660;

struct BannerRow {
    BannerLine line;
    int y;
};
// Drawn in this order; a piece whose bounding words are not both found is empty.
constexpr std::array<BannerRow, 4> BannerRows = {{
    {BANNER_VERSION, 170},
    {BANNER_RIGHTS, 140},
    {BANNER_NOTICE, 120},
    {BANNER_DESCRIPTION, 94},
}};
constexpr int CARRIED_VERSION_Y = 313;
constexpr int VERDICT_Y = 346;
constexpr int NO_ANSWER_Y = 140; // inside the unit's box, where its text would be
constexpr std::string_view NO_ANSWER_TEXT = "The MQ-6 does not answer: no update can be offered";
constexpr int PHASE_X = 22;
constexpr int PROGRESS_BAR_TOP = 496; // the phase text stands on the line above it

constexpr std::array<std::string_view, 4> PhaseTexts = {
    "",               // PHASE_NONE
    "Programming...", // PHASE_PROGRAMMING
    "Verifying...",   // PHASE_VERIFYING
    "Finishing...",   // PHASE_FINISHING
};

void DrawCentred(Canvas* canvas, int y, std::string_view text) {
    CanvasText(canvas, BOX_LEFT + (BOX_WIDTH - static_cast<int>(text.size()) * CharWidth) / 2, y,
               text);
}

} // namespace

void ResetFirmwareView() {
    UnitMajor = 0;
    UnitMinor = 0;
    UpdateAllowed.store(0, std::memory_order_release);
}

int PaintFirmwareView(Canvas* canvas, int32_t dataValid,
                      const std::array<uint8_t, DEVICE_INFO_SIZE>& info, int32_t phase) {
    Colour previousText = CanvasSetTextColour(canvas, TextColour);
    Colour previousBack = CanvasSetBackColour(canvas, BackColour);
    constexpr std::string_view TITLE = "Firmware Update";
    CanvasFont previousFont = CanvasSetFont(canvas, FONT_LARGE);
    CanvasText(canvas, ClientWidth / 2 - CanvasTextWidth(canvas, TITLE) / 2, 10, TITLE);
    // The rest is laid out on StatusFont's cell, which the status line selected.
    CanvasSetFont(canvas, FONT_STATUS);

    if (dataValid == 1) {
        std::array<std::string_view, 4> lines = SplitBanner(info);
        for (const BannerRow& row : BannerRows)
            if (!lines[row.line].empty())
                DrawCentred(canvas, row.y, lines[row.line]);
        uint32_t opening = PortOpenings.load(std::memory_order_acquire);
        if (opening != UnitOpening)
            UnitMajor = UnitMinor = 0;
        UnitOpening = opening;
        ReadUnitVersion(info, UnitMajor, UnitMinor);
    }

    char carried[48];
    int length = std::snprintf(carried, sizeof carried, "Version: %1d.%02d", CARRIED_VERSION_MAJOR,
                               CARRIED_VERSION_MINOR);
    DrawCentred(canvas, CARRIED_VERSION_Y, std::string_view(carried, static_cast<size_t>(length)));

    UnfinishedJob job = dataValid == 1 ? JobOfBlock(info, DeviceDataFromLoader.load()) : JOB_NONE;
    if (job == JOB_FIRMWARE_UPDATE || job == JOB_LOADER_ONLY) {
        // Whatever version its block names, a unit in its loader needs the update to run again.
        char line[96];
        int lineLength = FormatJobGuidance(job, line, sizeof line);
        DrawCentred(canvas, VERDICT_Y, std::string_view(line, static_cast<size_t>(lineLength)));
        UpdateAllowed.store(1, std::memory_order_release);
    } else if (dataValid == 1) {
        FirmwareVerdict verdict = CompareFirmware(UnitMajor, UnitMinor);
        char line[96];
        int lineLength = FormatVerdictLine(verdict, line, sizeof line);
        DrawCentred(canvas, VERDICT_Y, std::string_view(line, static_cast<size_t>(lineLength)));
        UpdateAllowed.store(verdict == VERDICT_UPDATE ? 1 : 0, std::memory_order_release);
    } else {
        // The port closed or the block could not be read: nothing is offered until a block is.
        DrawCentred(canvas, NO_ANSWER_Y, NO_ANSWER_TEXT);
        UpdateAllowed.store(0, std::memory_order_release);
    }

    if (phase >= PHASE_PROGRAMMING && phase <= PHASE_FINISHING)
        CanvasText(canvas, PHASE_X, PROGRESS_BAR_TOP - LineHeight,
                   PhaseTexts[static_cast<size_t>(phase)]);

    CanvasSetFont(canvas, previousFont);
    CanvasSetTextColour(canvas, previousText);
    CanvasSetBackColour(canvas, previousBack);
    return UpdateAllowed.load(std::memory_order_acquire);
}
