// The Comm Port Setup dialog's rules, for every front end: which ports it offers (the platform's
// list: COM1 to COM25 on Windows, the adapters the discovery finds on Linux), which of them is the
// port now, what it says when none is, and what OK does. Cancel changes nothing.
#pragma once

#include "link/link.h"

#include <array>
#include <string_view>

constexpr int MAX_PORT_CHOICES = 32;
constexpr std::string_view NO_UNIT_FOUND_TEXT =
    "No MQ-6 unit was found. Connect it, or choose its port.";

struct PortChoice {
    std::array<char, PORT_NAME_SIZE> name; // the port as PortName holds it
    std::array<char, 160> label;           // as the list shows it
};
using PortChoices = std::array<PortChoice, MAX_PORT_CHOICES>;

// Per platform: the ports offered, in the list's order; the number stored. current gets the
// index of the port PortName names, -1 when it names none of them.
int ListPortChoices(PortChoices& choices, int* current);

// What the dialog shows below the choices: the note while the port is none of them, else empty.
std::string_view CommSetupNote(int current);
// OK: automatic search on or off, and the port chosen (nullptr when no entry is chosen: the port
// stays as it was); the settings saved, a failure on the new port reported again, the port
// reopened and the window repainted.
void ConfirmCommSetup(bool automatic, const PortChoice* chosen);
