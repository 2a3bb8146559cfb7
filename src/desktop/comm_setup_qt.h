// The Comm Port Setup dialog in the desktop program: automatic search for the unit's port, or a
// fixed port from those the Linux discovery finds (discovery/comm_setup.h).
#pragma once

class QWidget;

void RunCommSetupDialog(QWidget* owner);
