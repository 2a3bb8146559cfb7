// Fake sysfs trees for the discovery tests.
#include "discovery/fake_sysfs.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

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
    fs::path links = fs::path(sysfsRoot) / "bus" / "usb" / "devices";
    fs::path hub = fs::path(sysfsRoot) / "devices" / "pci0000:00" / "0000:00:14.0" / "usb1";
    fs::path home = hub / device.usbPath, interface = home / (device.usbPath + ":1.0");
    fs::create_directories(links);
    fs::create_directories(interface);
    auto write = [](const fs::path& file, const std::string& text) {
        std::ofstream(file) << text << '\n';
    };
    if (!fs::exists(links / "usb1")) { // the root hub every tree has; it is no FTDI adapter
        write(hub / "idVendor", "1d6b");
        write(hub / "idProduct", "0002");
        fs::create_directory_symlink(fs::relative(hub, links), links / "usb1");
    }
    write(home / "idVendor", device.vendor);
    write(home / "idProduct", device.product);
    if (!device.productName.empty())
        write(home / "product", device.productName);
    write(home / "serial", device.serial);
    write(interface / "bInterfaceNumber", "00");
    if (!device.terminal.empty())
        fs::create_directories(interface / device.terminal / "tty" / device.terminal);
    fs::create_directory_symlink(fs::relative(home, links), links / device.usbPath);
    fs::create_directory_symlink(fs::relative(interface, links), links / interface.filename());
}

void AddByIdLink(const std::string& byIdDir, const std::string& name, const std::string& terminal) {
    fs::create_directories(byIdDir);
    fs::create_symlink(fs::path("../..") / terminal, fs::path(byIdDir) / name);
}
