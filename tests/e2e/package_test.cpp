// The Debian package as a user gets it: built by CPack from this tree, unpacked into a temporary
// root and started from there with a home of its own.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "tests/e2e/desktop_session.h"
#include "tests/support/loopback_server.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

// Every path under `root` with its size and modification time.
std::map<std::string, std::string> Snapshot(const fs::path& root) {
    std::map<std::string, std::string> out;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        struct stat st {};
        ::lstat(e.path().c_str(), &st);
        out[e.path().string()] = std::to_string(st.st_size) + "@" + std::to_string(st.st_mtime) +
                                 "." + std::to_string(st.st_mtim.tv_nsec);
    }
    return out;
}

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
    for (const char* f :
         {"usr/bin/velmora-cli", "usr/bin/velmora-backend", "usr/share/velmora/main/ui.xml",
          "usr/share/icons/hicolor/48x48/apps/velmora-translator.png",
          "usr/share/icons/hicolor/256x256/apps/velmora-translator.png",
          "usr/lib/systemd/system/velmora-backend.service", "etc/velmora/velmora-backend.json"})
        EXPECT_TRUE(fs::exists(root / f)) << f;
    const auto desktop =
        Exec({"desktop-file-validate",
              (root / "usr/share/applications/net.velmora.Translator.desktop").string()});
    EXPECT_EQ(desktop.exitCode, 0) << desktop.out << desktop.err;
    const auto metainfo =
        Exec({"appstreamcli", "validate", "--no-net",
              (root / "usr/share/metainfo/net.velmora.Translator.metainfo.xml").string()});
    EXPECT_EQ(metainfo.exitCode, 0) << metainfo.out << metainfo.err;
    // The unit runs the installed back-end with the packaged configuration, and nothing enables it.
    std::ifstream unitFile(root / "usr/lib/systemd/system/velmora-backend.service");
    const std::string unit((std::istreambuf_iterator<char>(unitFile)), {});
    EXPECT_NE(
        unit.find("ExecStart=/usr/bin/velmora-backend --config /etc/velmora/velmora-backend.json"),
        std::string::npos)
        << unit;
    EXPECT_FALSE(fs::exists(root / "etc/systemd"));

    // The tree read-only as installed; the user's folders in a home of the test's own. A services
    // file in the user's settings folder keeps the program off the network.
    vl::test::XServer x;
    if (!x.Ready())
        GTEST_SKIP() << "Xvfb could not be started";
    ASSERT_EQ(Exec({"chmod", "-R", "a-w", root.string()}).exitCode, 0);
    const fs::path home = work.Path() / "home";
    fs::create_directories(home / "config/velmora");
    fs::create_directories(home / "run");
    fs::permissions(home / "run", fs::perms::owner_all);
    {
        std::ofstream(home / "config/velmora/velmora-services.json")
            << R"({"backend":{"url":"http://127.0.0.1:9"}})";
    }
    const auto before = Snapshot(root);
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
    EXPECT_EQ(Snapshot(root), before) << "the program wrote into its installation";

    // The command-line tool names the same folders.
    const std::string env_out = Exec({"-u", "XDG_STATE_HOME", "HOME=" + home.string(),
                                      "XDG_CONFIG_HOME=" + (home / "config").string(),
                                      (root / "usr/bin/velmora-cli").string(), "env"})
                                    .out;
    EXPECT_NE(env_out.find("config_dir: " + (home / "config/velmora").string()), std::string::npos)
        << env_out;
    EXPECT_NE(env_out.find("log_dir: " + (home / ".local/state/velmora/log").string()),
              std::string::npos)
        << env_out;
    Exec({"chmod", "-R", "u+w", root.string()});  // so the folder can be removed
}
