// Fake sysfs trees and by-id directories in a temporary directory, laid out as the kernel
// and udev lay out the real ones (devices under devices/, links in bus/usb/devices/).
#pragma once

#include <string>

struct FakeUsbDevice {
    std::string usbPath; // "1-1.2"
    std::string vendor = "0403";
    std::string product = "6001";
    std::string productName = "MQ-6"; // empty: no product attribute
    std::string serial = "A10K2QX7";
    std::string terminal = "ttyUSB0"; // empty: no terminal (driver not bound)
};

// A fresh directory under /tmp; RemoveTree deletes it and everything below.
std::string MakeTempDir();
void RemoveTree(const std::string& path);

// Adds the device to the tree under sysfsRoot, with its interface and terminal.
void AddFakeUsbDevice(const std::string& sysfsRoot, const FakeUsbDevice& device);
// Adds a by-id link name -> ../../terminal.
void AddByIdLink(const std::string& byIdDir, const std::string& name, const std::string& terminal);
