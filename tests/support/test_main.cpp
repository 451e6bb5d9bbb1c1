#include <gtest/gtest.h>

#include "tests/support/log_capture.h"
#include "utils/vl_log.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    vl::test::InstallTestLogger();
    const int rc = RUN_ALL_TESTS();
    vl::log::FlushProcessLogger();
    return rc;
}
