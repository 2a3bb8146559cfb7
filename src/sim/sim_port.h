// The unit's end of the wire: the pseudo-terminal, its --link, the paced byte queues in
// both directions, line noise and the vanishing port, and the loop that serves them.
#pragma once

#include <csignal>
#include <cstdint>

constexpr int64_t NO_DEADLINE = INT64_MAX;

// Set by the SIGTERM/SIGINT handler; the loop ends cleanly when it sees it.
extern volatile sig_atomic_t StopRequested;
// Set by the SIGUSR1 handler: the port vanishes at the loop's next pass, as after
// --vanish-after, so that a test unplugs the unit when it is ready to watch.
extern volatile sig_atomic_t UnplugRequested;

int64_t MonotonicNs();

// Queues a whole reply or live frame for sending, or nothing when it does not fit (a
// client that stopped reading loses whole frames, never parts of one). Applies --noise.
bool QueueOutput(const uint8_t* bytes, int count);
int OutputPending();

// The unit behind the wire: what the loop hands it and asks of it.
struct UnitSide {
    void (*receive)(uint8_t byte); // one byte that has crossed the wire
    void (*forget)();              // the port was closed under a request half received
    int64_t (*run)(int64_t nowNs); // its own work due by now; when it is next due
};
// Serves the unit until StopRequested: returns the exit status (0 stopped, 1 the pty could
// not be opened, 3 the port vanished for good). Signals that end the run must be blocked
// by the caller; they are let through only while the loop waits.
int ServeUnit(const UnitSide& unit);
