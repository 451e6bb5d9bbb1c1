#include <gtest/gtest.h>

#include <future>

#include "platform/instance_channel.h"
#include "tests/support/temp_dir.h"
#include "tests/ui/ui_test_util.h"

using namespace std::chrono_literals;
using vl::platform::InstanceLock;

namespace {

// The client blocks: it runs on a thread while this one serves the event loop.
std::string Ask(const std::string& socket, const std::string& command) {
    auto answer = std::async(std::launch::async, [&] {
        std::string reply, error;
        return vl::platform::SendInstanceCommand(socket, command, reply, error, 5s) ? reply
                                                                                    : "! " + error;
    });
    vl::test::RunUntil([&] { return answer.wait_for(0s) == std::future_status::ready; });
    return answer.get();
}

}  // namespace

// The lock is held once per user and display, and freed with its holder; the socket answers
// registered commands with their handler's text and anything else with an error, one line each.
TEST(Instance, LockIsExclusiveAndTheSocketAnswersOneLinePerCommand) {
    vl::test::TempDir dir;
    const std::string lockPath = dir.File("i.lock"), socket = dir.File("i.sock");
    std::string error;
    {
        InstanceLock first, second;
        ASSERT_EQ(first.Acquire(lockPath, error), InstanceLock::Result::Acquired) << error;
        EXPECT_EQ(second.Acquire(lockPath, error), InstanceLock::Result::HeldElsewhere);
    }
    InstanceLock again;
    EXPECT_EQ(again.Acquire(lockPath, error), InstanceLock::Result::Acquired) << error;

    std::string reply;
    EXPECT_FALSE(vl::platform::SendInstanceCommand(socket, "show", reply, error, 200ms));
    EXPECT_NE(error.find("connect"), std::string::npos) << error;

    dir.Write("i.sock", "");  // a file a crashed run left behind is replaced
    vl::platform::InstanceServer server;
    int shown = 0;
    server.On("show", [&](const std::string& arg) {
        ++shown;
        return "ok " + arg;
    });
    ASSERT_TRUE(server.Listen(socket, error)) << error;
    EXPECT_EQ(Ask(socket, "show"), "ok ");
    EXPECT_EQ(Ask(socket, "show now"), "ok now");
    EXPECT_EQ(Ask(socket, "translate"), "error unknown command");
    EXPECT_EQ(shown, 2);
    EXPECT_EQ(Ask(socket, std::string(5000, 'x')).substr(0, 2), "! ");  // refused before sending
}
