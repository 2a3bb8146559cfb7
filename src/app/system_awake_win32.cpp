// The utility's own execution-state requests go straight to the system.
#include "app/shell.h"

EXECUTION_STATE SetExecutionState(EXECUTION_STATE state) {
    return SetThreadExecutionState(state);
}
