// The live stream as mq6 runs it on its own thread, one piece for mq6 live and mq6 doctor: the
// passes until the run's end, Ctrl-C and kill ending the run rather than mq6, and the stream
// stopped on the way out.
#pragma once

#include "display/live_stream.h"

// Good frames further apart than this mean frames were lost on the link: mq6 live says rows
// were lost, mq6 doctor warns. A rule about the link, and on purpose stricter than a recording's
// gap (RECORDING_GAP_S, 0.6 s, display/recording_file.h), which is what the history chart can
// draw as a hole (three of its 0.2 s columns) and what mq6 log counts: a link that stops for
// half a second has lost frames whether or not the chart would show it.
constexpr double LIVE_LOST_GAP_S = 0.5;

// While one lives, Ctrl-C and kill (SIGINT, SIGTERM) end the live run instead of mq6, which
// then stops the stream and reports what it has. The other ending signals stay as they were
// (cli/cli.h: ReleasePortOnEveryWayOut).
struct LiveInterrupts {
    LiveInterrupts();
    ~LiveInterrupts();
    LiveInterrupts(const LiveInterrupts&) = delete;
    LiveInterrupts& operator=(const LiveInterrupts&) = delete;
};
// True once such a signal came while a LiveInterrupts lives.
bool LiveRunInterrupted();

// What a pass tells the loop: go on, or end the run with this result.
constexpr int LIVE_RUN_GOES_ON = -1000;
// The result of a run that ended by its time or an interrupt.
constexpr int LIVE_RUN_ENDED = -1001;

struct LiveLoop {
    int32_t responseRate = 50;
    double seconds = 0.0;                // the run's length; 0: no limit
    LiveListener onFrame = nullptr;      // each good frame
    LiveStaleListener onStale = nullptr; // the values turned stale; nullptr: none
    // After each pass, timeUp telling whether the run's time is over: LIVE_RUN_GOES_ON or the
    // result that ends the run; it may shorten the wait for the next pass (waitSeconds). The run
    // ends at its time whatever this says. nullptr: the run ends at its time alone.
    int (*afterPass)(bool timeUp, double& waitSeconds) = nullptr;
    // Once the passes have stopped, before the stream is: the state the run ended in.
    void (*atEnd)() = nullptr;
};

struct LiveLoopEnd {
    int result = LIVE_RUN_ENDED; // afterPass's, or LIVE_RUN_ENDED
    double seconds = 0.0;        // from the stream's start to the last pass
    bool unitSilent = false;     // not a byte came from the unit since its last good frame
};

// Runs the stream on a link just opened until the run ends, then asks the unit to stop it (once
// for a unit that has gone silent, which no stop reaches, else up to three times, as the stop
// is answered among the frames still arriving).
LiveLoopEnd RunLiveLoop(const LiveLoop& loop);
