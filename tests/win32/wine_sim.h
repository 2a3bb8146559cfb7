// Runs the native simulated unit from a Windows test under Wine, with its pseudo-terminal
// linked as a COM port of the test's Wine prefix.
#pragma once

#include <string>
#include <vector>

// Starts mq6-sim with args on the prefix's port comName (lower case, "com5"); false when the
// environment lacks the simulator or the prefix (scripts/test sets them) or it did not come up.
bool StartWineSim(const std::string& comName, const std::vector<std::string>& args);
void StopWineSim();
// The Windows name of a Unix path, on the drive that Wine maps to the Unix root.
std::string DosPathOf(std::string unixPath);
std::string EnvText(const char* name);
