// The utility's own execution-state requests go straight to the system.
#include "app/system_awake_win32.h"

EXECUTION_STATE SetExecutionState(EXECUTION_STATE state) {
    return SetThreadExecutionState(state);
}
