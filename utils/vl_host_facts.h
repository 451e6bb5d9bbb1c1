#pragma once

#include <string>

#include "utils/vl_env.h"

namespace vl {

// Reads the hardware and operating-system facts from /proc, /sys, /etc/os-release and uname.
// `root` prefixes every file path (a test tree, where the kernel release, machine and host name
// are read from proc/sys/kernel/osrelease, arch and proc/sys/kernel/hostname instead of uname);
// empty reads the live system. Facts that cannot be read stay empty.
HardwareInventory CollectHardware(const std::string& root = "");

// Processor name + " + " + board product, then " + " + name(driver version) per graphics adapter.
std::u16string FormatHardwareSummary(const HardwareInventory& inventory);

}  // namespace vl
