// Runs the native simulated unit from a Windows test under Wine, with its pseudo-terminal
// linked as a COM port of the test's Wine prefix.
#pragma once

#include <string>
#include <vector>

struct WineSim {
    std::string pidFile;
    std::string comName; // "COM5"
    bool running = false;
};

// False (and the reason in why) when the environment lacks the simulator or the prefix.
bool StartWineSim(WineSim& sim, const std::string& comName, const std::vector<std::string>& args,
                  std::string& why);
void StopWineSim(WineSim& sim);

// Starts the tick timer and comm thread on the port; true once it is open. With search the
// comm thread looks for the unit before each attempt; without, the named port stays the port.
bool StartWineLink(const std::string& portName, bool search = false);
void StopWineLink();
