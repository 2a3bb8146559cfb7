// Fake sysfs trees for the discovery tests.
#include "discovery/fake_sysfs.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {
void WriteAttribute(const fs::path& file, const std::string& text) {
    std::ofstream out(file);
    out << text << '\n';
}
} // namespace

std::string MakeTempDir() {
    char pattern[] = "/tmp/mq6-discovery.XXXXXX";
    const char* made = mkdtemp(pattern);
    return made != nullptr ? made : "";
}

void RemoveTree(const std::string& path) {
    std::error_code error;
    if (!path.empty())
        fs::remove_all(path, error);
}

void AddFakeUsbDevice(const std::string& sysfsRoot, const FakeUsbDevice& device) {
    fs::path root(sysfsRoot);
    fs::path links = root / "bus" / "usb" / "devices";
    fs::path hub = root / "devices" / "pci0000:00" / "0000:00:14.0" / "usb1";
    fs::path home = hub / device.usbPath;
    fs::create_directories(links);
    fs::create_directories(home);
    // The root hub every tree has; it is not an FTDI adapter.
    if (!fs::exists(links / "usb1")) {
        WriteAttribute(hub / "idVendor", "1d6b");
        WriteAttribute(hub / "idProduct", "0002");
        fs::create_directory_symlink(fs::relative(hub, links), links / "usb1");
    }
    WriteAttribute(home / "idVendor", device.vendor);
    WriteAttribute(home / "idProduct", device.product);
    if (!device.productName.empty())
        WriteAttribute(home / "product", device.productName);
    WriteAttribute(home / "serial", device.serial);
    std::string interfaceName = device.usbPath + ":1.0";
    fs::path interface = home / interfaceName;
    fs::create_directories(interface);
    WriteAttribute(interface / "bInterfaceNumber", "00");
    if (!device.terminal.empty())
        fs::create_directories(interface / device.terminal / "tty" / device.terminal);
    fs::create_directory_symlink(fs::relative(home, links), links / device.usbPath);
    fs::create_directory_symlink(fs::relative(interface, links), links / interfaceName);
}

void AddByIdLink(const std::string& byIdDir, const std::string& name, const std::string& terminal) {
    fs::create_directories(byIdDir);
    fs::create_symlink(fs::path("../..") / terminal, fs::path(byIdDir) / name);
}
