// The unit's live stream, one piece for every front end: started on an open link, each good
// frame decoded (display/live_decode.h) and handed to the listeners in turn, stopped on the
// way out. The dial, mq6 live and the recorder are listeners; the CSV row of a frame is
// formatted here alone. The utility's display thread runs the passes while a live view is
// shown; a tool runs them on its own thread.
#pragma once

#include "display/live_decode.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

// Called on the decoding thread after each good frame, once the shown values are updated.
using LiveListener = void (*)(const LiveSample& sample);
constexpr int LIVE_LISTENER_SLOTS = 4;

// Listeners are added and removed by one thread; a frame is handed to them in the order they
// were added. The frame path takes no lock: each slot is one word, so a listener added while
// frames flow gets them from the next one on, and one removed may still get the frame being
// handed out. -1 when every slot is taken.
int AddLiveListener(LiveListener listener);
void RemoveLiveListener(LiveListener listener);
void RemoveAllLiveListeners();
// Hands a good frame to the listeners; from then on the shown values are fresh.
void CallLiveListeners(const LiveSample& sample);
// Decodes one frame from RxRing and hands a good one to the listeners; the extraction result.
// A frame that comes while the values are stale, or after the port was opened again, starts the
// smoothing afresh: no value is shown or recorded that the unit on the line did not send.
int TakeLiveFrame();

// The shown values are stale while the port is closed, before the first good frame of the
// port's opening (a short drop-out may have brought another unit), and once no good frame has
// come for more than LIVE_STALE_TICKS (2 s): a value that old must not pass for the unit's. The
// next good frame makes them fresh. Any thread may ask.
constexpr int32_t LIVE_STALE_TICKS = 20;
bool LiveValuesStale();
// Called on the decoding thread when the values of the running stream turn stale, once for
// each gap (a view that shows them draws dashes). RemoveAllLiveListeners removes these too.
using LiveStaleListener = void (*)();
int AddLiveStaleListener(LiveStaleListener listener);
void RemoveLiveStaleListener(LiveStaleListener listener);
// One look of the decoding thread: calls the stale listeners when the values have just turned
// stale.
void CheckLiveStale();

// The stream is asked for again once more than this many ticks have passed since the last
// request, and the passes look at least this often for a due request and for stale values.
constexpr int32_t LIVE_REQUEST_TICKS = 20;
constexpr int LIVE_LOOK_MS = 100;
// TickCount at the last request; the thread that runs the passes alone uses it.
extern int32_t LastLiveRequestTick;

// A live view of the utility (AFR and Lambda, Live History), entered by a view switch that owns
// the ring and has set the view: the display thread decodes from now on and repeats the
// request every 2 s; the request goes out at once.
void StartLiveStream();
// A tool that runs the passes on its own thread (LiveStreamPass), on a link it has just
// opened: the smoothing starts afresh at responseRate, the data block is not read (a
// reopening of the port still reads it, as in the utility) and the first pass asks.
void StartToolLiveStream(int32_t responseRate);
// The part of a pass that consumes RxRing, by the thread that holds the link: decodes what has
// come, repeats the request when due and looks for stale values.
void ServeLiveStream();
// The part after it, without the lock: the data block, when a reopening of the port wants it
// read. The read stops the stream, so the next pass asks for it again at once; a failed read
// waits for the request after that, so that on a noisy line the stream runs in between.
void ReadDeviceDataInStream();
// A tool's pass: both parts; -1 when another thread's exchange had the link, so it did nothing.
int LiveStreamPass();
// A tool's sleep after a pass (seenWriteIndex: RxWriteIndex read before it) until a whole frame
// more has come, the port opens or closes, or secondsLeft pass, at most LIVE_LOOK_MS.
void WaitForLiveFrame(int32_t seenWriteIndex, double secondsLeft);
// Once the passes have stopped, the unit is asked to stop, up to attempts times (the stop is
// answered among the frames still arriving). 0 once the unit acknowledged it, else -1.
int StopLiveStream(int attempts);
// Start values of the request tick, of the stale look and of the data-block read (start-up, tests).
void ResetLiveStream();

// The CSV of live data: a header, then one row per good frame with the seconds since the
// stream began, the shown lambda (2 decimals) and AFR (1), the frame's lambda (4) and factor (2),
// and the number of a marker the user set since the row before (empty without one).
constexpr std::string_view LIVE_CSV_HEADER = "time_s,lambda,afr,lambda_raw,stoich,mark\n";
constexpr size_t LIVE_CSV_ROW_SIZE = 96;
using LiveCsvRow = std::array<char, LIVE_CSV_ROW_SIZE>;
// The row, line end included, with mark (0 for none); its length.
size_t FormatLiveCsvRow(LiveCsvRow& row, double seconds, const LiveSample& sample, int mark);
