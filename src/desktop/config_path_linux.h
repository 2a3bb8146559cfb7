// Where the desktop program keeps its settings file on Linux: MQ-6_Setup.cfg, in the Windows
// utility's format, in $XDG_CONFIG_HOME/mq6/ (by default ~/.config/mq6/).
#pragma once

// Sets ConfigPath (settings/config.h) and makes its folder; ConfigPath stays empty when the system
// names no home.
void BuildDesktopConfigPath();
