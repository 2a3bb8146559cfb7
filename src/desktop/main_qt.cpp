// mq6wb: the MQ-6 WB Utility on the Linux desktop, the Windows utility's window and views on Qt
// over the same core. The arguments are those of the Windows utility, and mq6's --port.
#include "desktop/main_window_qt.h"
#include "desktop/startup_qt.h"
#include "firmware/build_inputs.h"
#include "mq6_version.h"

#include <QApplication>
#include <QFont>
#include <QIcon>
#include <QImage>
#include <QPixmap>

#include <array>
#include <cstdio>
#include <cstring>
#include <string_view>

// The utility's icon (src/resources/mq6wb.ico), embedded by the build.
extern const unsigned char AppIconData[];
extern const unsigned int AppIconSize;

namespace {

constexpr char USAGE[] =
    "Usage: mq6wb [--port PATH] [--record FILE | --open-recording FILE]\n"
    "The MQ-6 WB Utility: live lambda and AFR, the unit's output setup, its firmware.\n"
    "\n"
    "  --port PATH             use the unit on PATH, with no search (as Comm Setup's fixed port)\n"
    "  --record FILE           start in the AFR and Lambda view and record to FILE\n"
    "  --open-recording FILE   start showing FILE in the Recording view\n"
    "  --version               the program's version and its build inputs\n"
    "  --help                  this text\n"
    "\n"
    "Without --port the unit is found as mq6 finds it: /dev/mq6, then the FTDI adapter named\n"
    "\"MQ-6\". The settings are kept in $XDG_CONFIG_HOME/mq6/MQ-6_Setup.cfg (~/.config/mq6/),\n"
    "restore points in $XDG_DATA_HOME/mq6/restore/ (~/.local/share/mq6/), with mq6's.\n";

void PrintVersion() {
    std::array<char, 512> inputs{};
    FormatBuildInputs(inputs.data(), inputs.size());
    std::printf("mq6wb %s\n%s", MQ6_VERSION_TEXT, inputs.data());
}

// The options; 1 to run, 0 after --help or --version, -1 after a usage error.
int ParseArguments(int argc, char** argv, DesktopArguments& parsed) {
    for (int i = 1; i < argc; ++i) {
        std::string_view argument = argv[i];
        if (argument == "--help" || argument == "-h") {
            std::fputs(USAGE, stdout);
            return 0;
        }
        if (argument == "--version") {
            PrintVersion();
            return 0;
        }
        std::string* value = nullptr;
        std::string_view name = argument.substr(0, argument.find('='));
        if (name == "--port")
            value = &parsed.port;
        else if (name == "--record")
            value = &parsed.record;
        else if (name == "--open-recording")
            value = &parsed.openRecording;
        if (value == nullptr) {
            // As the Windows utility does, and so that a desktop entry's extra field is harmless.
            std::fprintf(stderr, "mq6wb: %s is ignored; mq6wb --help lists the options\n", argv[i]);
            continue;
        }
        if (name.size() < argument.size())
            *value = std::string(argument.substr(name.size() + 1));
        else if (i + 1 < argc)
            *value = argv[++i];
        if (value->empty()) {
            std::fprintf(stderr, "mq6wb: %.*s: no value given\n%s", static_cast<int>(name.size()),
                         name.data(), USAGE);
            return -1;
        }
    }
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    DesktopArguments arguments;
    // Before the application object, which needs a display: --help and --version need none.
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0 ||
            std::strcmp(argv[i], "--version") == 0) {
            int parsed = ParseArguments(argc, argv, arguments);
            return parsed < 0 ? 2 : 0;
        }
    QApplication application(argc, argv);
    // After the application object has taken its own options (-platform ...).
    int parsed = ParseArguments(argc, argv, arguments);
    if (parsed <= 0)
        return parsed < 0 ? 2 : 0;
    // Fusion on every desktop: the views' controls stand at fixed pixels, which another style's
    // sizes could crowd. Group boxes as Windows draws them, the caption on the frame's line.
    QApplication::setStyle("Fusion");
    application.setStyleSheet(
        "QGroupBox { border: 1px solid rgb(160, 160, 160); margin-top: 8px; }"
        "QGroupBox::title { subcontrol-origin: margin; left: 6px; padding: 0px 2px; }");
    QFont controls("DejaVu Sans");
    controls.setPixelSize(12);
    QApplication::setFont(controls);
    QApplication::setDesktopFileName("mq6wb");
    QImage icon = QImage::fromData(AppIconData, static_cast<int>(AppIconSize), "ICO");
    QApplication::setWindowIcon(QIcon::fromTheme("mq6wb", QIcon(QPixmap::fromImage(icon))));
    MainWindowQt* window = StartDesktop(arguments);
    if (window == nullptr)
        return 1;
    ApplyDesktopArguments(arguments);
    int result = QApplication::exec();
    FinishDesktop();
    delete window;
    return result;
}
