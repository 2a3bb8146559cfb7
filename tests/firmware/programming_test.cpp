// The loader sequences against a scripted unit on a pseudo-terminal: the requests sent, the
// progress and phases reported, and the text of each stage that can fail.
#include "firmware/programming.h"
#include "link/link.h"
#include "support/pty_peer.h"
#include "wbsetup/setup_write.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cctype>
#include <map>
#include <mutex>
#include <thread>

namespace {

const std::string OK = "Version request OK\n", VERIFY = "Program Verify Failure\n";
const std::string MODE = "Program Mode Failure\n", DATA = "Program Mode Data Failure\n";
const std::string REQUEST = "Program Request Failure\n";
// The requests up to the read-back of each sequence, and a whole firmware run's progress.
const std::string FIRMWARE = "R/7 R/15:1 Z/3x2 Z/0x169 Z/3", SETUP = "R/7 R/15:2 Z/3x3 Z/0x256 Z/3";
const std::string FIRMWARE_EVENTS = "#1 Sx169 #2 P0 Sx169 #3 Sx12 #0";

// Appends an event to a line of them, a repeat of the last folded: "S", "S" give "Sx2".
void Fold(std::string& line, const std::string& event) {
    std::string last = line.substr(line.rfind(' ') + 1), base = last.substr(0, last.find('x'));
    int count = last.size() > base.size() ? std::stoi(last.substr(base.size() + 1)) : 1;
    if (!line.empty() && base == event)
        line.erase(line.size() - last.size()) += event + "x" + std::to_string(count + 1);
    else
        line += (line.empty() ? "" : " ") + event;
}

// What a run reported, in order: phases "#1", a reset to position 0 "P0", steps "S".
std::string Events;
int StepsBeforeClosing = -1; // the port closes with this step, so LeaveLoadMode cannot go
std::atomic<int> Restarts{0};

void RecordProgress(ProgressMessage message) {
    Fold(Events, message == PROGRESS_STEP ? "S" : "P0");
    if (message == PROGRESS_STEP && --StepsBeforeClosing == 0)
        RequestPort(PORT_CLOSE, nullptr);
}

// The unit of one row, from its script (see the table): the WriteBlock it leaves unanswered (1
// is the first), the read-back byte it inverts, the loader subcommand it ignores, how many
// LoaderReadDataBlocks it answers.
struct ScriptedUnit {
    explicit ScriptedUnit(const std::string& script) {
        auto number = [&](char c) {
            return script[0] == c && std::isdigit(script[1]) ? std::stoi(script.substr(1)) : -1;
        };
        failWrite = number('w'), flip = number('f');
        silentZ = number('z'), loaderReads = number('l') < 0 ? 9 : number('l');
        StepsBeforeClosing = number('c'), Restarts = 0;
    }
    bool inLoader = false;
    int failWrite, writes = 0, flip, silentZ, loaderReads;
    std::map<int, Bytes> memory; // one record per 16-bit address
    std::string outline;         // the requests in order, runs folded: "R/7 R/15:1 Z/3x2 Z/0x169"

    Bytes Answer(const Bytes& frame) {
        const Bytes ack = UnitFrame('Z', 'A', {0, 0, 0});
        if (frame[0] == 'R' && frame[1] == 15)
            return inLoader = true, ack;
        if (frame[0] == 'R')
            return frame[1] == 7 && !inLoader ? UnitFrame('W', 'E', Bytes(256, 0x20)) : Bytes{};
        if (!inLoader || frame[1] == silentZ || (frame[1] == 0 && ++writes == failWrite))
            return {};
        Bytes& held = memory[frame[2] << 8 | frame[3]];
        if (frame[1] == 0)
            held.assign(frame.begin() + 4, frame.begin() + 20);
        if (frame[1] == 1)
            return inLoader = false, ++Restarts, Bytes{};
        if (frame[1] == 2) {
            Bytes data = held;
            data.resize(16, 0xFF);
            if (flip >= 0)
                data[size_t(flip)] ^= 0xFF;
            return UnitFrame('Z', 'F', data);
        }
        if (frame[1] == 3)
            return loaderReads-- > 0 ? UnitFrame('Z', 'E', Bytes(256, 0x20)) : Bytes{};
        return ack;
    }
};

TEST(ProgrammingTest, SequencesSendTheirStagesAndStopWithTheTextOfTheStageThatFailed) {
    // The unit: "wN" (WriteBlock N unanswered), "fN" (read-back byte N inverted), "zN" (loader
    // subcommand N unanswered), "lN" (N LoaderReadDataBlocks answered), "cN" (the port closed
    // with progress step N). The firmware command's tests run a refused load mode; the transfer
    // fault tests run a unit left in its loader, and the firmware's writes and read-backs cut
    // short. Each row: what it is, the verify length (0: the setup write), the unit's script, the
    // result, its text, the requests' outline and the events.
    using Text = std::string;
    const std::tuple<const char*, int, const char*, int, Text, Text, Text> rows[] = {
        {"firmware", 16, "", 0, OK, FIRMWARE + " Z/2x169 Z/4x12 Z/1", FIRMWARE_EVENTS},
        {"loader silent after load mode", 16, "l0", -1, OK, "R/7 R/15:1 Z/3x2", "#0"},
        {"beyond byte 8, verify 8", 8, "f8", 0, OK, FIRMWARE + " Z/2x169 Z/4x12 Z/1",
         FIRMWARE_EVENTS},
        {"beyond byte 8, verify 16", 16, "f8", -1, VERIFY, FIRMWARE + " Z/2", "#1 Sx169 #2 P0 #0"},
        {"byte 7, verify 8", 8, "f7", -1, VERIFY, FIRMWARE + " Z/2", "#1 Sx169 #2 P0 #0"},
        {"setup", 0, "", 0, OK, SETUP + " Z/2x256 Z/4x4 Z/1", "Sx256 P0 Sx260"},
        {"setup, WriteBlock 200 fails", 0, "w200", -1, MODE, "R/7 R/15:2 Z/3x3 Z/0x200", "Sx199"},
        {"setup, no LoaderReadDataBlock after writing", 0, "l3", -1, VERIFY, SETUP, "Sx256"},
        {"setup, read-back differs in its last byte", 0, "f15", -1, VERIFY, SETUP + " Z/2",
         "Sx256 P0"},
        {"setup, ReadBlock unanswered", 0, "z2", -1, REQUEST, SETUP + " Z/2", "Sx256 P0"},
        {"setup, WriteDataRecord unanswered", 0, "z4", -1, DATA, SETUP + " Z/2x256 Z/4",
         "Sx256 P0 Sx256"},
        // A restart that cannot be sent leaves the unit in its loader: no success.
        {"firmware, port closed before the restart", 16, "c350", -1, DATA,
         FIRMWARE + " Z/2x169 Z/4x12", FIRMWARE_EVENTS},
        {"setup, port closed before the restart", 0, "c516", -1, DATA, SETUP + " Z/2x256 Z/4x4",
         "Sx256 P0 Sx260"}};
    PtyPeer peer;
    ASSERT_TRUE(OpenPtyPeer(peer));
    constexpr ProgramPhaseListener NOTE_PHASE = [](int phase) {
        Fold(Events, "#" + std::to_string(phase));
    };
    AddProgramPhaseListener(NOTE_PHASE);
    ScriptedUnit unit("");
    std::mutex lock;
    std::atomic<bool> stop{false};
    std::thread serving([&] {
        while (!stop) {
            Bytes frame = PeerRead(peer, 1, 20);
            if (frame.empty())
                continue;
            Bytes rest = PeerRead(peer, frame[0] == 'R' ? 13 : 21, PATIENCE_MS);
            frame.insert(frame.end(), rest.begin(), rest.end());
            std::lock_guard<std::mutex> hold(lock);
            bool load = frame[0] == 'R' && frame[1] == 15;
            Fold(unit.outline, char(frame[0]) + ("/" + std::to_string(frame[1])) +
                                   (load ? ":" + std::to_string(frame[10]) : ""));
            Bytes reply = unit.Answer(frame);
            if (!reply.empty())
                PeerWrite(peer, reply);
        }
    });
    for (const auto& [what, verify, script, wanted, said, outline, events] : rows) {
        SCOPED_TRACE(what);
        // The link, at first and after a row that closed the port.
        ASSERT_TRUE(PortOpen.load() == 1 || StartLinkOn(peer.slavePath));
        {
            std::lock_guard<std::mutex> hold(lock);
            unit = ScriptedUnit(script);
        }
        Events.clear();
        std::string_view text;
        int result = verify
                         ? ProgramFirmware(text, verify, RecordProgress)
                         : WriteSetupTables(text, OutputTable{}, OutputTable{}, {}, RecordProgress);
        EXPECT_EQ(std::pair(result, text), std::pair(wanted, std::string_view(said)));
        // The restart is sent without a reply awaited: the next row's first request would be
        // refused while the comm thread still holds it, even after the unit has read it.
        EXPECT_TRUE(
            WaitFor([&] { return Restarts == (result == 0) && TxLen.load() == 0; }, PATIENCE_MS));
        EXPECT_EQ(Events, events);
        // Addresses and payloads are the link's frames, checked byte for byte with the link;
        // what the setup write carries reaches the simulated unit in the transfer tests.
        std::lock_guard<std::mutex> hold(lock);
        EXPECT_EQ(unit.outline, outline);
    }
    stop = true;
    serving.join();
    StopLink();
    ClosePtyPeer(peer);
    RemoveProgramPhaseListener(NOTE_PHASE);
}

} // namespace
