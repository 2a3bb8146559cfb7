// Start-up of the desktop program.
#include "desktop/startup_qt.h"

#include "app/live_views.h"
#include "app/open_recording.h"
#include "app/status_note.h"
#include "app/views.h"
#include "desktop/canvas_qt.h"
#include "desktop/client_area_qt.h"
#include "desktop/config_path_linux.h"
#include "desktop/main_window_qt.h"
#include "display/display_thread.h"
#include "display/gauges.h"
#include "display/live_history.h"
#include "display/live_stream.h"
#include "display/status_line.h"
#include "firmware/unfinished_job.h"
#include "link/link.h"
#include "platform/notice.h"
#include "platform/ticks.h"
#include "resources/resource.h"
#include "settings/config.h"
#include "wbsetup/setup_form.h"

#include <system_error>

namespace {

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

// The layout's measures, on the surface of the client area: the status font's cell and the
// client's size.
void MeasureClient(ClientArea* client) {
    SetCanvasClientSize(client->width(), client->height());
    QImage measuring(1, 1, QImage::Format_RGB32);
    Canvas* canvas = OpenSurfaceCanvas(measuring, QRegion());
    MeasureLayout(canvas);
    CloseSurfaceCanvas(canvas);
}

} // namespace

MainWindowQt* StartDesktop(const DesktopArguments& arguments) {
    StorePortName(PORT_NAME_START);
    CreateCanvasFonts();
    ResetGauges();
    BuildDesktopConfigPath();
    if (ConfigPath[0] != '\0')
        ReadConfig();
    if (!arguments.port.empty()) {
        // A named port stays the port: the comm thread's retries must not search instead.
        if (StorePortName(arguments.port) != 0) {
            ShowNotice("The port name given with --port is too long.", "MQ-6 WB Utility",
                       NOTICE_NO_OWNER | NOTICE_ERROR_ICON);
            return nullptr;
        }
        AutoPort.store(0, std::memory_order_release);
    }
    auto* window = new MainWindowQt();
    // A new main window has shown nothing of any unit yet.
    ResetSetupForm();
    MeasureClient(window->Client());
    SelectView(IDM_WB_SETUP);
    ShowMainWindow(window);
    FindPort(nullptr, 0);
    ResetHistory();
    AddLiveViewListeners();
    ResetStatusNote();
    ResetUnfinishedJob();
    if (!StartThread(StartDisplayThread, "display") || !StartThread(StartCommThread, "comm")) {
        delete window;
        return nullptr;
    }
    StartTickTimer();
    Reconnect();
    return window;
}

void ApplyDesktopArguments(const DesktopArguments& arguments) {
    if (!arguments.openRecording.empty())
        OpenRecordingFile(arguments.openRecording.c_str());
    else if (!arguments.record.empty())
        RecordInLiveView(arguments.record);
}

void FinishDesktop() {
    StopDisplayThread();
    StopCommThread();
    StopTickTimer();
    RemoveAllLiveListeners();
}
