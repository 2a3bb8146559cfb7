// Fake sysfs trees and by-id directories in a temporary directory, laid out as the kernel
// and udev lay out the real ones (devices under devices/, links in bus/usb/devices/).
#pragma once

#include "firmware/test_files.h"

#include <string>

struct FakeUsbDevice {
    std::string usbPath; // "1-1.2"
    std::string vendor = "0403";
    std::string product = "6001";
    std::string productName = "MQ-6"; // empty: no product attribute
    std::string serial = "A10K2QX7";
    std::string terminal = "ttyUSB0"; // empty: no terminal (driver not bound)
    std::string latency = "";         // the terminal's latency_timer; empty: none
};

// While it lives, discovery searches its sys/, by-id/ and mq6 in place of /sys,
// /dev/serial/by-id and /dev/mq6.
struct FakeRoots : TempDir {
    FakeRoots();
    ~FakeRoots();
};

// Adds the device to the tree under sysfsRoot, with its interface and terminal.
void AddFakeUsbDevice(const std::string& sysfsRoot, const FakeUsbDevice& device);
// The unit's adapter n as udev shows it under base (a FakeRoots' path): usb path 1-n, serial
// A10K2QXn, terminal base/dev/ttyUSBn linked to pty, and its by-id name; the devices and names of
// any adapter before it gone.
void PlugAdapter(const std::string& base, const std::string& n, const std::string& pty);
// Adds devices written "usb path,terminal,product string,vendor:product", several separated by
// ";". Fields left off are FakeUsbDevice's defaults; "-" is an empty one (no ids, as
// vendor:product).
void AddFakeUsbDevices(const std::string& sysfsRoot, const std::string& devices);
