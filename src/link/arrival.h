// The sleep of the receive ring's consumers until the comm thread stores bytes or another
// thread wakes them: one lock and one condition. On Windows they are the system's slim lock and
// condition variable, which sleep and wake inside the process (under Wine without a request to
// its server, where the standard library's condition costs a semaphore release and a server
// wait for every live frame); elsewhere the standard library's.
#pragma once

void LockArrival();
void UnlockArrival();
// With the lock held: sleeps until NotifyArrival, or until timeoutMs pass when it is not
// negative, and holds the lock again on return. It may also return early; the caller looks again.
void SleepArrival(int timeoutMs);
void NotifyArrival();
