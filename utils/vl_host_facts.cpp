#include "utils/vl_host_facts.h"

#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "utils/vl_string.h"

namespace vl {

namespace {

std::string Trim(std::string s) {
    const auto notSpace = [](unsigned char c) { return !std::isspace(c); };
    s.erase(s.begin(), std::find_if(s.begin(), s.end(), notSpace));
    s.erase(std::find_if(s.rbegin(), s.rend(), notSpace).base(), s.end());
    return s;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return {};
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::u16string ReadLine(const std::string& path) {
    return ToWString(Trim(ReadFile(path)));
}

// "key : value" lines of /proc/cpuinfo for the first processor, and the processor count.
void ReadCpuInfo(const std::string& root, HardwareInventory& hw) {
    std::istringstream in(ReadFile(root + "/proc/cpuinfo"));
    std::string line;
    std::uint32_t processors = 0;
    while (std::getline(in, line)) {
        const auto colon = line.find(':');
        if (colon == std::string::npos)
            continue;
        const std::string key = Trim(line.substr(0, colon));
        const std::string value = Trim(line.substr(colon + 1));
        if (key == "processor") {
            ++processors;
        } else if (processors == 1) {
            if (key == "model name")
                hw.processorName = ToWString(value);
            else if (key == "vendor_id")
                hw.processorManufacturer = ToWString(value);
            else if (key == "cpu cores")
                hw.cores = static_cast<std::uint32_t>(std::atoi(value.c_str()));
            else if (key == "cpu family" && hw.processorId.empty())
                hw.processorId = ToWString("family " + value);
        }
    }
    hw.logicalProcessors = processors;
}

void ReadGraphics(const std::string& root, HardwareInventory& hw) {
    std::error_code ec;
    const std::filesystem::path drm = root + "/sys/class/drm";
    std::vector<std::string> cards;
    for (const auto& entry : std::filesystem::directory_iterator(drm, ec)) {
        const std::string name = entry.path().filename().string();
        // card0, card1… are adapters; card0-HDMI-A-1 and the like are their outputs.
        if (name.rfind("card", 0) == 0 && name.find('-') == std::string::npos) {
            cards.push_back(name);
        }
    }
    std::sort(cards.begin(), cards.end());
    for (const std::string& card : cards) {
        const std::string dev = drm.string() + "/" + card + "/device";
        std::string driver;
        std::string pciId;
        std::istringstream uevent(ReadFile(dev + "/uevent"));
        std::string line;
        while (std::getline(uevent, line)) {
            if (line.rfind("DRIVER=", 0) == 0)
                driver = line.substr(7);
            if (line.rfind("PCI_ID=", 0) == 0)
                pciId = line.substr(7);
        }
        HardwareInventory::VideoController vc;
        std::string name = card;
        if (!driver.empty())
            name += " " + driver;
        if (!pciId.empty())
            name += " [" + pciId + "]";
        vc.name = ToWString(name);
        std::string version = Trim(ReadFile(root + "/sys/module/" + driver + "/version"));
        if (version.empty()) {
            utsname u{};
            if (root.empty() && ::uname(&u) == 0)
                version = u.release;
        }
        vc.driverVersion = ToWString(version);
        hw.videoControllers.push_back(std::move(vc));
    }
}

std::string OsReleaseValue(const std::string& root, const std::string& key) {
    std::istringstream in(ReadFile(root + "/etc/os-release"));
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind(key + "=", 0) != 0)
            continue;
        std::string value = line.substr(key.size() + 1);
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
            value.back() == value.front()) {
            value = value.substr(1, value.size() - 2);
        }
        return value;
    }
    return {};
}

}  // namespace

HardwareInventory CollectHardware(const std::string& root) {
    HardwareInventory hw;
    const std::string dmi = root + "/sys/class/dmi/id/";
    hw.boardManufacturer = ReadLine(dmi + "board_vendor");
    hw.boardProduct = ReadLine(dmi + "board_name");
    hw.boardVersion = ReadLine(dmi + "board_version");
    hw.boardSerial = ReadLine(dmi + "board_serial");
    ReadCpuInfo(root, hw);
    ReadGraphics(root, hw);

    std::string caption = OsReleaseValue(root, "PRETTY_NAME");
    caption = caption.substr(0, caption.find('|'));
    hw.osCaption = ToWString(caption);
    if (root.empty()) {
        utsname u{};
        if (::uname(&u) == 0) {
            hw.osVersion = ToWString(u.release);
            hw.osArchitecture = ToWString(u.machine);
            hw.computerName = ToWString(u.nodename);
        }
    } else {
        hw.osVersion = ReadLine(root + "/proc/sys/kernel/osrelease");
        hw.osArchitecture = ReadLine(root + "/arch");
        hw.computerName = ReadLine(root + "/proc/sys/kernel/hostname");
    }
    hw.osSerial = ReadLine(root + "/etc/machine-id");
    return hw;
}

std::u16string FormatHardwareSummary(const HardwareInventory& hw) {
    std::u16string s = hw.processorName + u" + " + hw.boardProduct;
    for (const auto& vc : hw.videoControllers) {
        s += u" + " + vc.name + u"(" + vc.driverVersion + u")";
    }
    return s;
}

}  // namespace vl
