// The translation engines against loopback stand-ins speaking each vendor's API, and the
// translation memory in front of them.
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <sys/stat.h>

#include <nlohmann/json.hpp>

#include "logic/translate_engine.h"
#include "logic/translation_memory.h"
#include "logic/translator.h"
#include "tests/support/form.h"
#include "tests/support/loopback_server.h"
#include "tests/support/temp_dir.h"

using nlohmann::json;
using vl::test::LoopbackServer;

namespace {

std::string Md5HexEvp(const std::string& data) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int n = 0;
    EVP_Digest(data.data(), data.size(), digest, &n, EVP_md5(), nullptr);
    std::string hex;
    char buf[3];
    for (unsigned int i = 0; i < n; ++i) {
        std::snprintf(buf, sizeof(buf), "%02x", digest[i]);
        hex += buf;
    }
    return hex;
}

std::string OpenAiAnswer(const std::string& content) {
    return json{
        {"choices", {{{"index", 0}, {"message", {{"role", "assistant"}, {"content", content}}}}}}}
        .dump();
}

// One stand-in serving all four vendors, and a configuration pointing at it.
class EnginesTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* path : {"/v1/chat/completions", "/v2/translate", "/baidu", "/api"})
            server_.Route(true, path);
        server_.Start();
        config_.openaiTranslate = {server_.Url("/v1/"), "sk-test", "qwen2.5"};
        config_.deeplTranslate = {server_.Url(), "dl-key"};
        config_.baiduTranslate = {server_.Url("/baidu"), "2015063000000001", "12345678"};
        config_.youdaoTranslate.url = server_.Url("/api");
        config_.translate.memory = false;
    }
    std::vector<std::string> Run(const char* engine, std::vector<std::string> texts, bool& ok,
                                 std::string& error) {
        std::vector<std::string> out;
        ok = vl::engine::MakeEngine(engine, config_)->Translate(3, 0, texts, out, error);
        return out;
    }

    LoopbackServer server_;
    vl::ServiceConfig config_;
    const std::vector<std::string> two_ = {"こんにちは", "さようなら"};
};

}  // namespace

TEST_F(EnginesTest, EachEngineSendsItsDocumentedRequestAndMapsTheAnswerBack) {
    server_.Set("/v1/chat/completions", 200, OpenAiAnswer("```json\n[\"你好\", \"再见\"]\n```"));
    server_.Set("/v2/translate", 200,
                R"({"translations":[{"detected_source_language":"JA","text":"你好"},)"
                R"({"detected_source_language":"JA","text":"再见"}]})");
    server_.Set("/baidu", 200,
                R"({"from":"jp","to":"zh","trans_result":[{"src":"こんにちは","dst":"你好"},)"
                R"({"src":"さようなら","dst":"再见"}]})");
    server_.Set("/api", 200, R"({"errorCode":"0","translation":["你好\n再见"]})");
    for (const char* engine : {"openai", "deepl", "baidu", "youdao"}) {
        bool ok = false;
        std::string error;
        EXPECT_EQ(Run(engine, two_, ok, error), (std::vector<std::string>{"你好", "再见"}))
            << engine << ": " << error;
        EXPECT_TRUE(ok);
    }

    const auto chat = server_.Requests("/v1/chat/completions").at(0);
    EXPECT_EQ(chat.Header("Authorization"), "Bearer sk-test");
    EXPECT_EQ(chat.Header("Content-Type"), "application/json");
    const json body = json::parse(chat.body);
    EXPECT_EQ(body["model"], "qwen2.5");
    EXPECT_EQ(body["temperature"], 0);
    ASSERT_EQ(body["messages"].size(), 2u);
    EXPECT_EQ(body["messages"][0]["role"], "system");
    const std::string system = body["messages"][0]["content"];
    EXPECT_NE(system.find("from Japanese to Simplified Chinese"), std::string::npos) << system;
    EXPECT_NE(system.find("JSON array of strings"), std::string::npos);
    EXPECT_EQ(json::parse(body["messages"][1]["content"].get<std::string>()), json(two_));

    const auto deepl = server_.Requests("/v2/translate").at(0);
    EXPECT_EQ(deepl.Header("Authorization"), "DeepL-Auth-Key dl-key");
    EXPECT_EQ(json::parse(deepl.body),
              (json{{"text", two_}, {"source_lang", "JA"}, {"target_lang", "ZH-HANS"}}));

    const auto baidu = server_.Requests("/baidu").at(0);
    EXPECT_EQ(baidu.Header("Content-Type"), "application/x-www-form-urlencoded");
    const auto form = vl::test::ParseForm(baidu.body);
    ASSERT_EQ(form.size(), 6u);
    const std::string q = "こんにちは\nさようなら";
    EXPECT_EQ(form[0], std::make_pair(std::string("q"), q));
    EXPECT_EQ(form[1].second + "/" + form[2].second + "/" + form[3].second,
              "jp/zh/2015063000000001");
    EXPECT_EQ(form[4].first, "salt");
    EXPECT_EQ(form[5], std::make_pair(std::string("sign"), Md5HexEvp("2015063000000001" + q +
                                                                     form[4].second + "12345678")));

    EXPECT_EQ(vl::test::ParseForm(server_.Requests("/api").at(0).body).at(0).second,
              "こんにちは\nさようなら\n");
}

TEST_F(EnginesTest, LocalChatServerGetsNoAuthorizationHeader) {
    config_.openaiTranslate.apiKey.clear();
    server_.Set("/v1/chat/completions", 200, OpenAiAnswer(" [\"你好\",\"再见\"]\n"));
    bool ok = false;
    std::string error;
    Run("openai", two_, ok, error);
    EXPECT_TRUE(ok) << error;
    EXPECT_FALSE(server_.Requests().at(0).headers.count("Authorization"));
}

// Per engine: an answer with one line too few, and the vendor's own refusal, as failure texts.
TEST_F(EnginesTest, MismatchedCountsAndVendorErrorsFailWithClearTexts) {
    struct Case {
        const char* engine;
        const char* path;
        std::string shortAnswer;
        int status;
        std::string refusal;
        std::string error;
    };
    const Case cases[] = {
        {"openai", "/v1/chat/completions", OpenAiAnswer(R"(["你好"])"), 401,
         R"({"error":{"message":"Incorrect API key provided","type":"invalid_request_error"}})",
         "chat-completions request failed with HTTP 401, Incorrect API key provided"},
        {"deepl", "/v2/translate", R"({"translations":[{"text":"你好"}]})", 456,
         R"({"message":"Quota exceeded"})", "DeepL request failed with HTTP 456, Quota exceeded"},
        {"baidu", "/baidu", R"({"trans_result":[{"src":"a","dst":"你好"}]})", 200,
         R"({"error_code":"54001","error_msg":"Invalid Sign"})",
         "Baidu translation failed with 54001, Invalid Sign"},
        {"youdao", "/api", R"({"errorCode":"0","translation":["你好"]})", 200,
         R"({"errorCode":"108","translation":["x"]})", "response failed with 108, "},
    };
    for (const Case& c : cases) {
        server_.Set(c.path, 200, c.shortAnswer);
        bool ok = true;
        std::string error;
        EXPECT_TRUE(Run(c.engine, two_, ok, error).empty());
        EXPECT_FALSE(ok);
        EXPECT_NE(error.find("answered 1 lines for 2 sent"), std::string::npos)
            << c.engine << ": " << error;

        server_.Set(c.path, c.status, c.refusal);
        ok = true;
        Run(c.engine, two_, ok, error);
        EXPECT_FALSE(ok);
        EXPECT_EQ(error.rfind(c.error, 0), 0u) << c.engine << ": " << error;
    }

    // A model that talks instead of answering the array.
    server_.Set("/v1/chat/completions", 200, OpenAiAnswer("Sure! Here you go: 你好, 再见"));
    bool ok = true;
    std::string error;
    Run("openai", two_, ok, error);
    EXPECT_FALSE(ok);
    EXPECT_EQ(error.rfind("the model did not answer a JSON array of strings", 0), 0u) << error;
}

// ---- The translation memory in front of an engine

namespace {

class MemoryTest : public EnginesTest {
protected:
    void SetUp() override {
        EnginesTest::SetUp();
        config_.translate.memory = true;
        engine_ = vl::engine::MakeEngine("deepl", config_);
        // Echoes each line in upper case, as a translation.
        server_.Set("/v2/translate", [](const httplib::Request& req) {
            json out = json::array();
            const json in = json::parse(req.body);
            for (const auto& t : in["text"]) {
                std::string s = t;
                for (char& ch : s)
                    ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
                out.push_back({{"text", s}});
            }
            return LoopbackServer::Reply{200, json{{"translations", out}}.dump()};
        });
    }
    std::vector<TranslateLine> Lines(std::initializer_list<const char*> texts) {
        std::vector<TranslateLine> lines;
        for (const char* t : texts) {
            TranslateLine line;
            line.lang = 2;
            line.dstLang = 0;
            line.text = t;
            lines.push_back(line);
        }
        return lines;
    }
    std::vector<std::string> Sent(std::size_t i) {
        return json::parse(server_.Requests("/v2/translate").at(i).body)["text"];
    }

    vl::test::TempDir dir_;
    TranslationMemory memory_{dir_.File("cache/memory.sqlite3")};
    std::unique_ptr<vl::engine::ITranslateEngine> engine_;
};

}  // namespace

TEST_F(MemoryTest, RepeatsAreAnsweredLocallyAndOnlyUnknownLinesAreSent) {
    std::string error;
    auto lines = Lines({"menu", "start"});
    ASSERT_TRUE(vl::engine::TranslateLines(*engine_, &memory_, lines, error)) << error;

    auto again = Lines({"menu", "start"});
    ASSERT_TRUE(vl::engine::TranslateLines(*engine_, &memory_, again, error));
    EXPECT_EQ(server_.RequestCount(), 1u);
    EXPECT_EQ(again[1].translation, u"START");

    auto partial = Lines({"menu", "quit", "", "start", "load"});
    ASSERT_TRUE(vl::engine::TranslateLines(*engine_, &memory_, partial, error));
    ASSERT_EQ(server_.RequestCount(), 2u);
    EXPECT_EQ(Sent(1), (std::vector<std::string>{"quit", "load"}));
    const std::u16string expected[] = {u"MENU", u"QUIT", u"", u"START", u"LOAD"};
    for (std::size_t i = 0; i < partial.size(); ++i)
        EXPECT_EQ(partial[i].translation, expected[i]) << i;

    // Another engine or language pair has its own entries; the file is the user's alone.
    auto english = Lines({"menu"});
    english[0].dstLang = 1;
    ASSERT_TRUE(vl::engine::TranslateLines(*engine_, &memory_, english, error));
    EXPECT_EQ(server_.RequestCount(), 3u);
    struct stat st {};
    ASSERT_EQ(::stat(dir_.File("cache/memory.sqlite3").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(MemoryTest, AFailedRunStoresNothing) {
    server_.Set("/v2/translate", 200, R"({"translations":[{"text":"ONE"}]})");
    std::string error;
    auto lines = Lines({"one", "two"});
    EXPECT_FALSE(vl::engine::TranslateLines(*engine_, &memory_, lines, error));
    EXPECT_EQ(lines[0].translation, u"");
    EXPECT_EQ(memory_.Size(), 0u);
}

TEST_F(MemoryTest, TheLeastRecentlyUsedEntriesGoBeyondTheBound) {
    TranslationMemory small(dir_.File("small.sqlite3"), 3);
    const TranslationMemory::Key key{"deepl", 2, 0};
    small.Store(key, {{"a", "A"}, {"b", "B"}, {"c", "C"}});
    small.Lookup(key, {"a"});  // "b" is now the oldest
    small.Store(key, {{"d", "D"}});
    EXPECT_EQ(small.Size(), 3u);
    const auto found = small.Lookup(key, {"a", "b", "c", "d"});
    EXPECT_EQ(found[0], std::optional<std::string>("A"));
    EXPECT_FALSE(found[1].has_value());
    EXPECT_TRUE(found[2] && found[3]);

    // The bound holds across a reopening, and clearing empties the file.
    {
        TranslationMemory reopened(dir_.File("small.sqlite3"), 3);
        reopened.Store(key, {{"e", "E"}});
        EXPECT_EQ(reopened.Size(), 3u);
        std::string error;
        EXPECT_TRUE(reopened.Clear(error)) << error;
        EXPECT_EQ(reopened.Size(), 0u);
    }

    // A file that is no database is left alone and the run goes to the engine.
    dir_.Write("junk.sqlite3", std::string(4096, 'x'));
    TranslationMemory junk(dir_.File("junk.sqlite3"));
    std::string error;
    auto lines = Lines({"menu"});
    EXPECT_TRUE(vl::engine::TranslateLines(*engine_, &junk, lines, error)) << error;
    EXPECT_EQ(lines[0].translation, u"MENU");
    EXPECT_EQ(dir_.Read("junk.sqlite3"), std::string(4096, 'x'));
}
