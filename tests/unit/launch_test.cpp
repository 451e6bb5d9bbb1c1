#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <thread>

#include "platform/core/launch.h"
#include "tests/support/temp_dir.h"

using namespace std::chrono_literals;

TEST(Launch, PassesTheAddressAsOneArgumentWithoutAShell) {
    vl::test::TempDir dir;
    const std::string out = dir.File("args");
    dir.Write("opener", "#!/bin/sh\nfor a in \"$@\"; do printf '[%s]' \"$a\"; done > \"" + out +
                            ".tmp\"\nmv \"" + out + ".tmp\" \"" + out + "\"\n");
    ::chmod(dir.File("opener").c_str(), 0755);
    std::string error;
    const std::string url = "https://example.com/a b?x=$(touch " + dir.File("pwned") + ")&y=`id`;z";
    ASSERT_TRUE(vl::platform::LaunchDetached(dir.File("opener"), {url}, error)) << error;
    for (int i = 0; i < 500 && !std::filesystem::exists(out); ++i)
        std::this_thread::sleep_for(10ms);
    EXPECT_EQ(dir.Read("args"), "[" + url + "]");
    EXPECT_FALSE(std::filesystem::exists(dir.File("pwned")));
}

TEST(Launch, ReportsAProgramThatCannotStart) {
    vl::test::TempDir dir;
    std::string error;
    EXPECT_FALSE(vl::platform::LaunchDetached("velmora-no-such-program", {}, error));
    EXPECT_EQ(error, "velmora-no-such-program not found");
    dir.Write("broken", "#!/nonexistent/interpreter\n");
    ::chmod(dir.File("broken").c_str(), 0755);
    EXPECT_FALSE(vl::platform::LaunchDetached(dir.File("broken"), {}, error));
    EXPECT_EQ(error.rfind("exec failed", 0), 0u) << error;
}
