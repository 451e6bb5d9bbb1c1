#include <gtest/gtest.h>
#include <sys/resource.h>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "config/config_manager.h"
#include "config/settings_document.h"
#include "tests/support/log_capture.h"
#include "tests/support/loopback_server.h"
#include "tests/support/temp_dir.h"

using vl::test::LogCapture;
using vl::test::LoopbackServer;
using vl::test::TempDir;

namespace {

constexpr const char* kUser = "<user><token>tok-1</token></user>";
constexpr const char* kLang = "<lang><src>eng</src><dst>kor</dst></lang>";
constexpr const char* kRegion =
    "<region><left>10</left><top>20</top><right>300</right><bottom>400</bottom></region>";
constexpr const char* kShortcut =
    "<shortcut><translate>ctrl+alt+x</translate><region>ctrl+alt+y</region></shortcut>";

std::string ConfXml(const std::string& inner) {
    return "<conf>" + inner + "</conf>";
}

std::string Document(const std::string& conf, const std::string& user = kUser) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<velmora>" + user + conf + "</velmora>";
}

// Every conf child in table order, with `tip` as given.
std::string FullConf(const std::string& tip = "<tip>true</tip>") {
    return ConfXml(std::string(kLang) + kRegion +
                   "<engine>vertical</engine><effect>uncover</effect>" + kShortcut + tip);
}

std::unique_ptr<Velmora> Read(const std::string& text) {
    std::istringstream in(text);
    return settings::Read(in);
}

// The kind of error a rejected text raises; empty when it was accepted.
std::string Rejection(const std::string& text) {
    try {
        Read(text);
        return {};
    } catch (const xml_schema::exception& e) {
        return e.what();
    }
}

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
    for (const auto& e : std::filesystem::directory_iterator(dir.Path()))
        names.push_back(e.path().filename().string());
    return names;
}

// A back-end on loopback answering "/config/get".
class ConfigManagerTest : public ::testing::Test {
protected:
    void SetUp() override {
        backend_.Route(false, "/config/get");
        backend_.Start();
        backend_.Set("/config/get", 200, kGoodAnswer);
        vl::ServiceConfig config;
        config.backend.url = backend_.Url();
        vl::SetServices(config);
        LogCapture::Get()->Clear();
    }

    std::string SettingsFile() const { return dir_.File("velmora.xml"); }

    TempDir dir_;
    LoopbackServer backend_;
};

}  // namespace

TEST(SettingsDocument, ChildrenInAnyOrderReadAsInOrder) {
    const auto inOrder = Read(Document(FullConf()));
    EXPECT_EQ(inOrder->conf().region().bottom(), 400);
    EXPECT_EQ(inOrder->conf().shortcut().region(), "ctrl+alt+y");
    const std::string shuffled =
        ConfXml(std::string("<tip>true</tip>") + kShortcut +
                "<effect>uncover</effect><engine>vertical</engine>" + kRegion + kLang);
    EXPECT_EQ(*Read(Document(shuffled)), *inOrder);
    EXPECT_EQ(*Read("<velmora>" + FullConf() + kUser + "</velmora>"), *inOrder);
}

TEST(SettingsDocument, ForeignOrRepeatedChildEndsReadingOfItsParent) {
    // After the last member: ignored, whatever it holds.
    EXPECT_EQ(Rejection(Document(FullConf("<tip>1</tip><region><left>abc</left></region>"))), "");
    // Before a member: hides it, and the file is rejected.
    EXPECT_EQ(Rejection(Document(FullConf("<theme>dark</theme><tip>true</tip>"))),
              "expected element not encountered");
    EXPECT_EQ(Rejection("<settings>" + std::string(kUser) + FullConf() + "</settings>"),
              "unexpected element encountered");
    EXPECT_NE(Rejection("not xml"), "");
}

TEST(SettingsDocument, RegionValuesMustBeDecimal32BitIntegers) {
    auto withLeft = [](const std::string& left) {
        return Document(ConfXml(std::string(kLang) + "<region><left>" + left +
                                "</left><top>0</top><right>0</right><bottom>0</bottom></region>"
                                "<engine>e</engine><effect>c</effect>" +
                                kShortcut + "<tip>true</tip>"));
    };
    EXPECT_EQ(Read(withLeft(" +42\n"))->conf().region().left(), 42);
    EXPECT_EQ(Read(withLeft("-2147483648"))->conf().region().left(), -2147483647 - 1);
    for (const char* bad : {"abc", "12px", "", "2147483648", "1.0", "+-1"}) {
        EXPECT_EQ(Rejection(withLeft(bad)), "invalid integer value encountered") << bad;
    }
}

TEST(SettingsDocument, ValuesSurviveTheRoundTrip) {
    const std::string text = settings::Write(settings::Defaults());
    EXPECT_EQ(text.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"", 0), 0u) << text;
    EXPECT_EQ(*Read(text), settings::Defaults());
    Velmora doc = settings::Defaults();
    doc.user().token("a<b>&\"c\" 令牌");
    doc.conf().region().right(2147483647);
    doc.conf().tip(true);
    EXPECT_EQ(*Read(settings::Write(doc)), doc);
}

// A document type declaration could expand entities without end or read other files.
TEST(SettingsDocument, DocumentTypeDeclarationsAreRefused) {
    const std::string body = Document(FullConf(), "<user><token>&x;</token></user>").substr(39);
    EXPECT_NE(Rejection("<?xml version=\"1.0\"?><!DOCTYPE velmora [<!ENTITY x \"a\">]>" + body),
              "");
    EXPECT_NE(Rejection("<!DOCTYPE velmora [<!ENTITY x SYSTEM \"/etc/hostname\">]>" + body), "");
}

// XML 1.1 allows control characters that an XML 1.0 writer cannot put back: such a file is
// refused when read, instead of making every later save fail.
TEST(SettingsDocument, WhatIsReadCanBeWritten) {
    const std::string xml11 = "<?xml version=\"1.1\"?><velmora><user><token>a&#1;b</token></user>" +
                              FullConf() + "</velmora>";
    EXPECT_EQ(Rejection(xml11), "character not allowed in XML 1.0");
    Velmora doc = settings::Defaults();
    doc.user().token(std::string("a\x01", 2));
    EXPECT_THROW(settings::Write(doc), xml_schema::serialization);
}

TEST_F(ConfigManagerTest, FirstStartWritesDefaultsAndFetchesRemoteConfiguration) {
    ConfigManager manager(dir_.Path().string());
    EXPECT_EQ(manager.GetOcrEngine(), "baidu");
    ASSERT_TRUE(manager.Init()) << LogCapture::Get()->Dump();
    EXPECT_EQ(*ReadFile(SettingsFile()), settings::Defaults());
    const auto requests = backend_.Requests();
    ASSERT_EQ(requests.size(), 1u);
    const std::string keys =
        "&key=qq_kefu,kefu_url,qq_group,privacy_url,agreement_url,help_url,open_vip_tips,"
        "first_buy_gift_time,enable_reward_video,trans_config,offline_config,ocr_engine_list,"
        "home_vip_card";
    EXPECT_EQ(requests[0].target.substr(requests[0].target.size() - keys.size()), keys);
    EXPECT_EQ(manager.CustomerServiceQq(), "12345");
    EXPECT_EQ(manager.GetOcrEngine(), "youdao");
    manager.conf().engine("vertical");
    manager.PublishDirection();
    EXPECT_EQ(manager.GetOcrEngine(), "baidu");
}

TEST_F(ConfigManagerTest, LoadsTheFileAndSavesChangesAtomically) {
    Velmora stored = settings::Defaults();
    stored.user().token("tok");
    stored.conf().region().bottom(700);
    dir_.Write("velmora.xml", settings::Write(stored));

    ConfigManager manager(dir_.Path().string());
    ASSERT_TRUE(manager.Init());
    EXPECT_EQ(static_cast<Velmora&>(manager), stored);
    manager.conf().tip(true);
    ASSERT_TRUE(manager.Flush());
    const auto saved = ReadFile(SettingsFile());
    EXPECT_TRUE(saved->conf().tip());
    EXPECT_EQ(saved->conf().region().bottom(), 700);
    // Nothing but the settings file is left behind.
    EXPECT_EQ(FileNames(dir_), std::vector<std::string>{"velmora.xml"});
}

// Each unreadable file is kept under a name of its own: the first may hold the only copy of
// the user's token and region.
TEST_F(ConfigManagerTest, UnreadableFilesAreKeptWithoutLosingEarlierOnes) {
    Velmora stored = settings::Defaults();
    stored.user().token("precious");
    std::string broken = settings::Write(stored);
    broken.replace(broken.find("<tip>"), std::string("<tip>false</tip>").size(), "");
    std::string px = settings::Write(settings::Defaults());
    px.replace(px.find("<left>0</left>"), 14, "<left>12px</left>");

    for (const std::string& content : {broken, px}) {
        dir_.Write("velmora.xml", content);
        ConfigManager manager(dir_.Path().string());
        ASSERT_TRUE(manager.Init());
        EXPECT_EQ(static_cast<Velmora&>(manager), settings::Defaults());
    }
    EXPECT_EQ(dir_.Read("velmora.xml.bad"), broken);
    EXPECT_EQ(dir_.Read("velmora.xml.bad.1"), px);
    EXPECT_TRUE(LogCapture::Get()->Has("unreadable settings file kept as \"" +
                                       dir_.File("velmora.xml.bad.1") + "\""));
    EXPECT_EQ(*ReadFile(SettingsFile()), settings::Defaults());
    // No remote configuration in a start that fell back to the defaults.
    EXPECT_EQ(backend_.RequestCount(), 0u);
}

// A settings file kept elsewhere through a link: saving writes the file it leads to.
TEST_F(ConfigManagerTest, SymlinkedFileIsWrittenThrough) {
    TempDir elsewhere;
    elsewhere.Write("real.xml", settings::Write(settings::Defaults()));
    std::filesystem::create_symlink(elsewhere.File("real.xml"), SettingsFile());
    ConfigManager manager(dir_.Path().string());
    ASSERT_TRUE(manager.Init());
    manager.user().token("through");
    ASSERT_TRUE(manager.Flush());
    EXPECT_TRUE(std::filesystem::is_symlink(SettingsFile()));
    EXPECT_EQ(ReadFile(elsewhere.File("real.xml"))->user().token(), "through");
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

    std::filesystem::remove(SettingsFile());
    std::filesystem::create_directory(SettingsFile());  // a folder is not ours to replace
    ConfigManager folder(dir_.Path().string());
    EXPECT_FALSE(folder.Init());
    EXPECT_FALSE(folder.Flush());
    EXPECT_EQ(FileNames(dir_), (std::vector<std::string>{"velmora.xml"}));
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
    EXPECT_EQ(dir_.Read("velmora.xml"), before);
    EXPECT_EQ(FileNames(dir_), std::vector<std::string>{"velmora.xml"});
    EXPECT_TRUE(manager.Flush());  // with room again
    EXPECT_EQ(ReadFile(SettingsFile())->user().token(), std::string(4096, 't'));
}

// One case per class: not JSON, bad envelope, bad element; values read before a fault stay.
TEST_F(ConfigManagerTest, RemoteAnswersApplyUpToTheirFirstFault) {
    const std::string noVertical = Answer(R"("{\"precise_ocr\":\"youdao\"}")");
    const std::string hugeCode = R"({"code":1e300,"msg":"x"})";
    const std::tuple<std::string, std::string, std::string, std::string> cases[] = {
        {Answer(R"("{\"precise_orc\":\"youdao\",\"vertical_ocr\":\"baidu\"}")"), "youdao", "baidu",
         ""},
        {"not json", "baidu", "youdao", "parse json failed with exception, byte 2, id 101, "},
        {R"({"code":1,"msg":"bad key","data":{}})", "baidu", "youdao",
         "request config failed, code 1, msg bad key"},
        {hugeCode, "baidu", "youdao", "request config failed, code 2147483647, msg x"},
        {noVertical, "youdao", "youdao",
         "parse json failed with exception, json is \r\n" + noVertical},
    };
    for (const auto& [answer, precise, vertical, log] : cases) {
        LogCapture::Get()->Clear();
        ConfigManager manager(dir_.Path().string());
        manager.ParseConfig(answer);
        EXPECT_EQ(manager.GetOcrEngine(), precise) << answer;
        manager.conf().engine("vertical");
        manager.PublishDirection();
        EXPECT_EQ(manager.GetOcrEngine(), vertical) << answer;
        EXPECT_TRUE(log.empty() || LogCapture::Get()->Contains(log)) << answer;
    }
}

// The OCR choice is optional: a file without it reads as "auto" and is saved without it; a stored
// choice survives; an unknown one reads as "auto". The remote configuration may name "local".
TEST_F(ConfigManagerTest, TheOcrChoiceIsOptionalAndReadsAsAutoWhenAbsentOrUnknown) {
    dir_.Write("velmora.xml", Document(FullConf()));
    ConfigManager manager(dir_.Path().string());
    ASSERT_TRUE(manager.Init());
    EXPECT_EQ(manager.GetOcrSetup().choice, ConfigManager::kOcrAuto);
    ASSERT_TRUE(manager.Flush());
    EXPECT_FALSE(ReadFile(SettingsFile())->conf().ocr());
    manager.conf().ocr(ConfigManager::kOcrLocal);
    ASSERT_TRUE(manager.Flush());
    EXPECT_EQ(manager.GetOcrSetup().choice, ConfigManager::kOcrLocal);
    EXPECT_EQ(*ReadFile(SettingsFile())->conf().ocr(), ConfigManager::kOcrLocal);
    manager.conf().ocr("fastest");
    manager.PublishDirection();
    EXPECT_EQ(manager.GetOcrSetup().choice, ConfigManager::kOcrAuto);

    manager.ParseConfig(R"({"code":0,"msg":"","data":{"config":{"qq_kefu":"1","trans_config":)"
                        R"("{\"precise_ocr\":\"baidu\",\"vertical_ocr\":\"local\"}"}}})");
    const ConfigManager::OcrSetup setup = manager.GetOcrSetup();  // the file says "vertical"
    EXPECT_TRUE(setup.vertical);
    EXPECT_EQ(setup.engine, "local");
}
