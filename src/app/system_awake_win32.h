// The system kept awake on Windows: SetThreadExecutionState in the utility; the Windows tests link
// a file that records the calls instead.
#pragma once

#include <windows.h>

EXECUTION_STATE SetExecutionState(EXECUTION_STATE state);
