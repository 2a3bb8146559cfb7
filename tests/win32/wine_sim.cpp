#include "win32/wine_sim.h"

#include "link/link.h"
#include "platform/ticks.h"
#include "settings/config.h"

#include <cstdlib>
#include <cstring>
#include <windows.h>

namespace {
std::string EnvValue(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

// Starts a Unix command line through /bin/sh (Wine starts Unix programs given their Unix
// path). Wine hands back no usable handles for a Unix process: the process handle is null
// and the thread handle is a stray value whose low bits the handle table ignores, so closing
// it would close one of this process's own handles (the registry root among them). Neither is
// touched; callers wait for what the command does instead.
bool RunUnixShell(const std::string& script) {
    std::string command = "/bin/sh -c \"" + script + "\"";
    std::vector<char> line(command.begin(), command.end());
    line.push_back('\0');
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
        return false;
    if (process.hProcess != nullptr) {
        WaitForSingleObject(process.hProcess, 10000);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    return true;
}

std::string DosPath(const std::string& unixPath) {
    std::string path = "Z:" + unixPath;
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return path;
}

bool WaitForLink(const std::string& unixLink, int milliseconds) {
    std::string path = DosPath(unixLink);
    for (int waited = 0; waited < milliseconds; waited += 20) {
        if (GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES)
            return true;
        Sleep(20);
    }
    return false;
}

bool WaitUntilGone(const std::string& unixLink, int milliseconds) {
    std::string path = DosPath(unixLink);
    for (int waited = 0; waited < milliseconds; waited += 20) {
        if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES)
            return true;
        Sleep(20);
    }
    return false;
}

std::string LinkPath(const std::string& comName) {
    std::string lower = comName;
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return EnvValue("WINEPREFIX") + "/dosdevices/" + lower;
}
} // namespace

bool StartWineSim(WineSim& sim, const std::string& comName, const std::vector<std::string>& args,
                  std::string& why) {
    std::string simPath = EnvValue("MQ6_SIM_UNIX_PATH");
    std::string root = EnvValue("MQ6_WINE_ROOT");
    if (simPath.empty() || root.empty() || EnvValue("WINEPREFIX").empty()) {
        why =
            "MQ6_SIM_UNIX_PATH, MQ6_WINE_ROOT and WINEPREFIX must be set (scripts/test sets them)";
        return false;
    }
    sim.comName = comName;
    sim.pidFile = root + "/sim-" + comName + ".pid";
    std::string link = LinkPath(comName);
    std::string script = "'" + simPath + "' --link '" + link + "'";
    for (const std::string& arg : args)
        script += " '" + arg + "'";
    script += " >'" + root + "/sim-" + comName + ".out' 2>&1 & echo $! >'" + sim.pidFile + "'";
    if (!RunUnixShell(script)) {
        why = "cannot start /bin/sh from Wine";
        return false;
    }
    if (!WaitForLink(link, 5000)) {
        why = "the simulator did not come up (see " + root + "/sim-" + comName + ".out)";
        return false;
    }
    sim.running = true;
    return true;
}

void StopWineSim(WineSim& sim) {
    if (!sim.running)
        return;
    RunUnixShell("kill $(cat '" + sim.pidFile + "') 2>/dev/null; rm -f '" + sim.pidFile + "'");
    WaitUntilGone(LinkPath(sim.comName), 3000);
    sim.running = false;
}

bool StartWineLink(const std::string& portName, bool search) {
    ResetLinkState();
    AutoPort.store(search ? 1 : 0);
    PortName.fill('\0');
    std::strncpy(PortName.data(), portName.c_str(), PortName.size() - 1);
    StartTickTimer();
    StartCommThread();
    RequestPort(PORT_REOPEN, PortName.data());
    for (int waited = 0; waited < 5000; waited += 5) {
        if (PortOpen.load() == 1 && PortStatus.load() == 1 && PortRequestPending.load() == 0)
            return true;
        Sleep(5);
    }
    return false;
}

void StopWineLink() {
    StopCommThread();
    StopTickTimer();
}
