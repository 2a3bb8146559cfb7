// The unit's end of the wire: the pseudo-terminal, its --link, the paced byte queues in
// both directions, line noise and the vanishing port, and the loop that serves them.
#pragma once

#include <csignal>
#include <cstdint>

constexpr int64_t NO_DEADLINE = INT64_MAX;

// Set by the SIGTERM/SIGINT handler; the loop ends cleanly when it sees it.
extern volatile sig_atomic_t StopRequested;

int64_t MonotonicNs();

// Queues a whole reply or live frame for sending, or nothing when it does not fit (a
// client that stopped reading loses whole frames, never parts of one). Applies --noise.
bool QueueOutput(const uint8_t* bytes, int count);
int OutputPending();

// Serves the unit until StopRequested: returns the exit status (0 stopped, 1 the pty could
// not be opened, 3 the port vanished for good). Signals that end the run must be blocked
// by the caller; they are let through only while the loop waits.
int ServeUnit();
