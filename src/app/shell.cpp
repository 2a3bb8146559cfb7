// The shell's steps that every front end takes alike.
#include "app/shell.h"

#include "link/link.h"
#include "settings/config.h"

int Reconnect() {
    SetPortStatus(0);
    RequestPort(PORT_REOPEN, CopyPortName().data());
    WriteConfig();
    return 0;
}
