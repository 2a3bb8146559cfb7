// Live data under faults: line noise on the unit's frames while the display decodes them,
// and a unit that vanishes under `mq6 live` and comes back on another port.
#include "discovery/fake_sysfs.h"
#include "display/display_thread.h"
#include "display/live_decode.h"
#include "faults/fault_table.h"
#include "firmware/test_files.h"
#include "link/link.h"
#include "platform/ticks.h"
#include "settings/config.h"
#include "support/pty_peer.h"
#include "support/sim_process.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// A minute of the unit's 50 frames a second is 3000 frames; sent at 250 a second they cross
// the same decoder in 12 s, and noise hits bytes, not seconds, so the faults are the same.
constexpr long NOISY_FRAMES = 3000;
constexpr char FAST_RATE[] = "250";
constexpr char BYTE_ERROR_RATE[] = "0.001";
constexpr double NOISY_LAMBDA = 0.90;
constexpr double CLEAN_LAMBDA = 1.10;
constexpr int32_t UNIT_FACTOR_X100 = 1470; // the simulator's default stoichiometric factor

// Every frame the display took, sorted by whether its values are ones the unit sent.
struct ShownFrames {
    double lambda = NOISY_LAMBDA; // the constant the running unit sends
    long shown = 0;
    long fromUnit = 0;
    long foreign = 0; // values no frame of the unit carried: a damaged frame was shown
    bool cleanShown = false;
};
ShownFrames Shown;

bool ShowsLambda(double lambda) {
    return LambdaX100.load(std::memory_order_acquire) == std::lround(lambda * 100) &&
           AfrX10.load(std::memory_order_acquire) ==
               std::lround(lambda * UNIT_FACTOR_X100 / 10.0) &&
           LiveFactorX100.load(std::memory_order_acquire) == UNIT_FACTOR_X100 &&
           std::fabs(LiveLambda.load(std::memory_order_acquire) - lambda) < 0.001;
}

void RecordShown() {
    ++Shown.shown;
    if (ShowsLambda(Shown.lambda)) {
        ++Shown.fromUnit;
        Shown.cleanShown = Shown.lambda == CLEAN_LAMBDA;
    } else if (Shown.lambda == CLEAN_LAMBDA && !Shown.cleanShown && ShowsLambda(NOISY_LAMBDA)) {
        ++Shown.fromUnit; // the noisy unit's last frames, still on their way when it went
    } else {
        ++Shown.foreign;
    }
}

// Runs display passes until condition holds or timeout_ms passes.
bool PassUntil(const std::function<bool()>& condition, int timeoutMs) {
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (Clock::now() > deadline)
            return false;
        DisplayThreadPass();
        SleepMs(1);
    }
    return true;
}

void PointLink(const std::string& link, const SimProcess& sim) {
    fs::remove(link);
    fs::create_symlink(fs::read_symlink(sim.path), link);
}

TEST(LiveFaultsTest, LineNoiseShowsNoDamagedFrameAndTheDisplayRecovers) {
    TempDir dir;
    std::string port = dir.File("unit");
    SimProcess noisy = StartSim({"--profile", "const:0.90", "--rate", FAST_RATE, "--noise",
                                 BYTE_ERROR_RATE, "--seed", "11"});
    ASSERT_FALSE(noisy.path.empty());
    PointLink(port, noisy);
    ASSERT_TRUE(StartLinkOn(port));
    ResetLiveState();
    ResponseRate = 100; // every frame shown as it came, so each shown value names its frame
    Shown = ShownFrames{};
    LastLiveRequestTick = TickCount.load() - LIVE_REQUEST_TICKS - 1;
    ViewMode = VIEW_AFR_LAMBDA;
    LiveFrameHook = RecordShown;

    bool noisyDone = PassUntil([] { return Shown.shown >= NOISY_FRAMES; }, 120000);
    ShownFrames noisyPhase = Shown;
    StopSim(noisy);
    // The noise stops: the unit comes back clean on the same port. Shown values are not
    // smoothed, so the first clean frame taken must show the clean value.
    SimProcess clean = StartSim({"--profile", "const:1.10", "--rate", FAST_RATE});
    PointLink(port, clean);
    Shown.lambda = CLEAN_LAMBDA;
    bool back = PassUntil([] { return Shown.cleanShown; }, 30000);
    long foreignAfter = Shown.foreign - noisyPhase.foreign;
    // And it stays: a further second of frames.
    long target = Shown.shown + 250;
    PassUntil([target] { return Shown.shown >= target; }, 30000);

    LiveFrameHook = nullptr;
    ViewMode = VIEW_NONE;
    StopLink();
    StopSim(clean);
    ResponseRate = 50;

    EXPECT_TRUE(noisyDone) << noisyPhase.shown << " frames shown";
    EXPECT_EQ(noisyPhase.foreign, 0) << "values shown that no frame of the unit carried";
    EXPECT_TRUE(back) << "display did not come back after the noise stopped";
    EXPECT_EQ(foreignAfter, 0) << "other values shown before the clean unit's";
    EXPECT_EQ(Shown.foreign, noisyPhase.foreign) << "values shown after the noise stopped";
    EXPECT_TRUE(Shown.cleanShown);
    CountFaultTries("live, byte errors 1e-3 (shown frames)", noisyPhase.shown, noisyPhase.fromUnit,
                    noisyPhase.foreign);
    CountFaultTry("live, noise stops: next frame shown right", back && foreignAfter == 0,
                  foreignAfter != 0);
}

// The unit's adapter as udev shows it: a device in the tree whose terminal is the pty.
void PlugAdapter(const std::string& base, const std::string& usbPath, const std::string& serial,
                 const std::string& terminal, const std::string& pty) {
    fs::remove_all(base + "/sys");
    fs::remove_all(base + "/by-id");
    fs::create_directories(base + "/sys/bus/usb/devices");
    fs::create_directories(base + "/dev");
    fs::create_symlink(pty, base + "/dev/" + terminal);
    AddFakeUsbDevice(base + "/sys", {.usbPath = usbPath, .serial = serial, .terminal = terminal});
    fs::create_directories(base + "/by-id");
    fs::create_symlink("../dev/" + terminal,
                       base + "/by-id/usb-FTDI_MQ-6_" + serial + "-if00-port0");
}

TEST(LiveFaultsTest, UnitVanishingUnderLiveIsFoundAgainOnAnotherPort) {
    std::string base = MakeTempDir();
    ASSERT_FALSE(base.empty());
    // mq6 live asks for the stream at once and again every 2 s: the second request (28 bytes
    // in) is the last the unit takes before it goes, for 1.5 s.
    SimProcess sim = StartSim({"--vanish-after", "28", "--reappear-ms", "1500", "--rate", "50"});
    ASSERT_FALSE(sim.path.empty());
    PlugAdapter(base, "1-1.3", "A10K2QX7", "ttyUSB5", fs::read_symlink(sim.path));
    // mq6 live as the user would run it, finding the unit through the fake tree.
    setenv("MQ6_SYSFS_ROOT", (base + "/sys").c_str(), 1);
    setenv("MQ6_SERIAL_BY_ID_DIR", (base + "/by-id").c_str(), 1);
    setenv("MQ6_UNIT_LINK", (base + "/mq6").c_str(), 1);
    ProcessResult live;
    std::thread runner([&] {
        live = RunProcess(MQ6_CLI_PATH, {"-v", "live", "--seconds", "8", "--csv", "-"}, base);
    });
    std::string second;
    bool reappeared = WaitFor(
        [&] {
            std::istringstream lines(ReadText(sim.dir + "/stdout"));
            std::string line;
            return std::getline(lines, line) && std::getline(lines, second) && !second.empty();
        },
        15000);
    // The adapter comes back in another socket, under another terminal and by-id name, and
    // the old names are gone: only a new search finds it.
    if (reappeared)
        PlugAdapter(base, "1-2", "A10K2QX8", "ttyUSB6", second);
    runner.join();
    for (const char* name : {"MQ6_SYSFS_ROOT", "MQ6_SERIAL_BY_ID_DIR", "MQ6_UNIT_LINK"})
        unsetenv(name);
    StopSim(sim);
    RemoveTree(base);
    const std::string& csv = live.out;
    const std::string& err = live.err;

    // Rows: time_s,lambda,afr,lambda_raw,stoich. The default profile sweeps 0.80 to 1.20.
    std::istringstream rows(csv);
    std::string row;
    std::getline(rows, row);
    std::vector<double> times;
    long outOfRange = 0;
    while (std::getline(rows, row)) {
        double time = 0;
        double lambda = 0;
        if (std::sscanf(row.c_str(), "%lf,%lf", &time, &lambda) != 2)
            continue;
        times.push_back(time);
        if (lambda < 0.79 || lambda > 1.21)
            ++outOfRange;
    }
    double gapEnd = 0;
    double widestGap = 0;
    for (size_t i = 1; i < times.size(); ++i)
        if (times[i] - times[i - 1] > widestGap) {
            widestGap = times[i] - times[i - 1];
            gapEnd = times[i];
        }
    long rowsAfter =
        std::count_if(times.begin(), times.end(), [&](double t) { return t >= gapEnd; });

    EXPECT_TRUE(reappeared) << "the simulator never came back";
    EXPECT_EQ(live.status, 0) << err;
    EXPECT_GE(widestGap, 1.0) << "no outage seen in the rows";
    EXPECT_GE(rowsAfter, 20) << csv << err;
    EXPECT_EQ(outOfRange, 0) << csv;
    CountFaultTry("mq6 live, unit vanishes 1.5 s, new port",
                  reappeared && live.status == 0 && rowsAfter >= 20, outOfRange != 0);
}

} // namespace
