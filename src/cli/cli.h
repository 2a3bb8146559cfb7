// Pieces shared by the mq6 commands.
#pragma once

#include <string>
#include <string_view>
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

// Opens the link to the unit on Options.port (or the found port) and waits until the comm
// thread has the port open. Prints the reason and returns an exit code on failure, else 0.
int ConnectUnit();
void DisconnectUnit();
// Connects, reads the unit's data block into DeviceInfo and disconnects: 0, or the exit
// code (the reason already printed).
int FetchDataBlock();

// The flag, if present, is removed from args.
bool TakeFlag(std::vector<std::string>& args, std::string_view flag);
// "--name value" or "--name=value"; returns false (and prints) when the value is missing.
bool TakeValue(std::vector<std::string>& args, std::string_view name, std::string& value,
               bool& present);
int ReportUsage(std::string_view message);

int RunInfo(std::vector<std::string> args);
int RunFirmware(std::vector<std::string> args);
int RunLive(std::vector<std::string> args);
int RunPorts(std::vector<std::string> args);
int RunSetup(std::vector<std::string> args);
