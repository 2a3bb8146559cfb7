// Fake sysfs trees for the discovery tests.
#include "discovery/fake_sysfs.h"

#include <cstdlib>
#include <filesystem>
#include <vector>

namespace fs = std::filesystem;

FakeRoots::FakeRoots() {
    setenv("MQ6_SYSFS_ROOT", File("sys").c_str(), 1);
    setenv("MQ6_SERIAL_BY_ID_DIR", File("by-id").c_str(), 1);
    setenv("MQ6_UNIT_LINK", File("mq6").c_str(), 1);
}

FakeRoots::~FakeRoots() {
    for (const char* name : {"MQ6_SYSFS_ROOT", "MQ6_SERIAL_BY_ID_DIR", "MQ6_UNIT_LINK"})
        unsetenv(name);
}

void AddFakeUsbDevice(const std::string& sysfsRoot, const FakeUsbDevice& device) {
    fs::path links = fs::path(sysfsRoot) / "bus" / "usb" / "devices";
    fs::path hub = fs::path(sysfsRoot) / "devices" / "pci0000:00" / "0000:00:14.0" / "usb1";
    fs::path home = hub / device.usbPath, interface = home / (device.usbPath + ":1.0");
    fs::create_directories(links);
    fs::create_directories(interface);
    if (!device.vendor.empty()) { // empty: a device that gives no ids
        WriteText(home / "idVendor", device.vendor + "\n");
        WriteText(home / "idProduct", device.product + "\n");
    }
    if (!device.productName.empty())
        WriteText(home / "product", device.productName + "\n");
    WriteText(home / "serial", device.serial + "\n");
    if (!device.terminal.empty())
        fs::create_directories(interface / device.terminal / "tty" / device.terminal);
    if (!device.latency.empty())
        WriteText(interface / device.terminal / "latency_timer", device.latency + "\n");
    fs::create_directory_symlink(fs::relative(home, links), links / device.usbPath);
    fs::create_directory_symlink(fs::relative(interface, links), links / interface.filename());
}

void PlugAdapter(const std::string& base, const std::string& n, const std::string& pty) {
    const std::string terminal = "ttyUSB" + n, serial = "A10K2QX" + n;
    for (const char* gone : {"/sys", "/dev", "/by-id"})
        fs::remove_all(base + gone);
    for (const char* made : {"/sys/bus/usb/devices", "/dev", "/by-id"})
        fs::create_directories(base + made);
    fs::create_symlink(pty, base + "/dev/" + terminal);
    AddFakeUsbDevice(base + "/sys", {.usbPath = "1-" + n, .serial = serial, .terminal = terminal});
    fs::create_symlink("../dev/" + terminal,
                       base + "/by-id/usb-FTDI_MQ-6_" + serial + "-if00-port0");
}

void AddFakeUsbDevices(const std::string& sysfsRoot, const std::string& devices) {
    for (const std::string& device : Split(devices, ';')) {
        std::vector<std::string> f = Split(device, ',');
        for (std::string& field : f)
            field = field == "-" ? "" : field;
        const std::vector<std::string> defaults{"", "ttyUSB0", "MQ-6", "0403:6001"};
        f.insert(f.end(), defaults.begin() + static_cast<long>(f.size()), defaults.end());
        FakeUsbDevice fake{.usbPath = f[0], .productName = f[2], .terminal = f[1]};
        fake.vendor = f[3].substr(0, 4);
        fake.product = f[3].substr(std::min<size_t>(5, f[3].size()));
        AddFakeUsbDevice(sysfsRoot, fake);
    }
}
