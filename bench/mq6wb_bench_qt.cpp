// The desktop benchmark's program: mq6wb's start-up and window with a log of its own. With
// MQ6WB_BENCH_LOG naming a file it appends "D <nanoseconds since 1970 by CLOCK_REALTIME> <lambda
// x 100> <AFR x 10>" each time a paint of the client area has put changed readouts on the
// window, the line bench/wine_link.py report pairs with the frame that brought them. SIGUSR1
// chooses the AFR and Lambda view, as the menu does. --port PATH as mq6wb takes it.
#include "app/commands.h"
#include "desktop/client_area_qt.h"
#include "desktop/main_window_qt.h"
#include "desktop/startup_qt.h"
#include "display/live_stream.h"
#include "resources/resource.h"

#include <QApplication>
#include <QFont>
#include <QSocketNotifier>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string_view>
#include <unistd.h>

namespace {

std::FILE* BenchLog = nullptr;
QWidget* Client = nullptr;
// The readouts of the last frame the listeners were handed, and those a paint last showed.
std::atomic<int32_t> FrameLambda{-1}, FrameAfr{-1};
int32_t ShownLambda = -1, ShownAfr = -1;
int ViewPipe[2] = {-1, -1};

// After the live views' listeners: the frame a paint asked for now will draw.
void NoteFrame(const LiveSample& sample) {
    FrameLambda.store(sample.lambdaX100, std::memory_order_relaxed);
    FrameAfr.store(sample.afrX10, std::memory_order_release);
}

void AskAfrView(int) {
    char byte = 1;
    [[maybe_unused]] ssize_t written = write(ViewPipe[1], &byte, 1);
}

class BenchApplication : public QApplication {
  public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override {
        bool paint = event->type() == QEvent::Paint && receiver == Client;
        bool done = QApplication::notify(receiver, event);
        if (!paint || BenchLog == nullptr)
            return done;
        int32_t afr = FrameAfr.load(std::memory_order_acquire);
        int32_t lambda = FrameLambda.load(std::memory_order_relaxed);
        if (lambda == ShownLambda && afr == ShownAfr)
            return done;
        ShownLambda = lambda;
        ShownAfr = afr;
        timespec now{};
        clock_gettime(CLOCK_REALTIME, &now);
        std::fprintf(BenchLog, "D %lld %d %d\n",
                     static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec, lambda, afr);
        std::fflush(BenchLog);
        return done;
    }
};

} // namespace

int main(int argc, char** argv) {
    BenchApplication application(argc, argv);
    DesktopArguments arguments;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::string_view(argv[i]) == "--port")
            arguments.port = argv[i + 1];
    QApplication::setStyle("Fusion");
    QFont controls("DejaVu Sans");
    controls.setPixelSize(12);
    QApplication::setFont(controls);
    if (const char* path = std::getenv("MQ6WB_BENCH_LOG"); path != nullptr)
        BenchLog = std::fopen(path, "w");
    if (pipe(ViewPipe) != 0)
        return 1;
    QSocketNotifier viewAsked(ViewPipe[0], QSocketNotifier::Read);
    QObject::connect(&viewAsked, &QSocketNotifier::activated, [] {
        char byte = 0;
        if (read(ViewPipe[0], &byte, 1) == 1)
            RunMenuCommand(IDM_AFR_LAMBDA);
    });
    std::signal(SIGUSR1, AskAfrView);
    MainWindowQt* window = StartDesktop(arguments);
    if (window == nullptr)
        return 1;
    Client = window->Client();
    AddLiveListener(NoteFrame);
    int result = QApplication::exec();
    FinishDesktop();
    delete window;
    return result;
}
