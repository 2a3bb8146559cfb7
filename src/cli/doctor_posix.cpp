// mq6 doctor on Linux: the node's owner, group and mode, whether this user may open it, which
// programs hold it (from /proc, as far as this user may look), and the udev rule.
#include "cli/doctor.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {
namespace fs = std::filesystem;

constexpr std::array<const char*, 3> UDEV_RULES = {
    "/etc/udev/rules.d/60-mq6.rules",
    "/usr/lib/udev/rules.d/60-mq6.rules",
    "/lib/udev/rules.d/60-mq6.rules",
};

std::string ModeText(mode_t mode) {
    std::string text = S_ISCHR(mode) ? "c" : S_ISDIR(mode) ? "d" : S_ISREG(mode) ? "-" : "?";
    const char* letters = "rwxrwxrwx";
    for (int bit = 0; bit < 9; ++bit)
        text += (mode & (0400 >> bit)) != 0 ? letters[bit] : '-';
    return text;
}

std::string UserName(uid_t uid) {
    passwd* entry = getpwuid(uid);
    return entry != nullptr ? entry->pw_name : std::to_string(uid);
}

std::string GroupName(gid_t gid) {
    group* entry = getgrgid(gid);
    return entry != nullptr ? entry->gr_name : std::to_string(gid);
}

bool InGroupNow(gid_t gid) {
    if (getegid() == gid)
        return true;
    std::array<gid_t, 256> groups;
    int count = getgroups(static_cast<int>(groups.size()), groups.data());
    for (int i = 0; i < count; ++i)
        if (groups[static_cast<size_t>(i)] == gid)
            return true;
    return false;
}

// Listed in /etc/group: a membership that the next login brings.
bool ListedInGroup(gid_t gid, const std::string& user) {
    group* entry = getgrgid(gid);
    for (char** member = entry != nullptr ? entry->gr_mem : nullptr; member && *member; ++member)
        if (user == *member)
            return true;
    return false;
}

// The words of a process's command line (/proc/PID/cmdline holds them NUL-separated).
std::vector<std::string> ReadArguments(const fs::path& process) {
    std::vector<std::string> arguments;
    std::ifstream file(process / "cmdline", std::ios::binary);
    for (std::string word; std::getline(file, word, '\0');)
        arguments.push_back(word);
    return arguments;
}

// Other processes with the device open: each /proc/PID/fd entry this user may read that is
// the same character device. The kernel names the process in /proc/PID/comm.
std::vector<PortHolder> FindHolders(dev_t device) {
    std::vector<PortHolder> holders;
    std::error_code error;
    for (fs::directory_iterator it("/proc", error), end; !error && it != end; it.increment(error)) {
        std::string pid = it->path().filename().string();
        if (pid.find_first_not_of("0123456789") != std::string::npos ||
            pid == std::to_string(getpid()))
            continue;
        std::error_code fdError;
        for (fs::directory_iterator fd(it->path() / "fd", fdError), fdEnd; !fdError && fd != fdEnd;
             fd.increment(fdError)) {
            struct stat target {};
            if (stat(fd->path().c_str(), &target) != 0 || !S_ISCHR(target.st_mode) ||
                target.st_rdev != device)
                continue;
            PortHolder& holder = holders.emplace_back();
            std::getline(std::ifstream(it->path() / "comm"), holder.name);
            holder.pid = std::stoi(pid);
            holder.arguments = ReadArguments(it->path());
            break;
        }
    }
    return holders;
}
} // namespace

void InspectPortAccess(const char* port, PortAccess& facts) {
    facts = PortAccess{};
    facts.described = true;
    facts.user = UserName(geteuid());
    facts.udevRule = FindUdevRule();
    struct stat node {};
    if (stat(port, &node) != 0) {
        facts.error = std::strerror(errno);
        return;
    }
    facts.node =
        ModeText(node.st_mode) + " " + UserName(node.st_uid) + ":" + GroupName(node.st_gid);
    facts.group = GroupName(node.st_gid);
    facts.groupMayUse = (node.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
    facts.mayOpen = faccessat(AT_FDCWD, port, R_OK | W_OK, AT_EACCESS) == 0;
    // A new login helps only where the group's rights would let its members open it.
    facts.groupPending = !facts.mayOpen && facts.groupMayUse && !InGroupNow(node.st_gid) &&
                         ListedInGroup(node.st_gid, facts.user);
    facts.seesAll = geteuid() == 0;
    if (S_ISCHR(node.st_mode))
        facts.holders = FindHolders(node.st_rdev);
}

void LookForExclusiveMode(const char* port, PortAccess& facts) {
    // A terminal answers an open with EBUSY only for its exclusive mode (root passes it).
    int fd = open(port, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    facts.exclusive = fd < 0 && errno == EBUSY;
    if (fd >= 0)
        close(fd);
}

std::string FindUdevRule() {
    for (const char* rule : UDEV_RULES)
        if (access(rule, F_OK) == 0)
            return rule;
    return {};
}

const char* LatencyTimerMend() {
    return "the Debian package's udev rule (60-mq6.rules) sets 1 ms whenever the adapter is "
           "plugged in; until then: echo 1 | sudo tee "
           "/sys/bus/usb-serial/devices/ttyUSBn/latency_timer";
}
