// The SQLite store when another process holds the database's write lock.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>
#include <thread>
#include <vector>

#include "tests/backend/backend_process.h"
#include "utils/vl_http.h"

namespace vl::test {
namespace {

TEST(BackendSqliteTest, WritersLockedOutByAnotherProcessFailTogetherAfterOneBoundedWait) {
    ASSERT_TRUE(vl::Http::Instance()->Init());
    TempDir dir;
    {
        BackendProcess backend(dir);
        ASSERT_FALSE(backend.Url().empty()) << backend.Log();
        const std::string token = SignIn(backend, "13500001111");
        ASSERT_FALSE(token.empty()) << backend.Log();

        sqlite3* other = nullptr;
        ASSERT_EQ(sqlite3_open(dir.File("backend.db").c_str(), &other), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
        // Six charges queue behind each other's turn to write. Each used to wait its own 5 s
        // for the lock once its turn came (30 s for the last, long after the program gave up); now
        // the wait is bounded from arrival, so all fail together.
        constexpr int kWriters = 6;
        std::vector<int> codes(kWriters, -1);
        std::vector<std::thread> writers;
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < kWriters; ++i) {
            writers.emplace_back([&, i] {
                codes[i] =
                    Post(backend.Url() + "/trans/save-nums",
                         nlohmann::json{{"logId", "locked-" + std::to_string(i)}}.dump(), token)
                        .Code();
            });
        }
        for (auto& t : writers) {
            t.join();
        }
        const auto waited = std::chrono::steady_clock::now() - start;
        EXPECT_EQ(Get(backend.Url() + "/user/info", token).Code(), 0);  // reads go on
        sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(other);

        for (int code : codes) {
            EXPECT_EQ(code, 10500);
        }
        EXPECT_LT(waited, std::chrono::seconds(10));
        EXPECT_EQ(Post(backend.Url() + "/trans/save-nums", R"({"logId":"free"})", token).Code(), 0);
    }
    vl::Http::Instance()->Uninit();
}

}  // namespace
}  // namespace vl::test
