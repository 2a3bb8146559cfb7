// The entry point of mq6wb.exe.
#include "app/startup.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR arguments, int showCommand) {
    BuildModuleConfigPath();
    int started = StartApplication(instance, showCommand);
    if (started != 0)
        ApplyStartArguments(arguments != nullptr ? arguments : "");
    int exitCode = started != 0 ? RunMessageLoop() : 0;
    FinishApplication();
    return exitCode;
}
