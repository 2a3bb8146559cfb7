#include "win32/wine_helpers.h"

#include "app/shell_win32.h"
#include "app/startup.h"
#include "app/system_awake_win32.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <mutex>
#include <sstream>

namespace {
std::string SimLink;
std::mutex StateLock;
std::ostringstream StateCalls;
DWORD StateThread = 0; // the thread of the last call
const std::string UNIT_KEYS[] = {"SYSTEM\\CurrentControlSet\\Enum\\USB\\Vid_0403&Pid_6001",
                                 "SYSTEM\\CurrentControlSet\\Enum\\FTDIBUS",
                                 "SYSTEM\\CurrentControlSet\\Services\\FTDIBUS"};
const char* const SERIALCOMM = "HARDWARE\\DEVICEMAP\\SERIALCOMM";
// The Windows name of a Unix path, on the drive that Wine maps to the Unix root.
std::string DosPathOf(std::string unixPath) {
    std::replace(unixPath.begin(), unixPath.end(), '/', '\\');
    return "Z:" + unixPath;
}
// Wine starts Unix programs given their Unix path; it hands back a null process handle and a
// stray thread handle whose closing would close one of this process's own handles, so neither
// is touched and the caller waits for the link to come or go instead.
bool ShellAndWait(std::string script, bool linkPresent) {
    std::string command = "/bin/sh -c \"" + script + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
        return false;
    // Up to a minute for the link to come on a busy machine; its going is not always seen
    // under Wine, and the kill was sent all the same.
    for (int waited = 0; waited < (linkPresent ? 60000 : 5000); waited += 20, Sleep(20))
        if ((GetFileAttributesA(DosPathOf(SimLink).c_str()) != INVALID_FILE_ATTRIBUTES) ==
            linkPresent)
            return true;
    return false;
}
} // namespace

std::string EnvText(const char* name) {
    return std::getenv(name) != nullptr ? std::getenv(name) : "";
}

bool StartWineSim(const std::string& comName, const std::vector<std::string>& args) {
    std::string sim = EnvText("MQ6_SIM_UNIX_PATH"), root = EnvText("MQ6_WINE_ROOT");
    SimLink = EnvText("WINEPREFIX") + "/dosdevices/" + comName;
    std::string script = "'" + sim + "' --link '" + SimLink + "'";
    for (const std::string& arg : args)
        script += " '" + arg + "'";
    script += " >'" + root + "/sim.out' 2>&1 & echo $! >'" + root + "/sim.pid'";
    return !sim.empty() && !root.empty() && ShellAndWait(script, true);
}

void StopWineSim() {
    if (!SimLink.empty())
        ShellAndWait("kill $(cat '" + EnvText("MQ6_WINE_ROOT") + "/sim.pid')", false);
    SimLink.clear();
}

bool QuitTaken = false;

// One pass at least, however late the thread runs: what was posted before the call is handled.
bool PumpUntil(const std::function<bool()>& done, int timeoutMs) {
    for (DWORD start = GetTickCount(); !done(); Sleep(1)) {
        int exitCode = 0;
        if (!QuitTaken)
            QuitTaken = MessageLoopPass(&exitCode) != 0;
        if (GetTickCount() - start > static_cast<DWORD>(timeoutMs) || QuitTaken)
            return done();
    }
    return true;
}

std::string ControlText(HWND control) {
    char text[256] = {};
    GetWindowTextA(control, text, sizeof text);
    return text;
}

HWND ChildAt(HWND window, const char* className, int x, int y) {
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        char name[64] = {};
        RECT rect{};
        GetClassNameA(child, name, sizeof name);
        GetWindowRect(child, &rect);
        MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&rect), 2);
        if (_stricmp(name, className) == 0 && rect.left == x && rect.top == y)
            return child;
    }
    return nullptr;
}

bool Grayed(HMENU menu, int command) {
    UINT state = GetMenuState(menu, static_cast<UINT>(command), MF_BYCOMMAND);
    return state != static_cast<UINT>(-1) && (state & MF_GRAYED) != 0;
}

std::string ReadFileText(const std::string& path) {
    return {std::istreambuf_iterator<char>(std::ifstream(path, std::ios::binary).rdbuf()), {}};
}

EXECUTION_STATE SetExecutionState(EXECUTION_STATE state) {
    std::lock_guard<std::mutex> hold(StateLock);
    StateCalls << (GetCurrentThreadId() == StateThread ? "" : "|") << std::hex << state << ' ';
    StateThread = GetCurrentThreadId();
    return ES_CONTINUOUS;
}

std::string TakeExecutionStateCalls() {
    std::lock_guard<std::mutex> hold(StateLock);
    std::string calls = StateCalls.str();
    StateCalls.str("");
    return calls;
}

std::string AddRegistryUnit(bool terminated) {
    const std::string entry = UNIT_KEYS[1] + "\\Vid_0403+Pid_6001+A10K2QX7A\\0000";
    const DWORD retry = 150, end = terminated ? 1 : 0;
    RegSetKeyValueA(HKEY_LOCAL_MACHINE, (UNIT_KEYS[0] + "\\A10K2QX7").c_str(),
                    "LocationInformation", REG_SZ, "MQ-6", 4 + end);
    RegSetKeyValueA(HKEY_LOCAL_MACHINE, entry.c_str(), "FriendlyName", REG_SZ,
                    "USB Serial Port (COM7)", 22 + end);
    RegSetKeyValueA(HKEY_LOCAL_MACHINE, SERIALCOMM, "\\Device\\VCP0", REG_SZ, "COM7", 5);
    RegSetKeyValueA(HKEY_LOCAL_MACHINE, (UNIT_KEYS[2] + "\\Parameters").c_str(), "RetryResetCount",
                    REG_DWORD, &retry, 4);
    return entry;
}

void RemoveRegistryUnit() {
    for (const std::string& key : UNIT_KEYS)
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, key.c_str());
    RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, SERIALCOMM, "\\Device\\VCP0");
}
