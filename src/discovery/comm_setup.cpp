// The Comm Port Setup dialog's rules.
#include "discovery/comm_setup.h"

#include "app/shell.h"
#include "settings/config.h"

#include <cstring>

std::string_view CommSetupNote(int current) {
    // Until a search finds the unit or a port is chosen, the port name is no port at all.
    return current < 0 ? NO_UNIT_FOUND_TEXT : std::string_view();
}

void ConfirmCommSetup(bool automatic, const PortChoice* chosen) {
    AutoPort.store(automatic ? 1 : 0, std::memory_order_release);
    // With no entry chosen (a name typed into the field, or a port beyond the list) the port stays
    // as it was: a list's "no selection" names no port the system has.
    if (chosen != nullptr)
        StorePortName(std::string_view(chosen->name.data(),
                                       strnlen(chosen->name.data(), chosen->name.size())));
    ErrorShown.store(0, std::memory_order_release);
    Reconnect(); // saves the settings as well
    RequestRepaintAll();
}
