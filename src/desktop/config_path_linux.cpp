// The settings file's place as the XDG base directories name it: a relative XDG_CONFIG_HOME is
// not one, and HOME's default stands instead.
#include "desktop/config_path_linux.h"

#include "settings/config.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

void BuildDesktopConfigPath() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    const char* home = std::getenv("HOME");
    std::filesystem::path folder;
    if (config != nullptr && config[0] == '/')
        folder = config;
    else if (home != nullptr && home[0] != '\0')
        folder = std::filesystem::path(home) / ".config";
    ConfigPath.fill('\0');
    if (folder.empty())
        return;
    folder /= "mq6";
    std::error_code error;
    std::filesystem::create_directories(folder, error); // a failure shows when the file is written
    std::string path = (folder / std::string(CONFIG_FILE_NAME)).string();
    if (path.size() < ConfigPath.size())
        std::memcpy(ConfigPath.data(), path.data(), path.size());
}
