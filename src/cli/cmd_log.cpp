// mq6 log: the figures of a recording of live data, read by the utility's own reader: its
// length, gaps, lambda range and mean, the shares in, leaner than and richer than a target
// band, and its markers.
#include "cli/cli.h"
#include "display/recording_file.h"
#include "settings/config.h"

#include <nlohmann/json.hpp>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

using Json = nlohmann::ordered_json;

void PrintJson(const Recording& recording, const RecordingFigures& figures) {
    Json markers = Json::array();
    for (uint32_t index : recording.markRows) {
        const RecordedRow& row = recording.rows[index];
        markers.push_back(
            {{"number", row.mark}, {"time_s", row.seconds}, {"lambda", row.lambdaX100 / 100.0}});
    }
    Json out = {{"rows", figures.rows},
                {"duration_s", figures.durationS},
                {"gaps", figures.gaps},
                {"longest_gap_s", figures.longestGapS},
                {"lambda_min", figures.lambdaMin},
                {"lambda_max", figures.lambdaMax},
                {"lambda_mean", figures.lambdaMean},
                {"share_in_band", figures.shareInBand},
                {"share_lean", figures.shareLean},
                {"share_rich", figures.shareRich},
                {"markers", markers}};
    std::printf("%s\n", out.dump(2).c_str());
}

void PrintText(const Recording& recording, const RecordingFigures& figures, TargetBand band) {
    std::printf("rows      %ld over %.3f s\n", figures.rows, figures.durationS);
    std::printf("gaps      %ld over %.1f s, the longest %.3f s\n", figures.gaps, RECORDING_GAP_S,
                figures.longestGapS);
    std::printf("lambda    lowest %.2f, highest %.2f, mean %.3f\n", figures.lambdaMin,
                figures.lambdaMax, figures.lambdaMean);
    std::printf("band      %.2f to %.2f: %.1f%% in, %.1f%% leaner, %.1f%% richer\n", band.low,
                band.high, figures.shareInBand * 100, figures.shareLean * 100,
                figures.shareRich * 100);
    for (uint32_t index : recording.markRows) {
        const RecordedRow& row = recording.rows[index];
        std::printf("marker %-3u at %.3f s, lambda %.2f\n", row.mark, row.seconds,
                    row.lambdaX100 / 100.0);
    }
}

} // namespace

int RunLog(const LogOptions& options) {
    // mq6 reads no settings file: the band's start values are the Preferences' defaults. The
    // band is put in order as the Recording view puts the Preferences' two targets.
    const char* given = options.band.c_str(); // LOW,HIGH, checked by the option
    TargetBand band = options.band.empty()
                          ? OrderTargets(TargetLow.load(std::memory_order_acquire),
                                         TargetHigh.load(std::memory_order_acquire))
                          : OrderTargets(std::strtod(given, nullptr),
                                         std::strtod(given + options.band.find(',') + 1, nullptr));
    Recording recording;
    RecordingFault fault;
    if (ReadRecording(options.path.c_str(), recording, fault) != 0) {
        std::array<char, 512> text{};
        FormatRecordingFault(options.path.c_str(), fault, text.data(), text.size());
        if (fault.unreadable) {
            std::fprintf(stderr, "mq6: cannot read %s\n", text.data());
            return EXIT_FAILED;
        }
        std::fprintf(stderr, "mq6: not a recording: %s\n", text.data());
        return EXIT_USAGE;
    }
    RecordingFigures figures = FigureRows(recording, 0, recording.rows.size(), band);
    if (options.json)
        PrintJson(recording, figures);
    else
        PrintText(recording, figures, band);
    return EXIT_OK;
}
