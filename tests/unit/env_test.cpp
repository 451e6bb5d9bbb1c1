#include <gtest/gtest.h>

#include <spdlog/spdlog.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <regex>

#include "logic/init_log.h"
#include "platform/core/host_facts.h"
#include "tests/support/log_capture.h"
#include "tests/support/temp_dir.h"
#include "utils/vl_env.h"
#include "utils/vl_log.h"
#include "utils/vl_string.h"

using vl::test::LogCapture;
using vl::test::TempDir;

namespace {

bool IsHex32(const std::string& s) {
    return std::regex_match(s, std::regex("[0-9a-f]{32}"));
}

}  // namespace

TEST(DeviceId, StoredValueIsReturnedUnchanged) {
    TempDir dir;
    const std::string path = dir.File("VelMora/device_id");
    std::filesystem::create_directories(dir.Path() / "VelMora");
    const std::string odd = "Δ-device&id=" + std::string(114, 'z');  // 127 bytes
    ASSERT_EQ(odd.size(), 127u);
    dir.Write("VelMora/device_id", odd);
    EXPECT_EQ(vl::FindOrCreateDeviceId(path), odd);
    dir.Write("VelMora/device_id", "abc\n");  // an editor's line end is not part of it
    EXPECT_EQ(vl::FindOrCreateDeviceId(path), "abc");
}

TEST(DeviceId, MissingOrUnusableValueIsReplacedAndStored) {
    TempDir dir;
    const std::string path = dir.File("VelMora/device_id");
    const std::string first = vl::FindOrCreateDeviceId(path);
    EXPECT_TRUE(IsHex32(first)) << first;
    EXPECT_EQ(dir.Read("VelMora/device_id"), first);
    EXPECT_EQ(vl::FindOrCreateDeviceId(path), first);

    for (const std::string& bad : {std::string(128, 'x'), std::string(), std::string("a\0b", 3),
                                   std::string("two\nlines")}) {
        dir.Write("VelMora/device_id", bad);
        const std::string fresh = vl::FindOrCreateDeviceId(path);
        EXPECT_TRUE(IsHex32(fresh));
        EXPECT_EQ(dir.Read("VelMora/device_id"), fresh);
    }
}

TEST(DeviceId, UnreadableOrUnwritableStoreStillYieldsAnIdentifier) {
    TempDir dir;
    // A folder where the file belongs: it can be neither read nor replaced, even by root.
    std::filesystem::create_directories(dir.Path() / "VelMora/device_id");
    LogCapture::Get()->Clear();
    const std::string a = vl::FindOrCreateDeviceId(dir.File("VelMora/device_id"));
    EXPECT_TRUE(IsHex32(a));
    EXPECT_TRUE(LogCapture::Get()->Contains("store device id to"));
    // A file where the folder belongs.
    dir.Write("NotAFolder", "x");
    const std::string b = vl::FindOrCreateDeviceId(dir.File("NotAFolder/device_id"));
    EXPECT_TRUE(IsHex32(b));
    EXPECT_NE(a, b);
}

TEST(DeviceId, ProcessIdentifierLivesInTheUserConfigFolder) {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    ASSERT_NE(xdg, nullptr);  // the test main points it at a folder of this run
    EXPECT_EQ(vl::DeviceIdPath(), std::string(xdg) + "/VelMora/device_id");
    const std::string id = vl::DeviceId();
    EXPECT_TRUE(IsHex32(id));
    std::filesystem::remove(vl::DeviceIdPath());
    EXPECT_EQ(vl::DeviceId(), id);  // cached for the process
}

TEST(HostFacts, InventoryFromProcAndSys) {
    TempDir root;
    std::filesystem::create_directories(root.Path() / "proc/sys/kernel");
    std::filesystem::create_directories(root.Path() / "sys/class/dmi/id");
    std::filesystem::create_directories(root.Path() / "sys/class/drm/card0/device");
    std::filesystem::create_directories(root.Path() / "sys/class/drm/card0-HDMI-A-1");
    std::filesystem::create_directories(root.Path() / "sys/class/drm/card1/device");
    std::filesystem::create_directories(root.Path() / "sys/module/i915");
    std::filesystem::create_directories(root.Path() / "etc");
    root.Write("proc/cpuinfo",
               "processor\t: 0\nvendor_id\t: GenuineIntel\nmodel name\t: Intel(R) Core(TM) i7\n"
               "cpu cores\t: 4\n\nprocessor\t: 1\nmodel name\t: ignored\n");
    root.Write("sys/class/dmi/id/board_name", "B450M\n");
    root.Write("sys/class/dmi/id/board_vendor", "Maker\n");
    root.Write("sys/class/drm/card0/device/uevent", "DRIVER=i915\nPCI_ID=8086:5917\n");
    root.Write("sys/class/drm/card1/device/uevent", "DRIVER=nouveau\n");
    root.Write("sys/module/i915/version", "2.1\n");
    root.Write("etc/os-release",
               "NAME=Debian\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)|extra\"\n");
    root.Write("proc/sys/kernel/osrelease", "6.1.0-18-amd64\n");
    root.Write("arch", "x86_64\n");

    const vl::HardwareInventory hw = vl::platform::CollectHardware(root.Path().string());
    EXPECT_EQ(hw.processorName, u"Intel(R) Core(TM) i7");
    EXPECT_EQ(hw.processorManufacturer, u"GenuineIntel");
    EXPECT_EQ(hw.cores, 4u);
    EXPECT_EQ(hw.logicalProcessors, 2u);
    EXPECT_EQ(hw.boardProduct, u"B450M");
    ASSERT_EQ(hw.videoControllers.size(), 2u);
    EXPECT_EQ(vl::ToUtf8(vl::platform::FormatHardwareSummary(hw)),
              "Intel(R) Core(TM) i7 + B450M + card0 i915 [8086:5917](2.1) + card1 nouveau()");
    EXPECT_EQ(hw.osCaption, u"Debian GNU/Linux 12 (bookworm)");
    EXPECT_EQ(hw.osArchitecture, u"x86_64");
    EXPECT_EQ(hw.osVersion, u"6.1.0-18-amd64");
}

TEST(HostFacts, NoGraphicsGivesProcessorAndBoardOnly) {
    vl::HardwareInventory hw;
    hw.processorName = u"CPU";
    hw.boardProduct = u"Board";
    EXPECT_EQ(vl::platform::FormatHardwareSummary(hw), u"CPU + Board");
    // The live machine answers without failing, whatever it has.
    EXPECT_NE(vl::HardwareSummary().find(" + "), std::string::npos);
    const std::string os = vl::OsDescription();
    EXPECT_GE(std::count(os.begin(), os.end(), ' '), 2);
}

TEST(Env, VersionDpiAndFolders) {
    EXPECT_EQ(vl::VersionNumber(), 1000000u);
    EXPECT_EQ(vl::VersionString(), "1.0.0");

    EXPECT_EQ(vl::OSDpi(), 96u);
    vl::SetDpiSource([] { return 144u; });
    EXPECT_EQ(vl::OSDpi(), 144u);
    vl::SetDpiSource([] { return 0u; });
    EXPECT_EQ(vl::OSDpi(), 96u);
    vl::SetDpiSource(nullptr);

    const std::string exe = vl::ToString(vl::ExeDir());
    EXPECT_TRUE(std::filesystem::exists(exe + "/env_test"));
    EXPECT_EQ(vl::ToString(vl::LogDir()), exe + "/log");
    EXPECT_EQ(vl::ToString(vl::CacheDir()), exe + "/cache");
    EXPECT_TRUE(std::filesystem::is_directory(exe + "/log"));
    EXPECT_TRUE(std::filesystem::is_directory(exe + "/cache"));
}

TEST(InitLog, FileNameHasNoPadding) {
    std::tm t{};
    t.tm_year = 2026 - 1900;
    t.tm_mon = 11;
    t.tm_mday = 5;
    t.tm_hour = 8;
    t.tm_min = 13;
    t.tm_sec = 30;
    t.tm_isdst = -1;
    const auto at =
        std::chrono::system_clock::from_time_t(std::mktime(&t)) + std::chrono::milliseconds(45);
    EXPECT_EQ(LogFileName(at), "velmora-translator-2026125-81330.45.log");
}

TEST(InitLog, WritesThisStartsFileWithTheProcessPattern) {
    std::set<std::string> old;
    for (const auto& e : std::filesystem::directory_iterator(vl::ToString(vl::LogDir())))
        old.insert(e.path().string());
    ASSERT_TRUE(InitLog());
    VL_INFO("log init ok");
    vl::log::FlushProcessLogger();
    std::string created;
    for (const auto& e : std::filesystem::directory_iterator(vl::ToString(vl::LogDir()))) {
        if (!old.count(e.path().string()))
            created = e.path().string();
    }
    vl::test::InstallTestLogger();  // back to the capture for the other tests
    ASSERT_FALSE(created.empty());
    std::ifstream in(created, std::ios::binary);
    std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_TRUE(std::regex_search(
        content,
        std::regex(
            R"(\[I\]\[[^\]]+\]\[\d+\]\[ *\d+\]\[env_test\.cpp:\d+\]\[InitLog_WritesThisStartsFileWithTheProcessPattern_Test::TestBody\] log init ok\r\n$)")))
        << content;
    std::filesystem::remove(created);
}
