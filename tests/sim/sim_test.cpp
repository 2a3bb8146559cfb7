// mq6-sim over its real pseudo-terminal, driven with hand-built frames.
#include "support/sim_process.h"

#include "firmware/cipher_key.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint8_t BLANK = 0x20;

int OpenRawPort(const std::string& path) {
    int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    termios line{};
    tcgetattr(fd, &line);
    cfmakeraw(&line);
    cfsetispeed(&line, B57600);
    cfsetospeed(&line, B57600);
    tcsetattr(fd, TCSANOW, &line);
    return fd;
}

uint16_t Sum(const Bytes& bytes, size_t count) {
    unsigned sum = 0;
    for (size_t i = 0; i < count; ++i)
        sum += bytes[i];
    return static_cast<uint16_t>(sum);
}

Bytes Frame(uint8_t classByte, uint8_t subcommand, const Bytes& payload) {
    Bytes frame{classByte, subcommand};
    frame.insert(frame.end(), payload.begin(), payload.end());
    uint16_t sum = Sum(frame, frame.size());
    frame.push_back(static_cast<uint8_t>(sum >> 8));
    frame.push_back(static_cast<uint8_t>(sum));
    return frame;
}

bool SumOk(const Bytes& frame) {
    size_t n = frame.size();
    return n >= 4 && Sum(frame, n - 2) == ((frame[n - 2] << 8) | frame[n - 1]);
}

Bytes ReadDataBlockFrame() {
    return Frame('R', 7, Bytes(10, BLANK));
}

Bytes StreamFrame(uint8_t mode) {
    Bytes payload(10, 0);
    payload[0] = mode;
    return Frame('R', 0, payload);
}

Bytes EnterLoadModeFrame(uint8_t mode) {
    Bytes payload{'L', 'o', 'a', 'd', 'M', 'o', 'd', 'e', mode, BLANK};
    return Frame('R', 15, payload);
}

Bytes LoaderFrame(uint8_t subcommand, const Bytes& record) {
    Bytes payload = record;
    payload.resize(18, BLANK);
    return Frame('Z', subcommand, payload);
}

Bytes WriteBlockFrame(uint16_t address, const Bytes& data) {
    Bytes record{static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address)};
    record.insert(record.end(), data.begin(), data.end());
    return LoaderFrame(0, record);
}

Bytes ReadBlockFrame(uint16_t address) {
    return LoaderFrame(2, {static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address), 7});
}

Bytes WriteDataRecordFrame(uint8_t offset, const Bytes& data) {
    Bytes record{offset};
    record.insert(record.end(), data.begin(), data.end());
    return LoaderFrame(4, record);
}

const Bytes ReplyA{'Z', 'A', 0, 0, 0, 0, 0x9B};
const Bytes ReplyN{'Z', 'N', 0, 0, 0, 0, 0xA8};

// Exactly count bytes, or fewer when timeout_ms passes first.
Bytes ReadBytes(int fd, size_t count, int timeoutMs) {
    Bytes bytes;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (bytes.size() < count) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                        deadline - std::chrono::steady_clock::now())
                        .count();
        if (left <= 0)
            break;
        pollfd entry{fd, POLLIN, 0};
        if (poll(&entry, 1, static_cast<int>(left)) <= 0 || !(entry.revents & POLLIN))
            break;
        std::array<uint8_t, 512> chunk;
        ssize_t got = read(fd, chunk.data(), std::min(chunk.size(), count - bytes.size()));
        if (got <= 0)
            break;
        bytes.insert(bytes.end(), chunk.begin(), chunk.begin() + got);
    }
    return bytes;
}

void Send(int fd, const Bytes& bytes) {
    ASSERT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
}

Bytes Exchange(int fd, const Bytes& request, size_t replyLength) {
    Send(fd, request);
    return ReadBytes(fd, replyLength, 1000);
}

// Nothing arrives within the time the utility would wait for a reply's first bytes.
bool StaysSilent(int fd) {
    return ReadBytes(fd, 1, 250).empty();
}

Bytes Slice(const Bytes& bytes, size_t from, size_t count) {
    return Bytes(bytes.begin() + static_cast<long>(from),
                 bytes.begin() + static_cast<long>(from + count));
}

std::string BlockText(const Bytes& reply, size_t offset, size_t length) {
    Bytes text = Slice(reply, 2 + offset, length);
    return std::string(text.begin(), text.end());
}

double RawToLambda(uint32_t raw) {
    double x = raw / 256.0;
    return raw > 0x7FFF00 ? (x - 32767.0) / 158.0 : 0.67 + x / 32767.0;
}

// The utility's side of the setup-table cipher, written out here so that the unit's
// deciphering is checked against an independent encipher.
void EncipherTables(Bytes& tables) {
    for (size_t block = 0; block < tables.size() / 16; ++block) {
        const uint32_t k0 = SETUP_KEY_WORD0, k1 = SETUP_KEY_WORD1, k3 = SETUP_KEY_WORD3;
        const uint32_t k2 = SETUP_KEY_WORD2 + static_cast<uint32_t>(block) * SETUP_KEY_STEP;
        for (size_t pair = 0; pair < 2; ++pair) {
            uint8_t* bytes = tables.data() + block * 16 + pair * 8;
            auto load = [](const uint8_t* p) {
                return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) |
                       p[3];
            };
            uint32_t y = load(bytes), z = load(bytes + 4), sum = 0;
            for (int cycle = 0; cycle < 16; ++cycle) {
                sum += 0x9E3779B9;
                y += ((z << 4) + k0) ^ (z + sum) ^ ((z >> 5) + k1);
                z += ((y << 4) + k2) ^ (y + sum) ^ ((y >> 5) + k3);
            }
            for (int i = 0; i < 4; ++i) {
                bytes[i] = static_cast<uint8_t>(y >> (24 - 8 * i));
                bytes[4 + i] = static_cast<uint8_t>(z >> (24 - 8 * i));
            }
        }
    }
}

Bytes ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// Exit status of mq6-sim run with args, its stdout in output.
int RunSimToEnd(const std::string& args, std::string& output) {
    std::string command = std::string(MQ6_SIM_PATH) + " " + args + " 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return -1;
    std::array<char, 256> chunk;
    output.clear();
    while (fgets(chunk.data(), chunk.size(), pipe) != nullptr)
        output += chunk.data();
    int status = pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class SimTest : public ::testing::Test {
  protected:
    SimProcess sim;
    int fd = -1;
    std::string scratch; // a directory for files that outlive one simulator run

    void SetUp() override {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "mq6-sim-test.XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        scratch = pattern;
    }

    void TearDown() override {
        StopUnit();
        std::error_code ignored;
        std::filesystem::remove_all(scratch, ignored);
    }

    void StartUnit(const std::vector<std::string>& args) {
        sim = StartSim(args);
        ASSERT_GT(sim.pid, 0) << "mq6-sim did not start";
        fd = OpenRawPort(sim.path);
        ASSERT_GE(fd, 0);
    }

    void StopUnit() {
        if (fd >= 0)
            close(fd);
        fd = -1;
        StopSim(sim);
    }
};

// ---- Application side -----------------------------------------------------------------

TEST_F(SimTest, WorkedFramesGetTheirRepliesAndAreLogged) {
    std::string log = scratch + "/requests.log";
    StartUnit({"--log", log, "--unit-mode", "2", "--version", "1.00"});

    const Bytes readDataBlock{0x52, 0x07, 0x20, 0x20, 0x20, 0x20, 0x20,
                              0x20, 0x20, 0x20, 0x20, 0x20, 0x01, 0x99};
    Bytes block = Exchange(fd, readDataBlock, 260);
    ASSERT_EQ(block.size(), 260u);
    EXPECT_EQ(Slice(block, 0, 2), Bytes({'W', 'E'}));
    EXPECT_TRUE(SumOk(block));
    EXPECT_EQ(Slice(block, 6, 20),
              Bytes({0x05, 0xBE, 0x00, 0x00, 0x00, 0x40, 0x40, 0x00, 0x32, 0x03,
                     0xE8, 0x07, 0xD0, 0x00, 0x32, 0x03, 0xE8, 0x07, 0xD0, 0x80}));
    EXPECT_EQ(Slice(block, 26, 44), Bytes(44, 0x5A));
    EXPECT_EQ(BlockText(block, 0x80, 25), "MQ-6 LSU 4.2 Controller. ");
    EXPECT_EQ(BlockText(block, 0x99, 4), "Copy");
    EXPECT_EQ(BlockText(block, 0xBA, 21), "All rights reserved. ");
    EXPECT_EQ(BlockText(block, 0xCF, 13), "Version: 1.00");
    EXPECT_EQ(block[2 + 0xDC], 0);
    EXPECT_EQ(block[2 + 255], 2);

    const Bytes streamOff{0x52, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                          0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x52};
    EXPECT_EQ(Exchange(fd, streamOff, 7), Bytes({0x57, 0x41, 0x00, 0x00, 0x00, 0x00, 0x98}));

    const Bytes enterLoad{0x52, 0x0F, 0x4C, 0x6F, 0x61, 0x64, 0x4D,
                          0x6F, 0x64, 0x65, 0x01, 0x20, 0x03, 0x87};
    EXPECT_EQ(Exchange(fd, enterLoad, 7), ReplyA);

    Bytes loaderRead{0x5A, 0x03};
    loaderRead.insert(loaderRead.end(), 18, 0x20);
    loaderRead.insert(loaderRead.end(), {0x02, 0x9D});
    Bytes fromLoader = Exchange(fd, loaderRead, 260);
    ASSERT_EQ(fromLoader.size(), 260u);
    EXPECT_EQ(Slice(fromLoader, 0, 2), Bytes({'Z', 'E'}));
    EXPECT_TRUE(SumOk(fromLoader));
    EXPECT_EQ(fromLoader[2 + 255], 1) << "the mode byte follows the load mode";

    Bytes leave{0x5A, 0x01};
    leave.insert(leave.end(), 18, 0x20);
    leave.insert(leave.end(), {0x02, 0x9B});
    Send(fd, leave);
    EXPECT_TRUE(StaysSilent(fd));
    Bytes restarted = Exchange(fd, readDataBlock, 260);
    ASSERT_EQ(restarted.size(), 260u);
    EXPECT_EQ(restarted[2 + 255], 0) << "a finished load clears the mode byte";

    std::ifstream lines(log);
    std::vector<std::string> logged;
    for (std::string line; std::getline(lines, line);)
        logged.push_back(line);
    ASSERT_EQ(logged.size(), 6u);
    EXPECT_EQ(logged[0], "52 07 20 20 20 20 20 20 20 20 20 20 01 99");
}

TEST_F(SimTest, BadSumsAndStrayBytesAreSkipped) {
    StartUnit({});
    Bytes badSum = ReadDataBlockFrame();
    badSum.back() ^= 1;
    Send(fd, badSum);
    EXPECT_TRUE(StaysSilent(fd));

    // Stray bytes, one of them a class byte, ahead of a good frame: the frame is still found.
    Bytes noisy{0x00, 'R', 0x13, 0x37};
    Bytes good = ReadDataBlockFrame();
    noisy.insert(noisy.end(), good.begin(), good.end());
    Bytes reply = Exchange(fd, noisy, 260);
    ASSERT_EQ(reply.size(), 260u);
    EXPECT_TRUE(SumOk(reply));
    EXPECT_TRUE(StaysSilent(fd)) << "one reply only";

    // Malformed requests are refused rather than half obeyed.
    EXPECT_EQ(Exchange(fd, StreamFrame(5), 7), Bytes({'W', 'N', 0, 0, 0, 0, 0xA5}));
    EXPECT_EQ(Exchange(fd, Frame('R', 7, Bytes(10, 0)), 7), Bytes({'W', 'N', 0, 0, 0, 0, 0xA5}));
    EXPECT_EQ(Exchange(fd, EnterLoadModeFrame(3), 7), ReplyN);
}

TEST_F(SimTest, LiveFramesFollowTheProfileUntilStopped) {
    struct Case {
        const char* profile;
        double low, high;
    };
    for (const Case& run : {Case{"const:1.25", 1.25, 1.25}, Case{"const:3.0", 3.0, 3.0},
                            Case{"sweep:0.9:1.1:0.2", 0.9, 1.1}, Case{"sine:0.9:1.1:0.2", 0.9, 1.1},
                            Case{"step:0.9:1.1:0.2", 0.9, 1.1}}) {
        StartUnit({"--profile", run.profile, "--stoich", "14.70", "--rate", "200"});
        EXPECT_EQ(Exchange(fd, StreamFrame(8), 7), Bytes({'W', 'A', 0, 0, 0, 0, 0x98}));
        Bytes stream = ReadBytes(fd, 9 * 60, 1000);
        ASSERT_EQ(stream.size(), 9u * 60);
        double low = 1000.0, high = 0.0;
        for (size_t at = 0; at < stream.size(); at += 9) {
            Bytes frame = Slice(stream, at, 9);
            ASSERT_EQ(frame[0], 'W');
            ASSERT_TRUE(SumOk(frame));
            EXPECT_EQ((frame[5] << 8) | frame[6], 1470);
            double lambda = RawToLambda((frame[2] << 16) | (frame[3] << 8) | frame[4]);
            low = std::min(low, lambda);
            high = std::max(high, lambda);
        }
        EXPECT_NEAR(low, run.low, 0.03) << run.profile;
        EXPECT_NEAR(high, run.high, 0.03) << run.profile;
        EXPECT_GE(low, run.low - 1e-4) << run.profile;
        EXPECT_LE(high, run.high + 1e-4) << run.profile;

        // The stop reply may follow frames already queued, but it is never cut into one.
        Send(fd, StreamFrame(0));
        for (bool stopped = false; !stopped;) {
            Bytes head = ReadBytes(fd, 2, 1000);
            ASSERT_EQ(head.size(), 2u);
            ASSERT_EQ(head[0], 'W');
            stopped = head[1] == 'A';
            ASSERT_EQ(ReadBytes(fd, stopped ? 5 : 7, 1000).size(), stopped ? 5u : 7u);
        }
        EXPECT_TRUE(StaysSilent(fd));
        StopUnit();
    }
}

TEST_F(SimTest, StreamSurvivesTheClientReopeningThePort) {
    StartUnit({"--rate", "100"});
    EXPECT_EQ(Exchange(fd, StreamFrame(8), 7).size(), 7u);
    close(fd);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    fd = OpenRawPort(sim.path);
    ASSERT_GE(fd, 0);
    // Nothing stale from the 30 frames' time that nobody listened: frames come at the
    // stream's pace, and the first one starts on a frame boundary.
    EXPECT_LT(ReadBytes(fd, 9 * 20, 50).size(), 9u * 20);
    Bytes frames = ReadBytes(fd, 27, 1000);
    ASSERT_EQ(frames.size(), 27u);
    for (size_t at = 0; at < frames.size(); at += 9) {
        EXPECT_EQ(frames[at], 'W');
        EXPECT_TRUE(SumOk(Slice(frames, at, 9)));
    }
}

TEST_F(SimTest, BaudPacingTakesTheLineTime) {
    StartUnit({"--baud", "19200"});
    auto start = std::chrono::steady_clock::now();
    Bytes reply = Exchange(fd, ReadDataBlockFrame(), 260);
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ASSERT_EQ(reply.size(), 260u);
    EXPECT_TRUE(SumOk(reply));
    // 14 bytes in and 260 out at 1920 bytes a second: 0.143 s.
    EXPECT_GE(seconds, 0.140);
    EXPECT_LT(seconds, 0.5);
}

// ---- Loader side ----------------------------------------------------------------------

TEST_F(SimTest, LoaderStoresBlocksAndAnswersOnlyItsOwnRequests) {
    StartUnit({"--start-in-loader"});
    Send(fd, ReadDataBlockFrame());
    EXPECT_TRUE(StaysSilent(fd)) << "the application does not answer while the loader runs";
    Send(fd, StreamFrame(8));
    EXPECT_TRUE(StaysSilent(fd));

    Bytes data{0x10, 0x32, 0x54, 0x76, 0x98, 0xBA, 0xDC, 0xFE,
               0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
    EXPECT_EQ(Exchange(fd, WriteBlockFrame(0x0D40, data), 7), ReplyA);
    Bytes back = Exchange(fd, ReadBlockFrame(0x0D40), 20);
    ASSERT_EQ(back.size(), 20u);
    EXPECT_EQ(Slice(back, 0, 2), Bytes({'Z', 'F'}));
    EXPECT_TRUE(SumOk(back));
    EXPECT_EQ(Slice(back, 2, 16), data);
    // The neighbouring block shares no bytes: 16 bytes span exactly 8 word addresses.
    Bytes next = Exchange(fd, ReadBlockFrame(0x0D48), 20);
    ASSERT_EQ(next.size(), 20u);
    EXPECT_EQ(Slice(next, 2, 16), Bytes(16, 0xFF));
    EXPECT_EQ(Exchange(fd, WriteBlockFrame(0xFFF8, data), 7), ReplyN);
}

TEST_F(SimTest, DataRecordsBecomeTheRestartedApplicationsBlock) {
    StartUnit({});
    ASSERT_EQ(Exchange(fd, EnterLoadModeFrame(1), 7), ReplyA);
    Bytes record(16, 0x55);
    const std::string tail = "ersion: 1.02";
    std::copy(tail.begin(), tail.end(), record.begin());
    record[tail.size()] = 0;
    EXPECT_EQ(Exchange(fd, WriteDataRecordFrame(0xD0, record), 7), ReplyA);
    EXPECT_EQ(Exchange(fd, WriteDataRecordFrame(241, record), 7), ReplyN)
        << "a record past the end of the block";

    Bytes loaderView = Exchange(fd, LoaderFrame(3, {}), 260);
    ASSERT_EQ(loaderView.size(), 260u);
    EXPECT_EQ(BlockText(loaderView, 0xCF, 13), "Version: 1.02");

    Send(fd, LoaderFrame(1, {}));
    Bytes block = Exchange(fd, ReadDataBlockFrame(), 260);
    ASSERT_EQ(block.size(), 260u);
    EXPECT_EQ(block[1], 'E');
    EXPECT_EQ(BlockText(block, 0xCF, 13), "Version: 1.02");
    EXPECT_EQ(BlockText(block, 0x80, 4), "MQ-6");
}

TEST_F(SimTest, SetupTablesAreDecipheredOnlyAfterASetupWrite) {
    std::string dump = scratch + "/tables.bin";
    StartUnit({"--dump-tables", dump});
    Bytes plain(4096);
    for (size_t entry = 0; entry < 1024; ++entry) {
        uint16_t code = static_cast<uint16_t>((entry * 37) & 0x0FFF);
        plain[entry * 4] = 0x34;
        plain[entry * 4 + 1] = static_cast<uint8_t>(code >> 8);
        plain[entry * 4 + 2] = 0x34;
        plain[entry * 4 + 3] = static_cast<uint8_t>(code);
    }
    Bytes enciphered = plain;
    EncipherTables(enciphered);
    auto writeTables = [&](uint8_t mode) {
        ASSERT_EQ(Exchange(fd, EnterLoadModeFrame(mode), 7), ReplyA);
        for (uint16_t block = 0; block < 256; ++block) {
            uint16_t address = block < 128 ? 0x1000 + 8 * block : 0x1400 + 8 * (block - 128);
            Bytes data = Slice(enciphered, block * 16u, 16);
            ASSERT_EQ(Exchange(fd, WriteBlockFrame(address, data), 7), ReplyA);
        }
        Bytes back = Exchange(fd, ReadBlockFrame(0x1400 + 8 * 127), 20);
        ASSERT_EQ(back.size(), 20u);
        EXPECT_EQ(Slice(back, 2, 16), Bytes(enciphered.end() - 16, enciphered.end()))
            << "read-back gives the enciphered bytes";
        Send(fd, LoaderFrame(1, {}));
        ASSERT_EQ(Exchange(fd, ReadDataBlockFrame(), 260).size(), 260u);
    };

    writeTables(1);
    EXPECT_FALSE(std::filesystem::exists(dump)) << "a firmware session deciphers nothing";
    writeTables(2);
    EXPECT_EQ(ReadFile(dump), plain);
}

// ---- Faults, options and state --------------------------------------------------------

TEST_F(SimTest, FailWriteAndRefuseLoadAnswerN) {
    StartUnit({"--start-in-loader", "--fail-write", "3"});
    Bytes data(16, 0x42);
    for (uint16_t n = 1; n <= 4; ++n)
        EXPECT_EQ(Exchange(fd, WriteBlockFrame(0x0800 + 8 * n, data), 7), n == 3 ? ReplyN : ReplyA)
            << "write " << n;
    Bytes failed = Exchange(fd, ReadBlockFrame(0x0800 + 8 * 3), 20);
    ASSERT_EQ(failed.size(), 20u);
    EXPECT_EQ(Slice(failed, 2, 16), Bytes(16, 0xFF));
    StopUnit();

    StartUnit({"--refuse-load"});
    EXPECT_EQ(Exchange(fd, EnterLoadModeFrame(1), 7), ReplyN);
    EXPECT_EQ(Exchange(fd, ReadDataBlockFrame(), 260).size(), 260u) << "still the application";
}

TEST_F(SimTest, SilenceCorruptionAndNoise) {
    StartUnit({"--silent"});
    Send(fd, ReadDataBlockFrame());
    EXPECT_TRUE(StaysSilent(fd));
    StopUnit();

    StartUnit({});
    Bytes clean = Exchange(fd, ReadDataBlockFrame(), 260);
    StopUnit();
    ASSERT_EQ(clean.size(), 260u);

    StartUnit({"--corrupt", "1"});
    Bytes corrupt = Exchange(fd, ReadDataBlockFrame(), 260);
    ASSERT_EQ(corrupt.size(), 260u);
    EXPECT_FALSE(SumOk(corrupt));
    EXPECT_EQ(Bytes(corrupt.begin(), corrupt.end() - 2), Bytes(clean.begin(), clean.end() - 2));
    StopUnit();

    StartUnit({"--noise", "1", "--seed", "7"});
    Bytes noisy = Exchange(fd, ReadDataBlockFrame(), 260);
    ASSERT_EQ(noisy.size(), 260u);
    for (size_t i = 0; i < noisy.size(); ++i)
        EXPECT_EQ(std::popcount(static_cast<unsigned>(noisy[i] ^ clean[i])), 1) << "byte " << i;
}

TEST_F(SimTest, VanishingPortExitsOrComesBackElsewhere) {
    StartUnit({"--vanish-after", "20"});
    EXPECT_EQ(Exchange(fd, ReadDataBlockFrame(), 260).size(), 260u);
    Send(fd, Bytes(6, 0));
    EXPECT_EQ(WaitSimExit(sim, 2000), 3);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(sim.path)));
    EXPECT_TRUE(ReadBytes(fd, 1, 250).empty()) << "the line is gone";
    StopUnit();

    StartUnit({"--vanish-after", "14", "--reappear-ms", "100"});
    std::string firstTarget = std::filesystem::read_symlink(sim.path).string();
    EXPECT_TRUE(Exchange(fd, ReadDataBlockFrame(), 260).empty())
        << "the port closes before the reply";
    std::string secondTarget;
    for (int wait = 0; wait < 200 && secondTarget.empty(); ++wait) {
        std::error_code error;
        std::string target = std::filesystem::read_symlink(sim.path, error).string();
        if (!error && target != firstTarget)
            secondTarget = target;
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_FALSE(secondTarget.empty());
    std::ifstream out(sim.dir + "/stdout");
    std::string line1, line2;
    std::getline(out, line1);
    std::getline(out, line2);
    EXPECT_EQ(line1, firstTarget);
    EXPECT_EQ(line2, secondTarget);
    close(fd);
    fd = OpenRawPort(sim.path);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(Exchange(fd, ReadDataBlockFrame(), 260).size(), 260u);
    EXPECT_EQ(WaitSimExit(sim, 0), -1) << "still running";
}

TEST_F(SimTest, StateFileCarriesAnUpdateAcrossARestart) {
    std::string state = scratch + "/unit.state";
    Bytes firmware(16);
    for (size_t i = 0; i < firmware.size(); ++i)
        firmware[i] = static_cast<uint8_t>(0xA0 + i);
    Bytes record(16, 0x55);
    const std::string tail = "ersion: 2.07";
    std::copy(tail.begin(), tail.end(), record.begin());
    record[tail.size()] = 0;

    StartUnit({"--state", state});
    ASSERT_EQ(Exchange(fd, EnterLoadModeFrame(1), 7), ReplyA);
    ASSERT_EQ(Exchange(fd, WriteBlockFrame(0x0900, firmware), 7), ReplyA);
    ASSERT_EQ(Exchange(fd, WriteDataRecordFrame(0xD0, record), 7), ReplyA);
    Send(fd, LoaderFrame(1, {}));
    ASSERT_EQ(Exchange(fd, ReadDataBlockFrame(), 260).size(), 260u);
    StopUnit();
    EXPECT_FALSE(std::filesystem::exists(state + ".tmp"));

    StartUnit({"--state", state, "--version", "1.01"});
    Bytes block = Exchange(fd, ReadDataBlockFrame(), 260);
    ASSERT_EQ(block.size(), 260u);
    EXPECT_EQ(BlockText(block, 0xCF, 13), "Version: 2.07") << "the state wins over --version";
    ASSERT_EQ(Exchange(fd, EnterLoadModeFrame(1), 7), ReplyA);
    Bytes back = Exchange(fd, ReadBlockFrame(0x0900), 20);
    ASSERT_EQ(back.size(), 20u);
    EXPECT_EQ(Slice(back, 2, 16), firmware);
}

TEST(SimOptions, BadValuesExitWith2AndHelpListsEveryOption) {
    std::string output;
    for (const char* bad :
         {"--rate 0", "--version 1.1", "--profile sweep:0.8:1.2", "--profile wobble:1:2:3",
          "--baud 12", "--corrupt 1.5", "--unit-mode 256", "--fail-write 0", "--reappear-ms 10",
          "--no-such-option", "--link"})
        EXPECT_EQ(RunSimToEnd(bad, output), 2) << bad;

    ASSERT_EQ(RunSimToEnd("--help", output), 0);
    for (const char* option :
         {"--link",    "--version", "--unit-mode",    "--start-in-loader", "--profile",
          "--stoich",  "--rate",    "--baud",         "--state",           "--dump-tables",
          "--log",     "--seed",    "--silent",       "--refuse-load",     "--fail-write",
          "--corrupt", "--noise",   "--vanish-after", "--reappear-ms",     "--help"})
        EXPECT_NE(output.find(option), std::string::npos) << option;
}

} // namespace
