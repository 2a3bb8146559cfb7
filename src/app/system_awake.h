// While a worker programs the unit the system must not go to sleep: a laptop that suspends in
// the middle of a firmware update or a setup write leaves the unit waiting in its loader.
// Windows keeps the request per thread, so both calls come from the worker's own thread.
#pragma once

#include <windows.h>

// SetThreadExecutionState in the utility; the Windows tests record the calls instead.
EXECUTION_STATE SetExecutionState(EXECUTION_STATE state);

// The system is required until the release; the display may still turn off.
inline void KeepSystemAwake() {
    SetExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED);
}
inline void ReleaseSystemAwake() {
    SetExecutionState(ES_CONTINUOUS);
}

// For a worker with more than one way out: released however it ends.
struct SystemAwake {
    SystemAwake() {
        KeepSystemAwake();
    }
    ~SystemAwake() {
        ReleaseSystemAwake();
    }
    SystemAwake(const SystemAwake&) = delete;
    SystemAwake& operator=(const SystemAwake&) = delete;
};
