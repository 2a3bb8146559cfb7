// Pieces shared by the mq6 commands, and what the command line gives each of them.
#pragma once

#include "firmware/programming.h"
#include "firmware/unfinished_job.h"
#include "settings/config.h"

#include <cstdio>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Exit codes of every command.
constexpr int EXIT_OK = 0;
constexpr int EXIT_FAILED = 1;
constexpr int EXIT_USAGE = 2;

struct CliOptions {
    std::string port; // empty: find the unit
    bool verbose = false;
};
extern CliOptions Options;

struct LiveOptions {
    long count = 0;
    double seconds = 0.0; // 0: no limit
    std::string csvPath;  // empty: no CSV; "-": standard output
    int responseRate = RESPONSE_RATE_DEFAULT;
};

struct SetupOptions {
    bool json = false;
    bool defaults = false;
    std::string from;   // a setup file to start from; "-" standard input
    std::string output; // setup read into this file instead of standard output
    // The value options as settings of a setup file: numbers, and names of rates and modes.
    std::vector<std::pair<std::string, double>> numbers;
    std::vector<std::pair<std::string, std::string>> names;
    bool dryRun = false;
    bool yes = false;
    bool noRestorePoint = false;
    bool force = false; // values beyond what a user may give are written
    std::string channel = "a";
    bool csv = false;
};

struct DoctorOptions {
    bool json = false;
    double seconds = 5.0; // of live data
};

// The command and action being run ("setup write"), for the line after a usage error.
extern std::string CommandName;
// Prints "mq6: reason" and the line that points to the command's help; returns EXIT_USAGE.
int UsageError(const std::string& reason);

// The command that finishes a cut setup write, with the setup that was being written where it
// was kept (PendingSetupPath, settings/data_folder.h).
std::string FinishSetupText();
// What a unit left mid-job is doing and which command finishes the job: "a setup write did not
// finish; mq6 setup write --from ... finishes it"; empty for JOB_NONE.
std::string JobGuidanceText(UnfinishedJob job);
// What a unit left in mode (its data block's last byte) is doing and which command finishes
// the job, also for a unit that answers only from its loader; empty for a unit that runs.
std::string UnfinishedJobText(int mode);
// The programs' sentences as mq6 says them: "mq6: " and the sentence without its capital and
// its full stop, on stderr.
void SayOnStderr(std::string_view sentence);
// Prints UnfinishedJobText for the data block last read; true when the unit is mid-job.
bool ReportUnfinishedJob();

// True once the reader of standard output has closed it (head, a pager that quit).
bool OutputClosed();
// The exit status once a command has written: a closed output ends a command normally, as
// the user who closed it meant; any other failed write is reported and fails the command.
int FinishOutput(int result);

// Signals that end mq6 (Ctrl-C, a closed terminal, kill, Ctrl-\) give up the port's exclusive
// mode first, as exit does; main sets this up before any command runs.
void ReleasePortOnEveryWayOut();
// While one lives, a write into the unit is running: those signals wait for its end, and the
// first says so on stderr at once, naming the job and the command that finishes it.
struct HoldInterrupts {
    HoldInterrupts(const char* job, const char* finisher);
    ~HoldInterrupts();
    HoldInterrupts(const HoldInterrupts&) = delete;
    HoldInterrupts& operator=(const HoldInterrupts&) = delete;
};
// After the command's verdict: a signal held back during a write ends mq6 now, as it would have.
void EndIfInterrupted();

// Opens the link to the unit on Options.port (or the found port) and waits until the comm
// thread has the port open. Prints the reason and returns an exit code on failure, else 0.
int ConnectUnit();
// The link started on PortName as it stands, waited for until the comm thread has the port
// open: SERIAL_OPEN_OK, or why it did not open (link/serial.h).
int OpenChosenPort();
void DisconnectUnit();
// Connects, reads the unit's data block into DeviceInfo and disconnects: 0, or the exit
// code (the reason already printed).
int FetchDataBlock();
// Asks on the terminal; true for an answer starting with y.
bool Confirm(const char* question);
// Without --yes a command that asks first needs a terminal: EXIT_OK, or EXIT_USAGE with the
// reason printed before anything is written to the unit.
int RequireTerminalOrYes(bool yes, const char* command);

// Progress of a transfer on stderr: a redrawn bar per stage on a terminal, else a line per
// stage.
struct ProgressBar {
    bool terminal = false;
    const char* stage = nullptr; // none yet
    int done = 0;
    int total = 0;
};
extern ProgressBar Progress;
void StartProgress();
void ShowStage(const char* name, int total);
// A step advances the bar by one, a reset takes it back to the start.
void StepProgress(ProgressMessage message);
// Ends the bar's line, so that what follows starts on a line of its own.
void EndProgress();

// Rows on standard output or in a file. A reader that closes its pipe (mq6 live --csv - | head)
// is the user ending the command: it stops as it would at its end, the unit left as it should
// be, with exit status 0 and no message. main ignores SIGPIPE, so that a closed pipe fails the
// write instead of ending the process.
enum RowsWritten : int {
    ROWS_OK = 0,
    ROWS_READER_GONE = 1, // the reader closed the pipe
    ROWS_FAILED = -1,     // any other failure: say so, exit status 1
};
// Writes text and flushes it.
int WriteRows(std::FILE* file, std::string_view text);

// The adapter whose port is the port used (which may be /dev/mq6, a link to it): the first
// attached one, -1 for none. mq6 ports and mq6 doctor mark it.
struct PortCandidate;
int FindChosenCandidate(const std::vector<PortCandidate>& candidates, const std::string& port);

// Enter pressed on the terminal since the last call, read without waiting; 0 when standard
// input is not a terminal, which is then left unread.
int TakeEnterPresses();
// While the live run takes Enter from the terminal, the terminal does not echo it, so that the
// updating line stays where it is: true when the echo was turned off, which RestoreEnterEcho
// undoes (so do the signals that end mq6).
bool QuietEnterEcho();
void RestoreEnterEcho();

struct LogOptions {
    std::string path;
    bool json = false;
    std::string band; // "LOW,HIGH"; empty: the Preferences' defaults
};

int RunInfo(bool json);
int RunLive(const LiveOptions& options);
int RunLog(const LogOptions& options);
int RunFirmwareStatus();
int RunFirmwareUpdate(bool yes, bool force);
int RunPorts();
int RunDoctor(const DoctorOptions& options);
int RunSetupRead(bool json, const std::string& output);
int RunSetupWrite(const SetupOptions& options);
int RunSetupTables(const SetupOptions& options);
