// Command-line options of the simulated unit, parsed once at start-up into Options.
#pragma once

#include <cstdint>
#include <random>
#include <string>

enum class ProfileShape { Const, Sweep, Sine, Step };

// The lambda that the live stream reports over time: a constant, a triangle sweep, a sine
// or a square step between low and high with the given period.
struct LambdaProfile {
    ProfileShape shape = ProfileShape::Sweep;
    double low = 0.80;
    double high = 1.20;
    double periodSeconds = 20.0;
};

struct SimOptions {
    std::string linkPath;
    std::string statePath;
    std::string dumpTablesPath;
    std::string logPath;
    int versionMajor = 1;
    int versionMinor = 1;
    int unitMode = 0;
    bool otherFirmware = false; // information bytes not the sample firmware's
    bool startInLoader = false;
    bool keepMode = false; // the mode byte is not cleared at the restart after a load session
    long spareBytes = 0;   // setup block bytes 3 and 4 as a restart after a setup write leaves them
    LambdaProfile profile;
    double stoich = 14.70;
    double rate = 20.0;
    int baud = 0;
    uint32_t seed = 1;
    bool silent = false;
    bool refuseLoad = false;
    long failWrite = 0; // 0: no WriteBlock fails
    long ignoreDataReads = 0;
    double corrupt = 0.0; // chance of a wrong sum per reply or live frame
    double noise = 0.0;   // chance of one flipped bit per byte sent
    long cutReply = 0;    // 0: every reply goes whole; else only its first N bytes
    long vanishAfter = 0; // 0: the port never vanishes
    long reappearMs = -1; // -1: a vanished port stays away
};

extern SimOptions Options;
// Drives the fault options (corrupt sums, line noise); seeded from --seed by ResetUnit.
extern std::mt19937 FaultRandom;

enum ParseResult { PARSE_OK = 0, PARSE_HELP = 1, PARSE_ERROR = 2 };

// Fills Options from the command line; on PARSE_ERROR a message is on stderr, on
// PARSE_HELP the usage text or the program's version is on stdout.
ParseResult ParseOptions(int argc, char** argv);
