// The consumers' sleep with the system's slim lock and condition variable.
#include "link/arrival.h"

#include <windows.h>

namespace {
SRWLOCK ArrivalLock = SRWLOCK_INIT;
CONDITION_VARIABLE Arrival = CONDITION_VARIABLE_INIT;
} // namespace

void LockArrival() {
    AcquireSRWLockExclusive(&ArrivalLock);
}

void UnlockArrival() {
    ReleaseSRWLockExclusive(&ArrivalLock);
}

void SleepArrival(int timeoutMs) {
    SleepConditionVariableSRW(&Arrival, &ArrivalLock,
                              timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs), 0);
}

void NotifyArrival() {
    WakeAllConditionVariable(&Arrival);
}
