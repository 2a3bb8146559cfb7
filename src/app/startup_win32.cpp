// Start-up of the Windows utility, in the order the pieces depend on each other: shared state,
// fonts and spokes, the window class, the settings, the main window, port discovery, the
// display and comm threads, the 100 ms tick and the first reconnect; then the message loop.
#include "app/startup.h"

#include "app/live_views.h"
#include "app/main_window.h"
#include "app/open_recording.h"
#include "app/status_note.h"
#include "app/views.h"
#include "display/canvas_gdi_win32.h"
#include "display/display_thread.h"
#include "display/gauges.h"
#include "display/live_history.h"
#include "display/live_record.h"
#include "display/live_stream.h"
#include "display/status_line.h"
#include "firmware/unfinished_job.h"
#include "link/link.h"
#include "platform/notice.h"
#include "platform/ticks.h"
#include "resources/resource.h"
#include "settings/config.h"

#include <commctrl.h>
#include <mmsystem.h>

#include <array>
#include <cstring>
#include <string>
#include <string_view>
#include <system_error>

namespace {

constexpr UINT TICK_PERIOD_MS = 100;
constexpr UINT TICK_RESOLUTION_MS = 25;
constexpr DWORD ALL_COMMON_CONTROLS = 0xFF;
constexpr UINT MAIN_CLASS_STYLE = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS;
constexpr std::string_view RECORD_OPTION = "--record";
constexpr std::string_view OPEN_OPTION = "--open-recording";

UINT TickTimer = 0;
bool TickerFallback = false;
HACCEL Accelerators = nullptr;
// The port indicator's changes are drawn at once, on the comm thread.
void RedrawPortStatus(int) {
    RedrawStatusLine();
}

// Windows 98 and Me draw the bold status font too wide for the line; they get the normal one.
bool IsWindows98OrMe() {
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
    if (!GetVersionExA(&version))
        return false;
    return version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS && version.dwMajorVersion == 4 &&
           version.dwMinorVersion > 0;
}

void LoadResourceText(HINSTANCE instance, int id, std::array<char, RESOURCE_TEXT_SIZE>& text) {
    text.fill('\0');
    LoadStringA(instance, static_cast<UINT>(id), text.data(), static_cast<int>(text.size()) - 1);
}

// A second registration in the same process (the tests start the window repeatedly) fails with
// the class already there, which serves as well; any other failure shows when the window
// cannot be created.
void RegisterMainClass(HINSTANCE instance) {
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = MAIN_CLASS_STYLE;
    windowClass.lpfnWndProc = MainWndProc;
    windowClass.hInstance = instance;
    windowClass.hIcon =
        static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(IDI_APP_ICON), IMAGE_ICON,
                                      GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0));
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = CreateSolidBrush(BackColour);
    windowClass.lpszMenuName = MAKEINTRESOURCEA(IDR_MAIN_MENU);
    windowClass.lpszClassName = WindowClassName.data();
    RegisterClassExA(&windowClass);
}

// Runs a thread starter; false, after the box, when the system cannot create the thread.
bool StartThread(void (*start)(), std::string_view caption) {
    try {
        start();
        return true;
    } catch (const std::system_error&) {
        ShowNotice("CreateThread failed", caption, NOTICE_NO_OWNER);
        return false;
    }
}

void StartTimerTick() {
    if (TickTimer != 0 || TickerFallback)
        return; // the timer is never cancelled by the utility: one per process
    TickCount.store(0, std::memory_order_release);
    TickTimer = timeSetEvent(TICK_PERIOD_MS, TICK_RESOLUTION_MS, TimerTick, 0,
                             TIME_PERIODIC | TIME_CALLBACK_FUNCTION);
    if (TickTimer == 0) {
        // Without ticks no protocol time-out would ever expire; the ticker thread keeps time
        // instead.
        TickerFallback = true;
        StartTickTimer();
    }
}

} // namespace

void BuildModuleConfigPath() {
    // The program's own path, quoted as a shell passes it, so that a directory with blanks
    // stays whole; the command line itself may name the program without its directory.
    std::array<char, CONFIG_PATH_SIZE + 2> line{};
    DWORD length =
        GetModuleFileNameA(nullptr, line.data() + 1, static_cast<DWORD>(CONFIG_PATH_SIZE));
    ConfigPath.fill('\0');
    if (length == 0 || length >= CONFIG_PATH_SIZE)
        return; // no usable path: the file goes to the current directory
    line[0] = '"';
    line[length + 1] = '"';
    BuildConfigPath(std::string_view(line.data(), length + 2));
}

int StartApplication(HINSTANCE instance, int showCommand) {
    StorePortName(PORT_NAME_START);
    CanvasCreateFonts(IsWindows98OrMe());
    ResetGauges();
    LoadResourceText(instance, IDS_APP_TITLE, WindowTitle);
    LoadResourceText(instance, IDS_WINDOW_CLASS, WindowClassName);
    RegisterMainClass(instance);
    if (ConfigPath[0] != '\0')
        ReadConfig();
    if (CreateMainWindow(instance, showCommand) == 0)
        return 0;
    INITCOMMONCONTROLSEX controls{sizeof controls, ALL_COMMON_CONTROLS};
    InitCommonControlsEx(&controls);
    FindPort(nullptr, 0);
    ResetHistory();
    AddLiveViewListeners();
    AddPortStatusListener(RedrawPortStatus);
    ResetStatusNote();
    ResetUnfinishedJob();
    if (!StartThread(StartDisplayThread, "display"))
        return 0;
    if (!StartThread(StartCommThread, "comm"))
        return 0;
    StartTimerTick();
    Reconnect();
    Accelerators = LoadAcceleratorsA(instance, MAKEINTRESOURCEA(IDR_ACCELERATORS));
    return 1;
}

void ApplyStartArguments(std::string_view arguments) {
    auto skipBlanks = [&arguments] {
        while (!arguments.empty() && (arguments.front() == ' ' || arguments.front() == '\t'))
            arguments.remove_prefix(1);
    };
    skipBlanks();
    bool open = arguments.starts_with(OPEN_OPTION);
    std::string_view option = open ? OPEN_OPTION : RECORD_OPTION;
    if (arguments.substr(0, option.size()) != option)
        return;
    arguments.remove_prefix(option.size());
    if (arguments.empty() || (arguments.front() != ' ' && arguments.front() != '\t'))
        return;
    skipBlanks();
    std::string_view path = arguments;
    if (!path.empty() && path.front() == '"') {
        path.remove_prefix(1);
        path = path.substr(0, path.find('"'));
    } else {
        path = path.substr(0, path.find_first_of(" \t"));
    }
    if (!path.empty() && open)
        OpenRecordingFile(std::string(path).c_str());
    else if (!path.empty())
        RecordInLiveView(path);
}

int MessageLoopPass(int* exitCode) {
    MSG message;
    if (!PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
        return 0;
    if (message.message == WM_QUIT) {
        *exitCode = static_cast<int>(message.wParam);
        return 1;
    }
    // The accelerators are the main window's, whichever of its controls has the focus: the
    // command goes to the main window, not to a field that would drop it.
    HWND target =
        message.hwnd != nullptr && (message.hwnd == MainWindow || IsChild(MainWindow, message.hwnd))
            ? MainWindow
            : message.hwnd;
    if (!TranslateAcceleratorA(target, Accelerators, &message)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}

int RunMessageLoop() {
    for (;;) {
        int exitCode = 0;
        if (MessageLoopPass(&exitCode) != 0)
            return exitCode;
        // Waits only when the queue has nothing to hand out, and then for input that arrives
        // after this peek. Waiting for input merely present (MWMO_INPUTAVAILABLE) spins under
        // Wine once the setup view has been chosen again: QS_PAINT stays set while no
        // WM_PAINT can be retrieved.
        MSG next;
        if (!PeekMessageA(&next, nullptr, 0, 0, PM_NOREMOVE))
            MsgWaitForMultipleObjectsEx(0, nullptr, INFINITE, QS_ALLINPUT, 0);
    }
}

void FinishApplication() {
    // A std::thread still running when the process exits ends it with an error; they stop
    // within a pass (the comm thread is woken, the display thread waits at most 100 ms). The
    // multimedia timer needs no ending, the ticker thread that stands in for it does.
    StopDisplayThread();
    StopCommThread();
    if (TickerFallback) {
        StopTickTimer();
        TickerFallback = false;
    }
    RemoveAllLiveListeners();
    RemovePortStatusListener(RedrawPortStatus);
    CanvasAttachWindow(nullptr);
    MainWindow = nullptr;
}

void CALLBACK TimerTick(UINT, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR) {
    // Only this callback writes TickCount once the timer runs.
    TickCount.store(TickCount.load(std::memory_order_relaxed) + 1, std::memory_order_release);
}

void StopTimerTick() {
    if (TickTimer != 0)
        timeKillEvent(TickTimer);
    TickTimer = 0;
    if (TickerFallback)
        StopTickTimer();
    TickerFallback = false;
}
