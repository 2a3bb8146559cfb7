// mq6 doctor's verdicts over hand-made facts: the thresholds, the unit's own rate from uneven
// intervals, the mends, and what each check needs of the ones before it.
#include "cli/doctor_judge.h"
#include "firmware/test_files.h"
#include "link/serial.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

// A sound run: the unit on a found port that its user may open, 5 s at 20 frames a second (100
// frames, 99 intervals of 0.05 s, lambda 0.8 to 1.0, mean 0.9) and the default setup.
DoctorFacts Sound() {
    DoctorFacts f;
    f.program = {"1.0.0", 1, 1, false, false};
    f.port.port = "/dev/ttyUSB0";
    f.port.how = "found in sysfs";
    PortAccess& system = f.access.system;
    system.described = system.groupMayUse = system.mayOpen = true;
    system.node = "crw-rw---- root:dialout";
    system.group = "dialout";
    system.user = "ann";
    f.unit = {true, true, 21.0, "MQ-6 LSU 4.2 Controller", true, 1, 1, 0, true, ""};
    f.live = {5.0,  false, 100, 0,   0, 0, 100, false, std::vector<double>(99, 0.05),
              0.05, 0.8,   1.0, 90.0};
    ChannelSetup channel{0, 1000, 50, 2000, 128, 3};
    f.setup = {1470, 0, 128, {channel, channel}};
    return f;
}

// Adapters written "usb:product:attached", separated by blanks.
void Attach(DoctorFacts& f, const std::string& adapters, int chosen) {
    for (const std::string& adapter : Split(adapters, ' ')) {
        std::vector<std::string> part = Split(adapter, ':');
        PortCandidate& c = f.port.candidates.emplace_back();
        std::snprintf(c.location.data(), c.location.size(), "%s", part[0].c_str());
        std::snprintf(c.product.data(), c.product.size(), "%s", part[1].c_str());
        std::snprintf(c.port.data(), c.port.size(), "/dev/%s", part[0].c_str());
        c.attached = part[2] == "1", c.named = part[1] == "MQ-6";
    }
    f.port.chosen = chosen;
}

// A program holding the port, its command line written with blanks.
void Hold(DoctorFacts& f, const std::string& command) {
    std::vector<std::string> words = Split(command, ' ');
    f.access.system.holders.push_back({words[0].substr(words[0].rfind('/') + 1), 900, words});
}

// Intervals written "seconds*count", separated by blanks.
void Intervals(DoctorFacts& f, const std::string& runs) {
    f.live.intervals.clear();
    for (const std::string& run : Split(runs, ' '))
        f.live.intervals.insert(f.live.intervals.end(), std::stoul(Split(run, '*')[1]),
                                std::stod(run));
}

using F = DoctorFacts;

// Each row changes the sound facts; its text is the check, the verdict and words in the check's
// lines ("!words": not in them).
TEST(DoctorJudgeTest, EachVerdictAndItsWordsFollowFromTheFacts) {
    const std::pair<std::function<void(F&)>, const char*> rows[] = {
        {[](F&) {}, "program | ok | 1.01, the maker's image and setup key\n"},
        {[](F& f) { f.program.sampleKey = true; }, "program | warn | ; its setup key: the SAMPLE"},
        {[](F& f) { Attach(f, "1-1:MQ-6:1", 0); },
         "port | ok | found in sysfs; 1 FTDI 0403:6001 adapter\n"},
        {[](F& f) { f.port.port.clear(); },
         "port | fail | no MQ-6 unit found; no FTDI 0403:6001 adapter\n"},
        // Without --port the first of the units is taken: the user is told of the others. Another
        // adapter, or a unit not attached now, is no other unit.
        {[](F& f) { Attach(f, "1-1:MQ-6:1 1-2:MQ-6:1 1-3:FT232R:1 1-4:MQ-6:0", 0); },
         "port | warn | 4 FTDI 0403:6001 adapters; another MQ-6 unit is attached (1-2)\n"},
        {[](F& f) { Attach(f, "1-1:MQ-6:1 1-2:MQ-6:1 1-3:MQ-6:1", 1); },
         "port | warn | 2 other MQ-6 units are attached (1-1, 1-3)\n"},
        {[](F& f) { Attach(f, "1-1:MQ-6:1 1-2:MQ-6:1", 0), f.port.given = true; },
         "port | ok | !attached ("},
        {[](F& f) { f.access.system.mayOpen = false; },
         "access | fail | -> join the group dialout (sudo usermod -aG dialout ann); the change"},
        {[](F& f) { f.access.system.mayOpen = false, f.access.system.groupPending = true; },
         "access | fail | ann is in the group dialout but this login began before"},
        {[](F& f) { f.access.system.mayOpen = f.access.system.groupMayUse = false; },
         "access | fail | give the unit's port, or install the Debian package"},
        {[](F& f) {
             f.access.system.mayOpen = f.access.system.groupMayUse = false;
             f.access.system.udevRule = "/lib/udev/rules.d/60-mq6.rules";
         },
         "access | fail | give the unit's port, /dev/mq6 while the unit is plugged in (the udev "
         "rule /lib/udev/rules.d/60-mq6.rules names it)\n"},
        {[](F& f) { Hold(f, "/bin/minicom -D /dev/ttyUSB0"); },
         "access | fail | in use by another program: minicom (pid 900)\n                 -> close"},
        {[](F& f) { Hold(f, "/bin/mq6 setup --port P write"); },
         "access | fail | -> wait for it: mq6 (pid 900) is writing into the unit"},
        {[](F& f) { Hold(f, "mq6 firmware update --yes"); }, "access | fail | -> wait for it"},
        {[](F& f) { Hold(f, "mq6 setup write --dry-run"); }, "access | fail | -> close the"},
        {[](F& f) { f.access.openFailure = SERIAL_OPEN_BUSY, f.access.system.exclusive = true; },
         "access | fail | no program of this user holds it; cannot open /dev/ttyUSB0: in use by "
         "another program\n                 -> another user's program holds it, or a program "
         "killed before it could give the port up (kill -9) left it in exclusive mode; if no "
         "program uses it, unplug the adapter and plug it in again"},
        {[](F& f) { f.access.system = PortAccess{}, f.access.openFailure = SERIAL_OPEN_MISSING; },
         "access | fail | fail    cannot open /dev/ttyUSB0: no such file or device\n"},
        {[](F&) {}, "latency | ok | no FTDI adapter leads to /dev/ttyUSB0: no latency timer\n"},
        {[](F& f) { f.port.chosen = 0, f.latency.udevRule = "/lib/udev/rules.d/60-mq6.rules"; },
         "latency | warn | does not show the adapter's latency timer; udev rule "
         "/lib/udev/rules.d/60-mq6.rules\n"},
        {[](F& f) { f.port.chosen = 0, f.port.latencyMs = 0; },
         "latency | warn | latency timer 0 ms; the adapter holds"},
        {[](F& f) { f.port.chosen = 0, f.port.latencyMs = 1; }, "latency | ok | timer 1 ms\n"},
        {[](F& f) { f.port.chosen = 0, f.port.latencyMs = 4, f.latency.lowLatency = true; },
         "latency | ok | 4 ms; mq6 put the port in low-latency mode (1 ms while it has it)\n"},
        {[](F& f) { f.port.chosen = 0, f.port.latencyMs = 5; },
         "latency | warn | 5 ms; the adapter holds each reply back up to 5 ms\n"},
        {[](F& f) { f.unit.read = false; },
         "unit | fail | answered, but no data block came through whole (21 ms)\n"},
        {[](F& f) { f.unit.read = f.unit.answered = false; },
         "unit | fail | no answer to the data block read (21 ms)\n"},
        {[](F&) {}, "unit | ok | version 1.01: The Firmware Versions Match, There is no Need to "
                    "Update; running; the sample firmware\n"},
        {[](F& f) { f.unit.minor = 0; },
         "unit | warn | version 1.00: This is a Newer Version of Firmware, Please Update; "
         "running; the sample firmware\n                 -> mq6 firmware update\n"},
        {[](F& f) {
             f.unit.versionKnown = f.unit.sampleFirmware = false, f.program.sampleKey = true;
         },
         "unit | warn | no version in its banner; running; not the sample firmware, so this"},
        {[](F& f) { f.unit.mode = 2, f.unit.unfinishedJob = "JOB"; },
         "unit | fail | ; unit mode 2; the sample firmware\n                 -> JOB\n"},
        {[](F&) {}, "live | ok | 5.0 s: 100 frames, 20.0 a second of the unit's 20.0; 0 bad sum, "
                    "0 cut short (0.00 %); longest gap 0.05 s; 0 reconnections; lambda 0.800 to "
                    "1.000, mean 0.900\n"},
        // The shares and the gap are warns only above their limits: 1 in 1000, 0.5 s.
        {[](F& f) { f.live.good = 999, f.live.badSum = 1; },
         "live | ok | 1 bad sum, 0 cut short (0.10 %)"},
        {[](F& f) { f.live.good = 998, f.live.badSum = f.live.cutShort = 1; },
         "live | warn | (0.20 %); longest gap 0.05 s; 0 reconnections; lambda 0.800 to 1.000, "
         "mean 0.900\n                 -> usual causes: the cable"},
        {[](F& f) { f.live.longestGap = 0.5; }, "live | ok | longest gap 0.50 s"},
        {[](F& f) { f.live.longestGap = 0.51; }, "live | warn | longest gap 0.51 s"},
        {[](F& f) { f.live.reconnections = 1; }, "live | warn | ; 1 reconnections;"},
        {[](F& f) { f.live.reconnections = 1, f.live.portGone = true; },
         "live | fail | 0 reconnections; the port went away and did not come back\n"},
        {[](F& f) { f.live.good = f.live.frames = 0, f.live.badSum = 3; },
         "live | fail | no good live frame: usual causes"},
        {[](F& f) { f.live.good = f.live.frames = 0; },
         "live | fail | no good live frame: power it off and on\n"},
        {[](F& f) { f.live.interrupted = true; }, "live | ok | interrupted after 5.0 s: 100"},
        // The unit's own rate: the mean of the intervals within half and one and a half times
        // the median one. Frames lost on the way (0.1 s) and a unit held up, then sending a
        // burst, leave it at 20 a second, 1 / 0.05.
        {[](F& f) { Intervals(f, "0.05*10 0.1*3"); }, "live | ok | of the unit's 20.0;"},
        {[](F& f) { Intervals(f, "0.05*8 0.4*1 0.0125*7"); }, "live | ok | of the unit's 20.0;"},
        {[](F& f) { Intervals(f, "0*99"); }, "live | ok | of the unit's 0.0;"}, // all at once
        {[](F&) {}, "setup | ok | every value inside the view's ranges; channel B: NB, "
                    "narrowband, switching at lambda 1.000\n"},
        // 1 + (138 - 128) x 0.001 = 1.010.
        {[](F& f) {
             f.setup.StoichAfr = 50, f.setup.NbOffset = 138;
             f.setup.Channel[0].Volts1 = 75, f.setup.Channel[1].ResponseValue = 66;
         },
         "setup | warn | outside the view's ranges: stoich_afr 0.50 (1 to 210), a1_volts 7.5 (0 "
         "to 5), b_response code 66 (none of the seven rates); channel B: NB, narrowband, "
         "switching at lambda 1.010\n"},
        {[](F& f) { f.setup.SetupFlags = 2; }, "setup | ok | channel B: WB, linear\n"},
        // What a check needs of the ones before it.
        {[](F& f) { f.port.port.clear(); }, "latency | skipped | no port to look at\n"},
        {[](F& f) { f.access.openFailure = SERIAL_OPEN_DENIED; },
         "unit | skipped | the port did not open\n"},
        {[](F& f) { f.unit.read = false; }, "setup | skipped | the unit did not answer\n"},
        {[](F& f) { f.unit.unfinishedJob = "JOB"; }, "live | skipped | the unit is not running\n"}};
    for (const auto& [change, expected] : rows) {
        SCOPED_TRACE(expected);
        std::vector<std::string> part = Split(expected, '|'); // check, verdict, words
        auto row = std::find_if(CHECK_TABLE.begin(), CHECK_TABLE.end(), [&](const CheckRow& c) {
            return c.name + std::string(" ") == part[0];
        });
        auto name = static_cast<CheckName>(row - CHECK_TABLE.begin());
        DoctorFacts facts = Sound();
        change(facts);
        CheckVerdict verdict = JudgeCheck(name, facts);
        std::string text = CheckText(name, verdict), words = part[2].substr(1);
        EXPECT_EQ(STATUS_NAMES[verdict.status] + std::string(" "), part[1].substr(1)) << text;
        bool absent = words[0] == '!';
        EXPECT_EQ(text.find(words.substr(absent ? 1 : 0)) == std::string::npos, absent) << text;
    }
    std::array<CheckVerdict, CHECK_COUNT> verdicts; // the last line of a report
    verdicts[CHECK_LIVE].status = CHECK_OK;
    verdicts[CHECK_UNIT].status = CHECK_FAIL;
    EXPECT_EQ(SummaryText(verdicts), "7 checks: 1 ok, 1 fail, 5 skipped\n");
}

} // namespace
