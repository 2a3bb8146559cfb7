// The setup write's one policy. The checks and the files run on the calling thread; the loader
// sequence, the restart and the read-back on the job's own thread.
#include "wbsetup/setup_job.h"

#include "firmware/banner.h"
#include "firmware/sample_rule.h"
#include "link/link.h"
#include "platform/notice.h"
#include "platform/ticks.h"
#include "settings/data_folder.h"
#include "wbsetup/output_table.h"
#include "wbsetup/restore_point.h"
#include "wbsetup/setup_file.h"
#include "wbsetup/setup_tables.h"
#include "wbsetup/setup_write.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>

namespace {

constexpr std::string_view THREAD_CAPTION = "wbsetup";
// Bytes 3 and 4 of the setup block carry nothing the write sets: the unit may keep its own there.
constexpr int SPARE_FIRST = 3;
constexpr int SPARE_LAST = 4;

// Set on the calling thread before the worker starts, read by the worker alone.
SetupJobFrontEnd FrontEnd{};
UnfinishedJob Before = JOB_NONE;
// What the unfinished-setup file held before this write (a cut write's setup), put back when
// this one changes nothing in the unit.
bool HadEarlierPending = false;
std::string EarlierPending;

std::mutex OutcomeLock;
JobOutcome LastOutcome{JOB_KIND_SETUP_WRITE, JOB_REFUSED, {}, JOB_NONE};

void SetLastOutcome(const JobOutcome& outcome) {
    std::lock_guard<std::mutex> hold(OutcomeLock);
    LastOutcome = outcome;
}

void ShowSetupError(std::string_view text) {
    ShowNotice(text, SETUP_ERROR_CAPTION, NOTICE_TOPMOST | NOTICE_ERROR_ICON);
}

void Note(SetupJobNote note, const std::string& detail) {
    if (FrontEnd.note != nullptr)
        FrontEnd.note(note, detail);
}

void PutBackEarlierPending() {
    std::string path = PendingSetupPath();
    std::string ignored;
    if (HadEarlierPending)
        WriteSetupText(path, EarlierPending, ignored);
    else if (!path.empty())
        std::remove(path.c_str());
}

// The unit's setup as read just before, kept as a restore point. -1 refuses the write.
int KeepRestorePoint(bool blockRead) {
    if (!blockRead) {
        Note(SETUP_NOTE_NO_RESTORE_POINT, "The unit's data block could not be read, so there is "
                                          "no restore point of its setup for this write.");
        return 0;
    }
    std::string folder = RestoreFolderPath(), path, error;
    if (folder.empty())
        error = "no folder for it: the system names no folder for the user's data";
    if (folder.empty() || SaveRestorePoint(folder, DeviceInfo, path, error) != 0) {
        Note(SETUP_NOTE_RESTORE_POINT_FAILED,
             "Nothing was written: the restore point of the unit's setup could not be kept: " +
                 error);
        return -1;
    }
    Note(SETUP_NOTE_RESTORE_POINT, path);
    return 0;
}

// The setup about to be sent, kept until the unit holds it whole: a cut write is finished from
// it, by this program or another, after a restart too. -1 refuses the write.
int KeepPendingSetup(const SetupRecord& values) {
    std::string path = PendingSetupPath(), error;
    std::ostringstream earlier;
    HadEarlierPending = !path.empty() &&
                        static_cast<bool>(earlier << std::ifstream(path, std::ios::binary).rdbuf());
    EarlierPending = earlier.str();
    if (path.empty())
        error = "no folder for it: the system names no folder for the user's data";
    else {
        std::error_code ignored;
        std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ignored);
    }
    if (path.empty() || !WriteSetupText(path, SetupToJson(values), error)) {
        Note(SETUP_NOTE_PENDING_FAILED, "Nothing was written: the setup to write could not be "
                                        "kept for finishing the write if it is cut: " +
                                            error);
        return -1;
    }
    return 0;
}

bool SameSetupBlock(const std::array<uint8_t, DEVICE_INFO_SIZE>& written,
                    const std::array<uint8_t, DEVICE_INFO_SIZE>& read) {
    for (int offset = 0; offset < SETUP_BLOCK_SIZE; ++offset) {
        size_t at = static_cast<size_t>(SETUP_BLOCK_OFFSET + offset);
        if ((offset < SPARE_FIRST || offset > SPARE_LAST) && written[at] != read[at])
            return false;
    }
    return true;
}

void SetupWriteWorker() {
    if (FrontEnd.begin != nullptr)
        FrontEnd.begin();
    std::string_view message;
    const std::array<uint8_t, DEVICE_INFO_SIZE> written = DeviceInfo;
    int result = WriteSetupTables(message, SetupTable1, SetupTable2, written, FrontEnd.progress);
    JobOutcome outcome = JudgeSequence(JOB_KIND_SETUP_WRITE, result, message, Before);
    if (result == 0) {
        SleepMs(JOB_RESTART_WAIT_MS);
        int read = 0;
        {
            LinkClaim claim;
            read = GetDeviceData();
        }
        outcome = JudgeRestart(JOB_KIND_SETUP_WRITE, read,
                               read == 0 && SameSetupBlock(written, DeviceInfo));
    }
    ReadBlockAfterRefusal(outcome);
    NoteJobEnd(outcome.left);
    if (outcome.result == JOB_VERIFIED)
        std::remove(PendingSetupPath().c_str());
    else if (outcome.left == JOB_NONE)
        PutBackEarlierPending();
    SetLastOutcome(outcome);
    if (FrontEnd.end != nullptr)
        FrontEnd.end(outcome);
}

int Refuse() {
    SetLastOutcome({JOB_KIND_SETUP_WRITE, JOB_REFUSED, {}, JOB_NONE});
    EndJob();
    return -1;
}

} // namespace

int StartSetupWrite(const SetupRecord& values, const SetupJobOptions& options,
                    const SetupJobFrontEnd& frontEnd) {
    if (!TryBeginJob())
        return -1;
    FrontEnd = frontEnd;
    bool blockRead = false;
    {
        LinkClaim claim;
        blockRead = GetDeviceData() == 0;
    }
    if (blockRead && DeviceInfo[UNIT_MODE_OFFSET] == UNIT_MODE_FIRMWARE_UPDATE) {
        ShowSetupError(FIRMWARE_MODE_TEXT);
        return Refuse();
    }
    if (std::string_view sample = RefuseSampleWrite(SAMPLE_INPUT_KEY); !sample.empty()) {
        ShowSetupError(sample);
        return Refuse();
    }
    if (options.keepRestorePoint && KeepRestorePoint(blockRead) != 0)
        return Refuse();
    if (KeepPendingSetup(values) != 0)
        return Refuse();
    Before = blockRead ? JobOfBlock(DeviceInfo, DeviceDataFromLoader.load()) : JOB_NONE;

    SetupValues = values;
    BuildSetupTables(SetupValues, SetupTable1, SetupTable2);
    PackSetupBlock(SetupValues, DeviceInfo);
    if (StartJobThread(SetupWriteWorker, nullptr, THREAD_CAPTION) != 0) {
        PutBackEarlierPending();
        SetLastOutcome({JOB_KIND_SETUP_WRITE, JOB_REFUSED, {}, JOB_NONE});
        return -1;
    }
    return 0;
}

JobOutcome WaitSetupWrite() {
    WaitForJobEnd();
    return LastSetupOutcome();
}

JobOutcome LastSetupOutcome() {
    std::lock_guard<std::mutex> hold(OutcomeLock);
    return LastOutcome;
}

bool ReadPendingSetup(SetupRecord& values) {
    std::string path = PendingSetupPath(), error;
    std::error_code ignored;
    if (path.empty() || !std::filesystem::is_regular_file(path, ignored))
        return false;
    SetupRecord pending = DEFAULT_SETUP;
    if (!ReadSetupFile(path, pending, error))
        return false;
    MatchResponseRows(pending);
    values = pending;
    return true;
}
