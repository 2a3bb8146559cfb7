// State file, table dump and request log of the simulated unit.
#include "sim/sim_files.h"

#include "sim/sim_memory.h"
#include "sim/sim_options.h"

#include <array>
#include <atomic>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

// Layout: magic, three flag bytes and five reserved, data block, program memory, tables.
constexpr std::array<char, 8> STATE_MAGIC{'M', 'Q', '6', 'S', 'I', 'M', '1', '\n'};
constexpr size_t STATE_FLAGS_SIZE = 8;
constexpr size_t STATE_SIZE =
    STATE_MAGIC.size() + STATE_FLAGS_SIZE + DATA_BLOCK_SIZE + PROGRAM_SIZE + 2 * SETUP_TABLE_SIZE;

// The newest state, built by the unit's loop and taken by the writer under StateLock.
std::array<uint8_t, STATE_SIZE> StateImage;
FILE* RequestLog = nullptr;
std::atomic<bool> StateLost{false};
std::mutex StateLock;
std::condition_variable StateQueued;
bool StatePending = false;
bool WriterStopping = false;
std::thread StateWriter;

bool WriteFileAtomically(const std::string& path, const uint8_t* bytes, size_t size) {
    std::string temporary = path + ".tmp";
    FILE* file = std::fopen(temporary.c_str(), "wb");
    if (file == nullptr)
        return false;
    bool written = std::fwrite(bytes, 1, size, file) == size;
    written = std::fclose(file) == 0 && written;
    if (!written || std::rename(temporary.c_str(), path.c_str()) != 0) {
        unlink(temporary.c_str());
        return false;
    }
    return true;
}

size_t CopyIn(size_t at, const uint8_t* bytes, size_t size) {
    std::memcpy(StateImage.data() + at, bytes, size);
    return at + size;
}

size_t CopyOut(size_t at, uint8_t* bytes, size_t size) {
    std::memcpy(bytes, StateImage.data() + at, size);
    return at + size;
}

} // namespace

namespace {
// The folder of an option's file exists (an empty path names none).
bool FolderPresent(const char* option, const std::string& path) {
    if (path.empty())
        return true;
    size_t slash = path.rfind('/');
    std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    struct stat status {};
    if (stat(folder.c_str(), &status) == 0 && S_ISDIR(status.st_mode))
        return true;
    std::fprintf(stderr, "mq6-sim: %s %s: the folder does not exist\n", option, path.c_str());
    return false;
}
} // namespace

bool LinkPathFree() {
    // A client would wait for ever for a link that cannot be made.
    if (!FolderPresent("--link", Options.linkPath))
        return false;
    struct stat status {};
    if (Options.linkPath.empty() || lstat(Options.linkPath.c_str(), &status) != 0 ||
        S_ISLNK(status.st_mode))
        return true;
    std::fprintf(stderr, "mq6-sim: --link %s is not a symbolic link; only a link is replaced\n",
                 Options.linkPath.c_str());
    return false;
}

bool StateFolderPresent() {
    return FolderPresent("--state", Options.statePath);
}

bool LoadState() {
    if (Options.statePath.empty())
        return true;
    FILE* file = std::fopen(Options.statePath.c_str(), "rb");
    if (file == nullptr)
        return true;
    size_t size = std::fread(StateImage.data(), 1, StateImage.size(), file);
    bool longer = std::fgetc(file) != EOF;
    std::fclose(file);
    if (size != StateImage.size() || longer ||
        std::memcmp(StateImage.data(), STATE_MAGIC.data(), STATE_MAGIC.size()) != 0) {
        std::fprintf(stderr, "mq6-sim: %s is not a state file of this simulator\n",
                     Options.statePath.c_str());
        return false;
    }
    const uint8_t* flags = StateImage.data() + STATE_MAGIC.size();
    InLoader = flags[0] != 0;
    LoadMode = flags[1];
    TablesWrittenInSession = flags[2] != 0;
    size_t at = STATE_MAGIC.size() + STATE_FLAGS_SIZE;
    at = CopyOut(at, DataBlock.data(), DataBlock.size());
    at = CopyOut(at, ProgramMemory.data(), ProgramMemory.size());
    at = CopyOut(at, SetupTable1.data(), SetupTable1.size());
    CopyOut(at, SetupTable2.data(), SetupTable2.size());
    return true;
}

namespace {
// Writes the newest state handed over until told to stop with nothing left; a state queued
// while a write runs replaces any older one still waiting.
void WriteQueuedStates() {
    std::array<uint8_t, STATE_SIZE> image;
    std::unique_lock<std::mutex> hold(StateLock);
    for (;;) {
        StateQueued.wait(hold, [] { return StatePending || WriterStopping; });
        if (!StatePending)
            return;
        image = StateImage;
        StatePending = false;
        hold.unlock();
        bool written = WriteFileAtomically(Options.statePath, image.data(), image.size());
        hold.lock();
        if (!written) {
            StateLost = true;
            std::fprintf(stderr,
                         "mq6-sim: cannot write state file %s; the unit answers no more writes\n",
                         Options.statePath.c_str());
            return;
        }
    }
}

// The writer takes no signal: the unit's loop waits for them.
void StartStateWriter() {
    sigset_t all, previous;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, &previous);
    StateWriter = std::thread(WriteQueuedStates);
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

} // namespace

bool SaveState() {
    if (Options.statePath.empty())
        return true;
    if (StateLost)
        return false;
    if (!StateWriter.joinable())
        StartStateWriter();
    std::lock_guard<std::mutex> hold(StateLock);
    StateImage.fill(0);
    size_t at = CopyIn(0, reinterpret_cast<const uint8_t*>(STATE_MAGIC.data()), STATE_MAGIC.size());
    const std::array<uint8_t, STATE_FLAGS_SIZE> flags{static_cast<uint8_t>(InLoader), LoadMode,
                                                      static_cast<uint8_t>(TablesWrittenInSession)};
    at = CopyIn(at, flags.data(), flags.size());
    at = CopyIn(at, DataBlock.data(), DataBlock.size());
    at = CopyIn(at, ProgramMemory.data(), ProgramMemory.size());
    at = CopyIn(at, SetupTable1.data(), SetupTable1.size());
    CopyIn(at, SetupTable2.data(), SetupTable2.size());
    StatePending = true;
    StateQueued.notify_one();
    return true;
}

void FinishStateWrites() {
    if (!StateWriter.joinable())
        return;
    {
        std::lock_guard<std::mutex> hold(StateLock);
        WriterStopping = true;
    }
    StateQueued.notify_one();
    StateWriter.join();
}

void DumpTables() {
    if (Options.dumpTablesPath.empty())
        return;
    std::array<uint8_t, 2 * SETUP_TABLE_SIZE> tables;
    std::memcpy(tables.data(), SetupTable1.data(), SETUP_TABLE_SIZE);
    std::memcpy(tables.data() + SETUP_TABLE_SIZE, SetupTable2.data(), SETUP_TABLE_SIZE);
    if (!WriteFileAtomically(Options.dumpTablesPath, tables.data(), tables.size()))
        std::fprintf(stderr, "mq6-sim: cannot write table dump %s\n",
                     Options.dumpTablesPath.c_str());
}

bool OpenRequestLog() {
    if (Options.logPath.empty())
        return true;
    RequestLog = std::fopen(Options.logPath.c_str(), "w");
    if (RequestLog == nullptr) {
        std::fprintf(stderr, "mq6-sim: cannot open log %s\n", Options.logPath.c_str());
        return false;
    }
    return true;
}

void LogRequest(const uint8_t* frame, int length, bool sumOk) {
    if (RequestLog == nullptr)
        return;
    for (int i = 0; i < length; ++i)
        std::fprintf(RequestLog, i == 0 ? "%02X" : " %02X", frame[i]);
    std::fputs(sumOk ? "\n" : " bad-sum\n", RequestLog);
    // Flushed per line so a test can read the log while the unit runs.
    std::fflush(RequestLog);
}
