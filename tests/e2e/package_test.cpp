// The Debian package as a user gets it: built by CPack from this tree, unpacked into a temporary
// root and started from there with a home of its own.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <vector>

#include "tests/e2e/desktop_session.h"
#include "tests/support/loopback_server.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

// Runs a program found on PATH.
vl::test::ProcessResult Exec(std::vector<std::string> argv, int timeoutMs = 120000) {
    argv.insert(argv.begin(), "/usr/bin/env");
    return vl::test::RunProcess(argv, "", timeoutMs);
}

}  // namespace

TEST(Package, InstallsWhereTheDesktopLooksAndRunsFromAReadOnlyTreeWithUserFolders) {
    vl::test::TempDir work;
    const auto built =
        Exec({VELMORA_CPACK, "--config", VELMORA_CPACK_CONFIG, "-B", work.File("out")}, 480000);
    ASSERT_EQ(built.exitCode, 0) << built.out << built.err;
    const std::string deb = work.File("out/" VELMORA_PACKAGE_FILE);
    ASSERT_TRUE(fs::exists(deb)) << built.out;

    // Dependencies: the libraries' packages found by dpkg-shlibdeps, and the run-time data.
    const std::string depends = Exec({"dpkg-deb", "-f", deb, "Depends"}).out;
    for (const char* p : {"libqt6widgets6", "libcurl4", "fonts-noto-cjk", "tesseract-ocr-jpn-vert"})
        EXPECT_NE(depends.find(p), std::string::npos) << p << " missing in " << depends;
    const auto simulated =
        Exec({"apt-get", "install", "--simulate", "--no-install-recommends", deb});
    EXPECT_EQ(simulated.exitCode, 0) << simulated.out << simulated.err;
    EXPECT_NE(
        Exec({"dpkg-deb", "-I", deb, "conffiles"}).out.find("/etc/velmora/velmora-backend.json"),
        std::string::npos);

    const fs::path root = work.Path() / "root";
    ASSERT_EQ(Exec({"dpkg-deb", "-x", deb, root.string()}).exitCode, 0);
    EXPECT_TRUE(fs::exists(root / "usr/lib/systemd/system/velmora-backend.service"));
    for (const auto& check :
         {std::vector<std::string>{
              "desktop-file-validate",
              (root / "usr/share/applications/net.velmora.Translator.desktop")},
          std::vector<std::string>{
              "appstreamcli", "validate", "--no-net",
              root / "usr/share/metainfo/net.velmora.Translator.metainfo.xml"}}) {
        const auto valid = Exec(check);
        EXPECT_EQ(valid.exitCode, 0) << valid.out << valid.err;
    }

    // The tree read-only as installed; the user's folders in a home of the test's own. A services
    // file in the user's settings folder keeps the program off the network.
    vl::test::XServer x;
    if (!x.Ready())
        GTEST_SKIP() << "Xvfb could not be started";
    ASSERT_EQ(Exec({"chmod", "-R", "a-w", root.string()}).exitCode, 0);
    const fs::path home = work.Path() / "home";
    fs::create_directories(home / "config/velmora");
    fs::create_directories(home / "run");
    std::ofstream(home / "config/velmora/velmora-services.json")
        << R"({"backend":{"url":"http://127.0.0.1:9"}})";
    std::ofstream(work.File("started"));  // anything under the tree newer than this was written
    const std::map<std::string, std::string> env{{"HOME", home.string()},
                                                 {"XDG_CONFIG_HOME", (home / "config").string()},
                                                 {"XDG_STATE_HOME", (home / "state").string()},
                                                 {"XDG_CACHE_HOME", (home / "cache").string()},
                                                 {"XDG_RUNTIME_DIR", (home / "run").string()}};
    vl::test::ProgramRun run((root / "usr/bin/velmora-translator").string());
    ASSERT_TRUE(run.Start(x.Display(), env));
    EXPECT_TRUE(vl::test::WaitUntil(
        [&] {
            return !vl::test::XdoTool(x.Display(),
                                      {"search", "--onlyvisible", "--name", "Velmora翻译-主窗口"})
                        .empty();
        },
        60s))
        << run.Stderr();
    EXPECT_TRUE(
        vl::test::WaitUntil([&] { return fs::exists(home / "config/velmora/velmora.xml"); }, 30s));
    run.Signal(SIGTERM);
    EXPECT_EQ(run.WaitExit(60s), 0) << run.Stderr();
    EXPECT_FALSE(fs::is_empty(home / "state/velmora/log"));
    EXPECT_EQ(Exec({"find", root.string(), "-newer", work.File("started")}).out, "");

    // The command-line tool names the same folders.
    EXPECT_NE(Exec({"HOME=" + home.string(), "XDG_CONFIG_HOME=" + (home / "config").string(),
                    (root / "usr/bin/velmora-cli").string(), "env"})
                  .out.find("config_dir: " + (home / "config/velmora").string()),
              std::string::npos);
    Exec({"chmod", "-R", "u+w", root.string()});  // so the folder can be removed
}
