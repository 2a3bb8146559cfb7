// The Wide Band Setup's data operations: Read (the unit's values into SetupValues), Defaults,
// and Set, which builds both output tables and the setup block from a record on the calling
// thread and hands the transfer to a worker thread. Shared by the setup view and mq6.
#pragma once

#include "firmware/programming.h"
#include "wbsetup/setup_values.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <string_view>

extern const std::string_view FIRMWARE_MODE_TEXT;
extern const std::string_view SETUP_ERROR_CAPTION;
extern const std::string_view THREAD_FAILED_TEXT;
extern const std::string_view THREAD_FAILED_CAPTION;

// Reads the unit's data block with the link claimed and takes its setup block into
// SetupValues. -1, values unchanged, when the block cannot be read (the data-error box),
// when the unit is in its firmware update mode (FIRMWARE_MODE_TEXT) or while a write runs.
int ReadSetup();
// Every value back to its default, the whole flag word included. Nothing is sent.
void LoadDefaultSetup();
// Takes values into SetupValues, rebuilds SetupTable1, SetupTable2 and DeviceInfo bytes 4 to
// 67 from them, and starts the worker that writes them. The record comes from the view (its
// form read by ReadSetupForm), from mq6 setup write, a setup file or a restore point alike. 0 when
// the worker was started; -1 when the unit is in its firmware update mode, when the sample key
// would go to a unit not known to run the sample firmware (RefuseSampleWrite), while an earlier
// write still runs, or when no thread could be started. Returns without waiting for the transfer.
int WriteSetup(const SetupRecord& values);

// 1 from the start of a write until its worker has finished; the worker and its buffers
// (SetupTable1, SetupTable2, DeviceInfo) are not to be touched meanwhile.
extern std::atomic<int32_t> SetupWriteRunning;
// The transfer's result (0 or -1) of the last write that has finished.
extern std::atomic<int32_t> SetupWriteResult;
// Waits until the running write (if any) has finished; returns SetupWriteResult.
int WaitSetupWrite();

// Called on the worker's thread. Begin comes before the transfer (the view takes the focus
// from its Set button, disables its input controls, locks the menus and shows its progress
// bar), progress during it, end after it and after any error notice, with the result (the
// view removes the bar, enables the controls, unlocks the menus and redraws). Set them before
// WriteSetup; nullptr does nothing.
extern void (*SetupWriteBeginHook)();
extern ProgressSink SetupWriteProgressHook;
extern void (*SetupWriteEndHook)(int result);
// Called by WriteSetup once its read of the unit's data block has succeeded (blockRead 1,
// DeviceInfo holds the block) or failed (0), and the write is otherwise allowed, before
// anything is changed or sent: the front end keeps a restore point of the unit's setup there.
// -1 refuses the write, the hook having said why; nullptr keeps none.
extern int (*SetupRestoreHook)(int blockRead);
