// The entry point of mq6wb.exe.
#include "app/startup.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
    BuildModuleConfigPath();
    int exitCode = StartApplication(instance, showCommand) != 0 ? RunMessageLoop() : 0;
    FinishApplication();
    return exitCode;
}
