// The files in the user's data folder.
#include "settings/data_folder.h"

namespace {
std::string InDataFolder(const char* name) {
    std::string folder = UserDataFolder();
    if (folder.empty())
        return folder;
    char separator = folder.find('\\') != std::string::npos ? '\\' : '/';
    return folder + separator + name;
}
} // namespace

std::string RestoreFolderPath() {
    return InDataFolder("restore");
}

std::string PendingSetupPath() {
    return InDataFolder("unfinished-setup.json");
}
