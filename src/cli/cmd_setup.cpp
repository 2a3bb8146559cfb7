// mq6 setup read | write | tables: the unit's analogue-output setup, read and written through
// the same Read and Set that the Wide Band Setup view uses, and the output tables it gives.
#include "cli/cli.h"
#include "firmware/banner.h"
#include "firmware/sample_rule.h"
#include "link/link.h"
#include "platform/notice.h"
#include "wbsetup/lambda_table.h"
#include "wbsetup/output_table.h"
#include "wbsetup/setup_fields.h"
#include "wbsetup/setup_file.h"
#include "wbsetup/setup_job.h"

#include <array>
#include <cstdio>
#include <string>
#include <vector>

namespace {
constexpr int FIELD_TEXT_SIZE = 32;

// ---- The setup as lines of text ------------------------------------------------------------

struct SetupLine {
    const char* label;
    std::string text;
};
constexpr size_t SETUP_LINE_COUNT = 10;

std::string FieldText(int32_t value, FieldKind kind) {
    std::array<char, FIELD_TEXT_SIZE> text{};
    FormatFieldValue(value, kind, text.data(), text.size());
    return text.data();
}

std::string PointText(int32_t volts, int32_t afr) {
    return FieldText(volts, FIELD_VOLTS) + " V at AFR " + FieldText(afr, FIELD_AFR);
}

std::string ResponseText(const ChannelSetup& channel) {
    int row = FindResponseChoice(channel.ResponseValue);
    if (row >= 0)
        return std::string(ResponseChoices[static_cast<size_t>(row)].name);
    return ResponseCodeWords(channel.ResponseValue);
}

std::string OffsetText(int32_t offset) {
    std::array<char, 48> text{};
    std::snprintf(text.data(), text.size(), "%d (switch point lambda %.3f)", offset,
                  NbSwitchLambda(offset));
    return text.data();
}

std::array<SetupLine, SETUP_LINE_COUNT> DescribeSetup(const SetupRecord& values) {
    const ChannelSetup& a = values.Channel[CHANNEL_A];
    const ChannelSetup& b = values.Channel[CHANNEL_B];
    bool linear = (values.SetupFlags & SETUP_FLAG_B_LINEAR) != 0;
    std::array<char, 8> flags{};
    std::snprintf(flags.data(), flags.size(), "0x%02X", values.SetupFlags & 0xFF);
    return {{
        {"Stoich AFR", FieldText(values.StoichAfr, FIELD_AFR)},
        {"A point 1", PointText(a.Volts1, a.Afr1)},
        {"A point 2", PointText(a.Volts2, a.Afr2)},
        {"A response", ResponseText(a)},
        {"B mode", linear ? "WB (linear)" : "NB (narrowband)"},
        {"B point 1", PointText(b.Volts1, b.Afr1)},
        {"B point 2", PointText(b.Volts2, b.Afr2)},
        {"B response", ResponseText(b)},
        {"NB offset", OffsetText(values.NbOffset)},
        {"Flag byte", flags.data()},
    }};
}

std::string SetupText(const SetupRecord& values) {
    std::string text;
    for (const SetupLine& line : DescribeSetup(values)) {
        std::array<char, 16> label{};
        std::snprintf(label.data(), label.size(), "%-11s ", line.label);
        text += label.data() + line.text + "\n";
    }
    return text;
}

void PrintSetup(const SetupRecord& values) {
    std::fputs(SetupText(values).c_str(), stdout);
}

// The lines that differ, or everything when the unit's values are not known. A write with
// nothing changed still rewrites the block and both tables (as after a write with another key).
void PrintChanges(const SetupRecord* unit, const SetupRecord& target, bool dryRun) {
    if (unit == nullptr) {
        std::printf("The unit's setup is unknown; it is to hold:\n");
        PrintSetup(target);
        return;
    }
    std::array<SetupLine, SETUP_LINE_COUNT> before = DescribeSetup(*unit);
    std::array<SetupLine, SETUP_LINE_COUNT> after = DescribeSetup(target);
    bool any = false;
    for (size_t i = 0; i < SETUP_LINE_COUNT; ++i) {
        if (before[i].text == after[i].text)
            continue;
        if (!any)
            std::printf("Changes:\n");
        any = true;
        std::printf("%-11s %s -> %s\n", before[i].label, before[i].text.c_str(),
                    after[i].text.c_str());
    }
    if (!any && dryRun)
        std::printf("No changes: the unit holds this setup already.\n");
    else if (!any)
        std::printf("The setup block holds these values already; writing it and both output "
                    "tables again\n");
}

// ---- Options ---------------------------------------------------------------------------

// The values to start from: the defaults, or a file's. Returns 0 or the exit code.
int ReadStart(const SetupOptions& options, SetupRecord& start) {
    start = DEFAULT_SETUP;
    std::string error;
    if (!options.from.empty() && !ReadSetupFile(options.from, start, error))
        return UsageError(error);
    return EXIT_OK;
}

// The sequence steps once per table block written, resets between writing and verifying,
// and steps on through the four setup records after the last block verified.
void StepWrite(ProgressMessage message) {
    constexpr int BLOCKS = 2 * OUTPUT_TABLE_BLOCKS;
    if (message == PROGRESS_RESET) {
        ShowStage("Verifying...", BLOCKS);
        return;
    }
    if (Progress.stage == nullptr)
        ShowStage("Writing...", BLOCKS);
    else if (Progress.done == BLOCKS && std::string_view(Progress.stage) == "Verifying...")
        ShowStage("Finishing...", 4);
    StepProgress(message);
}

// ---- Actions ---------------------------------------------------------------------------

} // namespace

int RunSetupRead(bool json, const std::string& output) {
    int result = ConnectUnit();
    if (result != EXIT_OK)
        return result;
    int read = ReadSetup();
    DisconnectUnit();
    // Mid-write the block may hold part of a setup: shown, but not passed as the unit's.
    bool unfinished = DeviceDataValid.load() != 0 && ReportUnfinishedJob();
    // A setup that could not be read, or only in part, leaves an earlier file of that name as
    // it was: a backup is never replaced by nothing.
    if (read != 0 || (unfinished && !output.empty()))
        return EXIT_FAILED;
    std::string text = json ? SetupToJson(SetupValues) : SetupText(SetupValues);
    std::string error;
    if (!output.empty() && !WriteSetupText(output, text, error)) {
        std::fprintf(stderr, "mq6: %s\n", error.c_str());
        return EXIT_FAILED;
    }
    if (output.empty())
        std::fputs(text.c_str(), stdout);
    return unfinished ? EXIT_FAILED : EXIT_OK;
}

namespace {
// The setup write's notes before anything is sent: the restore point's path on standard output,
// the rest on stderr.
void NoteSetupWrite(SetupJobNote note, const std::string& detail) {
    if (note == SETUP_NOTE_RESTORE_POINT) {
        std::printf("Restore point: %s\n", detail.c_str());
        return;
    }
    SayOnStderr(detail);
    if (note == SETUP_NOTE_RESTORE_POINT_FAILED)
        std::fprintf(stderr, "mq6: --no-restore-point writes without one\n");
}

// What the write did: its stage's text as the window's box shows it, what happened, and for a
// unit left mid-job what finishes it.
int SayWriteOutcome(const JobOutcome& outcome) {
    if (outcome.result == JOB_VERIFIED) {
        std::printf("Setup written.\n");
        return EXIT_OK;
    }
    if (outcome.result == JOB_REFUSED)
        return EXIT_FAILED;
    if (!outcome.stage.empty())
        ShowNotice(outcome.stage, SETUP_ERROR_CAPTION, NOTICE_TOPMOST | NOTICE_ERROR_ICON);
    SayOnStderr(JobOutcomeSentence(outcome));
    if (outcome.left != JOB_NONE)
        std::fprintf(stderr, "mq6: %s\n", JobGuidanceText(outcome.left).c_str());
    return EXIT_FAILED;
}

int TransferSetup(const SetupRecord& target, bool keepRestorePoint) {
    StartProgress();
    HoldInterrupts hold("setup write", "mq6 setup write");
    SetupJobOptions options;
    options.keepRestorePoint = keepRestorePoint;
    int started = StartSetupWrite(target, options, {NoteSetupWrite, nullptr, StepWrite, nullptr});
    JobOutcome outcome = started == 0 ? WaitSetupWrite() : LastSetupOutcome();
    EndProgress();
    return SayWriteOutcome(outcome);
}

} // namespace

int RunSetupWrite(const SetupOptions& options) {
    SetupRecord start{};
    int taken = ReadStart(options, start);
    if (taken != EXIT_OK)
        return taken;
    bool startGiven = options.defaults || !options.from.empty();
    int result = RequireTerminalOrYes(options.dryRun || options.yes, "setup write");
    if (result != EXIT_OK)
        return result;
    result = ConnectUnit();
    if (result != EXIT_OK)
        return result;
    bool known = ReadSetup() == 0;
    SetupRecord unit = SetupValues;
    // A unit in its setup mode holds part of a cut write: said always, and a write that would
    // only send that mix back is refused.
    bool valuesGiven = startGiven || !options.numbers.empty() || !options.names.empty();
    if (known && ReportUnfinishedJob() && !valuesGiven && !options.dryRun) {
        std::fprintf(stderr, "mq6: its block may hold part of the cut write, which would be "
                             "written back as it is; give the setup to write\n");
        DisconnectUnit();
        return EXIT_FAILED;
    }
    if (!known) {
        bool refused = DeviceDataValid.load() != 0 &&
                       DeviceInfo[UNIT_MODE_OFFSET] == UNIT_MODE_FIRMWARE_UPDATE;
        if (refused || !startGiven) {
            if (refused)
                ReportUnfinishedJob();
            else
                std::fprintf(stderr, "mq6: without the unit's setup there is nothing to start "
                                     "from; give --defaults or --from FILE\n");
            DisconnectUnit();
            return EXIT_FAILED;
        }
    }

    SetupRecord target = startGiven ? start : unit;
    std::string error;
    // The value options as the settings of a setup file, so that both are checked and stored alike.
    ApplySettings(options.numbers, options.names, target, error);
    std::string_view refusal = RefuseSampleWrite(SAMPLE_INPUT_KEY);
    PrintChanges(known ? &unit : nullptr, target, options.dryRun || !refusal.empty());
    // A backup gives back what the unit held, even what no user could have typed, but only when
    // asked: such a value drives an output nobody chose (a stoichiometric AFR of 0 puts every
    // entry at 5 V).
    std::string beyond = OutsideUserRangeWords(target);
    bool beyondRefused = !beyond.empty() && !options.force;
    if (!beyond.empty())
        std::printf("Beyond what a user may give: %s; %s\n", beyond.c_str(),
                    options.force ? "written as given (--force)"
                                  : "not written without --force (a restore point of a unit "
                                    "that held them needs it)");
    if (options.dryRun)
        std::printf("Dry run: nothing written%s.\n",
                    refusal.empty() && !beyondRefused ? "" : ", and the write would be refused");
    if (beyondRefused && !options.dryRun) {
        DisconnectUnit();
        return UsageError("values beyond what a user may give are written only with --force");
    }
    if (!refusal.empty())
        ShowNotice(refusal, SETUP_ERROR_CAPTION, NOTICE_TOPMOST | NOTICE_ERROR_ICON);
    if (options.dryRun || !refusal.empty()) {
        DisconnectUnit();
        return options.dryRun ? EXIT_OK : EXIT_FAILED;
    }
    if (!options.yes && !Confirm("Write this setup to the unit?")) {
        std::fprintf(stderr, "mq6: setup write cancelled\n");
        DisconnectUnit();
        return EXIT_FAILED;
    }
    result = TransferSetup(target, !options.noRestorePoint);
    DisconnectUnit();
    return result;
}

int RunSetupTables(const SetupOptions& options) {
    if (!Options.port.empty())
        return UsageError("setup tables reads no unit; --port is not used here");
    SetupRecord values{};
    int taken = ReadStart(options, values);
    if (taken != EXIT_OK)
        return taken;
    bool csv = options.csv;
    std::array<OutputTable, SETUP_CHANNEL_COUNT> tables{};
    BuildSetupTables(values, tables[CHANNEL_A], tables[CHANNEL_B]);
    const OutputTable& table = tables[options.channel == "a" ? CHANNEL_A : CHANNEL_B];
    double stoich = StoichAfrOf(values);
    const char* rowFormat = csv ? "%d,%d,%.6f,%.3f,%d,%.3f\n" : "%5d %5d %9.6f %8.3f %5d %6.3f\n";
    std::fputs(csv ? "entry,point,lambda,afr,code,volts\n"
                   : "entry point    lambda      afr  code  volts\n",
               stdout);
    for (int entry = 0; entry < OUTPUT_TABLE_ENTRIES; ++entry) {
        int point = FIRST_TABLE_POINT + entry;
        double lambda = LambdaPointTable[static_cast<size_t>(point)];
        int32_t code = ReadOutputCode(table, entry);
        if (std::printf(rowFormat, entry, point, lambda, lambda * stoich, code,
                        code / CODES_PER_VOLT) < 0)
            break;
    }
    return EXIT_OK;
}
