// The folder where the programs keep what belongs to the user rather than to one program: the
// restore points of the unit's setup and the setup of a write that did not finish. The utility
// and mq6 use the same one, so that every restore point of one user on one computer is in one
// place. One implementation per platform, picked at link time; the environment is read there.
#pragma once

#include <string>

// Linux: $XDG_DATA_HOME/mq6 when XDG_DATA_HOME is an absolute path, else $HOME/.local/share/mq6.
// Windows: %LOCALAPPDATA%\mq6. Empty when the system names no such place.
std::string UserDataFolder();

// Where the restore points are kept (UserDataFolder's "restore"), and the setup of the last write
// until the unit holds it whole (UserDataFolder's "unfinished-setup.json"); empty without a folder.
std::string RestoreFolderPath();
std::string PendingSetupPath();
