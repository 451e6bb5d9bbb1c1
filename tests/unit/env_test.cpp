#include <gtest/gtest.h>

#include <spdlog/spdlog.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

TEST(DeviceId, StoredValueIsKeptAndAnUnusableOneReplaced) {
    TempDir dir;
    const std::string path = dir.File("VelMora/device_id");
    const std::string first = vl::FindOrCreateDeviceId(path);
    EXPECT_TRUE(IsHex32(first)) << first;
    EXPECT_EQ(dir.Read("VelMora/device_id"), first);
    const std::string odd = "Δ-device&id=" + std::string(114, 'z');  // 127 bytes
    dir.Write("VelMora/device_id", odd);
    EXPECT_EQ(vl::FindOrCreateDeviceId(path), odd);

    // The store replaces a link planted at its place instead of writing where the link points.
    dir.Write("victim", "two\nlines");  // unusable as an identifier: it is replaced
    std::filesystem::remove(path);
    std::filesystem::create_symlink(dir.File("victim"), path);
    const std::string fresh = vl::FindOrCreateDeviceId(path);
    EXPECT_TRUE(IsHex32(fresh));
    EXPECT_EQ(dir.Read("victim"), "two\nlines");
    EXPECT_FALSE(std::filesystem::is_symlink(path));
    EXPECT_EQ(dir.Read("VelMora/device_id"), fresh);

    // A folder where the file belongs can be neither read nor replaced, even by root.
    std::filesystem::create_directories(dir.Path() / "other/device_id");
    EXPECT_TRUE(IsHex32(vl::FindOrCreateDeviceId(dir.File("other/device_id"))));
}

TEST(DeviceId, WithoutAHomeTheStoreIsAPrivateFolder) {
    const std::string xdg = std::getenv("XDG_CONFIG_HOME");
    EXPECT_EQ(vl::DeviceIdPath(), xdg + "/VelMora/device_id");
    const char* home = std::getenv("HOME");
    const std::string savedHome = home != nullptr ? home : "";
    ::unsetenv("XDG_CONFIG_HOME");
    ::unsetenv("HOME");
    const std::string path = vl::DeviceIdPath();
    ::setenv("XDG_CONFIG_HOME", xdg.c_str(), 1);
    if (home != nullptr)
        ::setenv("HOME", savedHome.c_str(), 1);
    const std::string folder = "/tmp/velmora-" + std::to_string(::getuid());
    EXPECT_EQ(path, folder + "/VelMora/device_id");
    struct stat st {};
    ASSERT_EQ(::lstat(folder.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 077, 0u);
    EXPECT_EQ(st.st_uid, ::getuid());
}

TEST(HostFacts, InventoryFromProcAndSys) {
    TempDir root;
    std::filesystem::create_directories(root.Path() / "proc/sys/kernel");
    std::filesystem::create_directories(root.Path() / "sys/class/dmi/id");
    std::filesystem::create_directories(root.Path() / "sys/class/drm/card0/device");
    std::filesystem::create_directories(root.Path() / "sys/module/i915");
    root.Write("proc/cpuinfo",
               "processor\t: 0\nvendor_id\t: GenuineIntel\nmodel name\t: Intel(R) Core(TM) i7\n"
               "cpu cores\t: 4\n\nprocessor\t: 1\nmodel name\t: ignored\n");
    root.Write("sys/class/dmi/id/board_name", "B450M\n");
    root.Write("sys/class/drm/card0/device/uevent", "DRIVER=i915\nPCI_ID=8086:5917\n");
    root.Write("sys/module/i915/version", "2.1\n");
    const vl::HardwareInventory hw = vl::platform::CollectHardware(root.Path().string());
    EXPECT_EQ(hw.logicalProcessors, 2u);
    EXPECT_EQ(vl::ToUtf8(vl::platform::FormatHardwareSummary(hw)),
              "Intel(R) Core(TM) i7 + B450M + card0 i915 [8086:5917](2.1)");
}

TEST(Env, VersionAndFolders) {
    EXPECT_EQ(vl::VersionString(), "1.0.0");
    const std::string exe = vl::ToString(vl::ExeDir());
    EXPECT_TRUE(std::filesystem::exists(exe + "/env_test"));
    EXPECT_EQ(vl::ToString(vl::LogDir()), exe + "/log");
    EXPECT_TRUE(std::filesystem::is_directory(exe + "/log"));
}

// The log file is this start's own, in the process pattern, and no launched program inherits it.
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
    int flags = -1;
    for (const auto& e : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code ec;
        if (std::filesystem::read_symlink(e.path(), ec).string() == created)
            flags = ::fcntl(std::stoi(e.path().filename().string()), F_GETFD);
    }
    vl::test::InstallTestLogger();  // back to the capture for the other tests
    ASSERT_FALSE(created.empty());
    EXPECT_NE(flags, -1);
    EXPECT_TRUE(flags & FD_CLOEXEC);
    std::ifstream in(created, std::ios::binary);
    std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_TRUE(std::regex_search(
        content,
        std::regex(
            R"(\[I\]\[[^\]]+\]\[\d+\]\[ *\d+\]\[env_test\.cpp:\d+\]\[InitLog_WritesThisStartsFileWithTheProcessPattern_Test::TestBody\] log init ok\r\n$)")))
        << content;
    std::filesystem::remove(created);
}
