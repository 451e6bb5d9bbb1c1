#include <gtest/gtest.h>

#include <cstdlib>

#include "tests/support/log_capture.h"
#include "tests/support/temp_dir.h"
#include "utils/vl_log.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // Per-user files (the device identifier) go to a folder of this run, never the real home.
    vl::test::TempDir userConfig;
    ::setenv("XDG_CONFIG_HOME", userConfig.Path().c_str(), 1);
    vl::test::InstallTestLogger();
    const int rc = RUN_ALL_TESTS();
    vl::log::FlushProcessLogger();
    return rc;
}
