#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "config/config_manager.h"
#include "config/settings_document.h"
#include "tests/support/log_capture.h"
#include "tests/support/loopback_server.h"
#include "tests/support/temp_dir.h"
#include "utils/vl_services.h"

using vl::test::LogCapture;
using vl::test::LoopbackServer;
using vl::test::TempDir;

namespace {

constexpr const char* kGoodAnswer =
    R"({"code":0,"msg":"ok","data":{"config":{"qq_kefu":"12345","help_url":"h",)"
    R"("trans_config":"{\"precise_ocr\":\"youdao\",\"vertical_ocr\":\"baidu\"}"}}})";

std::string Answer(const std::string& transConfig) {
    return R"({"code":0,"msg":"","data":{"config":{"qq_kefu":"q","trans_config":)" + transConfig +
           "}}}";
}

std::unique_ptr<Velmora> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return settings::Read(in);
}

std::vector<std::string> FileNames(const TempDir& dir) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir.Path())) {
        names.push_back(e.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// A back-end on loopback answering "/config/get"; the device identifier lives in a temporary
// folder instead of the user's own.
class ConfigManagerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        static TempDir home;
        setenv("XDG_CONFIG_HOME", home.Path().c_str(), 1);
    }

    void SetUp() override {
        backend_.Get("/config/get", [this](const httplib::Request&, httplib::Response& res) {
            res.status = status_;
            res.set_content(answer_, "application/json");
        });
        backend_.Start();
        vl::ServiceConfig config;
        config.backend.url = backend_.Url();
        vl::SetServices(config);
        LogCapture::Get()->Clear();
    }

    std::string SettingsFile() const { return dir_.File("velmora.xml"); }

    TempDir dir_;
    int status_ = 200;
    std::string answer_ = kGoodAnswer;
    LoopbackServer backend_;  // last: stopped before the state its handlers read goes away
};

}  // namespace

TEST_F(ConfigManagerTest, FirstStartWritesDefaultsAndFetchesRemoteConfiguration) {
    ConfigManager manager(dir_.Path().string());
    EXPECT_EQ(manager.GetOcrEngine(), "baidu");
    ASSERT_TRUE(manager.Init()) << LogCapture::Get()->Dump();
    EXPECT_TRUE(LogCapture::Get()->Has("OpenXML failed"));

    EXPECT_EQ(*ReadFile(SettingsFile()), settings::Defaults());
    EXPECT_EQ(static_cast<Velmora&>(manager), settings::Defaults());

    const auto requests = backend_.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].target.rfind("/config/get?version=", 0), 0u) << requests[0].target;
    const std::string keys =
        "&key=qq_kefu,kefu_url,qq_group,privacy_url,agreement_url,help_url,open_vip_tips,"
        "first_buy_gift_time,enable_reward_video,trans_config,offline_config,ocr_engine_list,"
        "home_vip_card";
    EXPECT_EQ(requests[0].target.substr(requests[0].target.size() - keys.size()), keys);
    EXPECT_EQ(requests[0].Header("Content-Type"), "application/json");
    EXPECT_EQ(requests[0].Header("Access-Token"), "");

    EXPECT_EQ(manager.CustomerServiceQq(), "12345");
    EXPECT_EQ(manager.GetOcrEngine(), "youdao");
    manager.conf().engine("vertical");
    EXPECT_EQ(manager.GetOcrEngine(), "baidu");

    // A second Init changes nothing and asks nothing.
    EXPECT_TRUE(manager.Init());
    EXPECT_TRUE(LogCapture::Get()->Has("already inited"));
    EXPECT_EQ(backend_.RequestCount(), 1u);
}

TEST_F(ConfigManagerTest, LoadsTheFileAndSavesChangesAtomically) {
    Velmora stored = settings::Defaults();
    stored.user().token("tok");
    stored.conf().region().left(5);
    stored.conf().region().bottom(700);
    stored.conf().lang().src("eng");
    dir_.Write("velmora.xml", settings::Write(stored));

    ConfigManager manager(dir_.Path().string());
    ASSERT_TRUE(manager.Init());
    EXPECT_EQ(static_cast<Velmora&>(manager), stored);
    EXPECT_EQ(backend_.RequestCount(), 1u);

    manager.user().token("");
    manager.conf().tip(true);
    ASSERT_TRUE(manager.Flush());
    const auto saved = ReadFile(SettingsFile());
    EXPECT_EQ(saved->user().token(), "");
    EXPECT_TRUE(saved->conf().tip());
    EXPECT_EQ(saved->conf().region().bottom(), 700);
    // Nothing but the settings file is left behind.
    EXPECT_EQ(FileNames(dir_), std::vector<std::string>{"velmora.xml"});
}

TEST_F(ConfigManagerTest, UnreadableFileIsKeptAsBadAndReplacedByDefaults) {
    Velmora stored = settings::Defaults();
    stored.user().token("precious");
    std::string broken = settings::Write(stored);
    broken.replace(broken.find("<tip>"), std::string("<tip>false</tip>").size(), "");
    dir_.Write("velmora.xml", broken);
    dir_.Write("velmora.xml.bad", "an older bad file");

    ConfigManager manager(dir_.Path().string());
    ASSERT_TRUE(manager.Init());
    EXPECT_TRUE(LogCapture::Get()->Has(
        "deserialize xml failed with xml_schema::Exception, expected element not encountered"))
        << LogCapture::Get()->Dump();
    EXPECT_TRUE(LogCapture::Get()->Has("deserialize config failed, generate default"));
    EXPECT_TRUE(LogCapture::Get()->Has("unreadable settings file kept as \"" +
                                       dir_.File("velmora.xml.bad") + "\""));
    EXPECT_EQ(dir_.Read("velmora.xml.bad"), broken);
    EXPECT_EQ(*ReadFile(SettingsFile()), settings::Defaults());
    EXPECT_EQ(static_cast<Velmora&>(manager), settings::Defaults());
    // No remote configuration in a start that fell back to the defaults.
    EXPECT_EQ(backend_.RequestCount(), 0u);
    EXPECT_EQ(manager.GetOcrEngine(), "baidu");
    EXPECT_TRUE(manager.Flush());

    // Region text that is not a number is just as unreadable.
    TempDir other;
    std::string px = settings::Write(settings::Defaults());
    px.replace(px.find("<left>0</left>"), 14, "<left>12px</left>");
    other.Write("velmora.xml", px);
    ConfigManager second(other.Path().string());
    ASSERT_TRUE(second.Init());
    EXPECT_EQ(other.Read("velmora.xml.bad"), px);
    EXPECT_EQ(second.conf().region().left(), 0);
}

TEST_F(ConfigManagerTest, NothingIsWrittenUnlessTheFileWasLoaded) {
    const std::string users = "<velmora>not yet read</velmora>";
    dir_.Write("velmora.xml", users);
    {
        ConfigManager manager(dir_.Path().string());
        manager.user().token("x");
        EXPECT_FALSE(manager.Flush());  // start-up stopped before Init
    }
    EXPECT_EQ(dir_.Read("velmora.xml"), users);
    EXPECT_TRUE(LogCapture::Get()->Has("settings were never loaded, \"" + SettingsFile() +
                                       "\" is not written"));

    // A folder that does not exist: Init fails and a later Flush writes nothing either.
    ConfigManager missing((dir_.Path() / "absent").string());
    EXPECT_FALSE(missing.Init());
    EXPECT_TRUE(LogCapture::Get()->Has("OpenXML for write failed"));
    EXPECT_FALSE(missing.Flush());
    EXPECT_FALSE(std::filesystem::exists(dir_.Path() / "absent"));
}

TEST_F(ConfigManagerTest, FolderInPlaceOfTheFileIsNeitherReadNorReplaced) {
    std::filesystem::create_directory(SettingsFile());
    dir_.Write("velmora.xml/keep", "mine");
    ConfigManager manager(dir_.Path().string());
    EXPECT_FALSE(manager.Init());
    EXPECT_TRUE(LogCapture::Get()->Has("settings path \"" + SettingsFile() +
                                       "\" is not a file, left as it is"));
    EXPECT_FALSE(manager.Flush());
    EXPECT_EQ(dir_.Read("velmora.xml/keep"), "mine");
    EXPECT_EQ(FileNames(dir_), (std::vector<std::string>{"velmora.xml"}));
    EXPECT_EQ(backend_.RequestCount(), 0u);
}

TEST_F(ConfigManagerTest, FailedSaveLeavesTheOldFileIntact) {
    ConfigManager manager(dir_.Path().string());
    ASSERT_TRUE(manager.Init());
    const std::string before = dir_.Read("velmora.xml");

    // A real short write: the file-size limit stops the new content halfway.
    manager.user().token(std::string(4096, 't'));
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool flushed = manager.Flush();
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &saved), 0);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(flushed);
    EXPECT_TRUE(LogCapture::Get()->Has("OpenXML for write failed"));
    EXPECT_EQ(dir_.Read("velmora.xml"), before);
    EXPECT_EQ(FileNames(dir_), std::vector<std::string>{"velmora.xml"});

    // The next save, with room again, goes through.
    EXPECT_TRUE(manager.Flush());
    EXPECT_EQ(ReadFile(SettingsFile())->user().token(), std::string(4096, 't'));
}

TEST_F(ConfigManagerTest, FailingBackEndKeepsBuiltInEngines) {
    status_ = 500;
    answer_ = "down";
    ConfigManager manager(dir_.Path().string());
    ASSERT_TRUE(manager.Init());
    EXPECT_TRUE(
        LogCapture::Get()->Has("request config failed, msg response error, code 500, resp down"))
        << LogCapture::Get()->Dump();
    EXPECT_EQ(manager.GetOcrEngine(), "baidu");
    manager.conf().engine("vertical");
    EXPECT_EQ(manager.GetOcrEngine(), "youdao");
}

TEST_F(ConfigManagerTest, RemoteAnswersApplyUpToTheirFirstFault) {
    struct Case {
        std::string answer;
        std::string precise;
        std::string vertical;
        std::string qq;
        std::string log;  // logged exactly
    };
    const std::string noQq = R"({"code":0,"msg":"","data":{"config":{"trans_config":"{}"}}})";
    const std::string noVertical = Answer(R"("{\"precise_ocr\":\"youdao\"}")");
    const std::string arrayConfig = Answer(R"("[1]")");
    const Case cases[] = {
        {Answer(R"("{\"precise_orc\":\"youdao\",\"vertical_ocr\":\"baidu\"}")"), "youdao", "baidu",
         "q", ""},
        {Answer(R"("{\"precise_ocr\":\"a\",\"precise_orc\":\"b\",\"vertical_ocr\":\"c\"}")"), "a",
         "c", "q", ""},
        {noQq, "baidu", "youdao", "800800800",
         "parse json failed with exception, json is \r\n" + noQq},
        {noVertical, "youdao", "youdao", "q",
         "parse json failed with exception, json is \r\n" + noVertical},
        {arrayConfig, "baidu", "youdao", "q",
         "parse json failed with exception, json is \r\n" + arrayConfig},
        {R"({"code":1,"msg":"bad key","data":{}})", "baidu", "youdao", "800800800",
         "request config failed, code 1, msg bad key"},
        {R"({"code":"0","msg":""})", "baidu", "youdao", "800800800",
         R"(parse json failed with exception, json is )"
         "\r\n"
         R"({"code":"0","msg":""})"},
        {"", "baidu", "youdao", "800800800", "request config failed, resp is empty"},
    };
    for (const Case& c : cases) {
        LogCapture::Get()->Clear();
        ConfigManager manager(dir_.Path().string());
        manager.ParseConfig(c.answer);
        EXPECT_EQ(manager.GetOcrEngine(), c.precise) << c.answer;
        manager.conf().engine("vertical");
        EXPECT_EQ(manager.GetOcrEngine(), c.vertical) << c.answer;
        EXPECT_EQ(manager.CustomerServiceQq(), c.qq) << c.answer;
        if (!c.log.empty()) {
            EXPECT_TRUE(LogCapture::Get()->Has(c.log)) << LogCapture::Get()->Dump();
        }
    }

    // Syntax errors name their byte, both in the answer and inside trans_config.
    ConfigManager manager(dir_.Path().string());
    manager.ParseConfig("not json");
    EXPECT_TRUE(LogCapture::Get()->Contains("parse json failed with exception, byte 2, id 101, "));
    EXPECT_TRUE(LogCapture::Get()->Contains(", json is \r\n not json"));
    const std::string badInner = Answer(R"("{precise")");
    manager.ParseConfig(badInner);
    EXPECT_EQ(manager.CustomerServiceQq(), "q");  // stored before the fault
    EXPECT_EQ(manager.GetOcrEngine(), "baidu");
    EXPECT_TRUE(LogCapture::Get()->Contains("json is \r\n " + badInner));
}

TEST_F(ConfigManagerTest, OnlyExactlyVerticalSelectsTheVerticalEngine) {
    ConfigManager manager(dir_.Path().string());
    manager.ParseConfig(kGoodAnswer);  // precise youdao, vertical baidu
    for (const char* direction : {"horizontal", "", "Vertical", "vertical ", "anything"}) {
        manager.conf().engine(direction);
        EXPECT_EQ(manager.GetOcrEngine(), "youdao") << '"' << direction << '"';
    }
    manager.conf().engine("vertical");
    EXPECT_EQ(manager.GetOcrEngine(), "baidu");
}
