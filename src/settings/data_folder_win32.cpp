// The user's data folder on Windows: the local application data of the user, as the system sets
// it for every process.
#include "settings/data_folder.h"

#include <cstdlib>

std::string UserDataFolder() {
    const char* local = std::getenv("LOCALAPPDATA");
    if (local == nullptr || local[0] == '\0')
        return std::string();
    return std::string(local) + "\\mq6";
}
