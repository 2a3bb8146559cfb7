// The user's data folder as the XDG base directories name it: a relative XDG_DATA_HOME is not
// one, and HOME's default stands instead.
#include "settings/data_folder.h"

#include <cstdlib>
#include <filesystem>

std::string UserDataFolder() {
    const char* data = std::getenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    std::filesystem::path folder;
    if (data != nullptr && data[0] == '/')
        folder = data;
    else if (home != nullptr && home[0] != '\0')
        folder = std::filesystem::path(home) / ".local" / "share";
    else
        return std::string();
    return (folder / "mq6").string();
}
