#include <gtest/gtest.h>

#include <sstream>

#include "config/settings_document.h"

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

}  // namespace

TEST(SettingsDocument, ReadsEveryValue) {
    const auto doc = Read(Document(FullConf()));
    EXPECT_EQ(doc->user().token(), "tok-1");
    EXPECT_EQ(doc->conf().lang().src(), "eng");
    EXPECT_EQ(doc->conf().lang().dst(), "kor");
    EXPECT_EQ(doc->conf().region().left(), 10);
    EXPECT_EQ(doc->conf().region().top(), 20);
    EXPECT_EQ(doc->conf().region().right(), 300);
    EXPECT_EQ(doc->conf().region().bottom(), 400);
    EXPECT_EQ(doc->conf().engine(), "vertical");
    EXPECT_EQ(doc->conf().effect(), "uncover");
    EXPECT_EQ(doc->conf().shortcut().translate(), "ctrl+alt+x");
    EXPECT_EQ(doc->conf().shortcut().region(), "ctrl+alt+y");
    EXPECT_TRUE(doc->conf().tip());
}

TEST(SettingsDocument, ChildrenInAnyOrderReadAsInOrder) {
    const std::string shuffled =
        ConfXml(std::string("<tip>true</tip>") + kShortcut +
                "<effect>uncover</effect><engine>vertical</engine>" + kRegion + kLang);
    const std::string reversedRegion = ConfXml(
        std::string(kLang) +
        "<region><bottom>400</bottom><right>300</right><top>20</top><left>10</left></region>"
        "<engine>vertical</engine><effect>uncover</effect>" +
        kShortcut + "<tip>true</tip>");
    const auto inOrder = Read(Document(FullConf()));
    EXPECT_EQ(*Read(Document(shuffled)), *inOrder);
    EXPECT_EQ(*Read(Document(reversedRegion)), *inOrder);
    // The document's own children too.
    EXPECT_EQ(*Read("<velmora>" + FullConf() + kUser + "</velmora>"), *inOrder);
}

TEST(SettingsDocument, ForeignOrRepeatedChildEndsReadingOfItsParent) {
    // After the last member: ignored, whatever it holds.
    const auto after = Read(Document(FullConf("<tip>true</tip><theme>dark</theme><lang>x</lang>")));
    EXPECT_TRUE(after->conf().tip());
    EXPECT_EQ(after->conf().lang().src(), "eng");
    EXPECT_EQ(Rejection(Document(FullConf("<tip>1</tip><region><left>abc</left></region>"))), "");
    EXPECT_EQ(Rejection(Document(
                  FullConf("<tip>1</tip><lang><src>x</src></lang><q:y xmlns:q=\"urn:q\"/>"))),
              "");
    EXPECT_EQ(Rejection("<velmora>" + std::string(kUser) + FullConf() + "<user/><conf>x</conf>" +
                        "</velmora>"),
              "");

    // Before a member: hides it, and the file is rejected.
    EXPECT_EQ(Rejection(Document(FullConf("<theme>dark</theme><tip>true</tip>"))),
              "expected element not encountered");
    // A second lang ends conf there, so everything after it is missing.
    EXPECT_EQ(Rejection(Document(ConfXml(std::string(kLang) + kLang + kRegion +
                                         "<engine>e</engine><effect>c</effect>" + kShortcut +
                                         "<tip>true</tip>"))),
              "expected element not encountered");
    // Text and comments between children do not count.
    const auto spaced = Read(Document(ConfXml(
        std::string("\n  text <!-- note -->") + kLang + " more " + kRegion +
        "<engine>horizontal</engine><effect>cover</effect>" + kShortcut + "<tip>false</tip>")));
    EXPECT_FALSE(spaced->conf().tip());
}

TEST(SettingsDocument, TipIsTrueOnlyForTrueOrOne) {
    const std::pair<const char*, bool> cases[] = {
        {"true", true}, {"1", true},  {" 1 ", true}, {"\ntrue\t", true}, {"TRUE", false},
        {"yes", false}, {"0", false}, {"", false},   {"false", false}};
    for (const auto& [text, expected] : cases) {
        const auto doc = Read(Document(FullConf(std::string("<tip>") + text + "</tip>")));
        EXPECT_EQ(doc->conf().tip(), expected) << '"' << text << '"';
    }
    // "1" is written back as "true".
    const std::string written = settings::Write(*Read(Document(FullConf("<tip>1</tip>"))));
    EXPECT_NE(written.find("<tip>true</tip>"), std::string::npos) << written;
}

TEST(SettingsDocument, MissingMembersRejectTheWholeFile) {
    EXPECT_EQ(Rejection(Document(FullConf(""))), "expected element not encountered");  // no tip
    EXPECT_EQ(Rejection(Document(FullConf(), "")), "expected element not encountered");
    EXPECT_EQ(Rejection(Document(FullConf(), "<user></user>")), "expected element not encountered");
    EXPECT_EQ(
        Rejection(Document(ConfXml(std::string(kLang) +
                                   "<region><left>1</left><top>2</top><right>3</right></region>"
                                   "<engine>e</engine><effect>c</effect>" +
                                   kShortcut + "<tip>true</tip>"))),
        "expected element not encountered");
    EXPECT_EQ(Rejection("<settings>" + std::string(kUser) + FullConf() + "</settings>"),
              "unexpected element encountered");
    EXPECT_EQ(Rejection("<v:velmora xmlns:v=\"urn:x\">" + std::string(kUser) + FullConf() +
                        "</v:velmora>"),
              "unexpected element encountered");
    // Not XML at all, or cut short.
    EXPECT_NE(Rejection("not xml"), "");
    EXPECT_NE(Rejection(""), "");
    const std::string whole = Document(FullConf());
    EXPECT_NE(Rejection(whole.substr(0, whole.size() / 2)), "");
}

TEST(SettingsDocument, RegionValuesMustBeDecimal32BitIntegers) {
    auto withLeft = [](const std::string& left) {
        return Document(ConfXml(std::string(kLang) + "<region><left>" + left +
                                "</left><top>0</top><right>0</right><bottom>0</bottom></region>"
                                "<engine>e</engine><effect>c</effect>" +
                                kShortcut + "<tip>true</tip>"));
    };
    const std::pair<const char*, int> good[] = {{"0", 0},
                                                {"-7", -7},
                                                {"+5", 5},
                                                {" 42\n", 42},
                                                {"007", 7},
                                                {"2147483647", 2147483647},
                                                {"-2147483648", -2147483647 - 1}};
    for (const auto& [text, value] : good) {
        EXPECT_EQ(Read(withLeft(text))->conf().region().left(), value) << text;
    }
    for (const char* bad : {"abc", "12px", "", " ", "1 2", "2147483648", "-2147483649", "1.0",
                            "0x10", "+-1", "--1", "1e3"}) {
        EXPECT_EQ(Rejection(withLeft(bad)), "invalid integer value encountered") << bad;
    }
    // Every coordinate is checked, not only the first.
    EXPECT_EQ(Rejection(Document(ConfXml(std::string(kLang) +
                                         "<region><left>1</left><top>2</top><right>3</right>"
                                         "<bottom>4px</bottom></region><engine>e</engine>"
                                         "<effect>c</effect>" +
                                         kShortcut + "<tip>true</tip>"))),
              "invalid integer value encountered");
    try {
        Read(withLeft("12px"));
        FAIL();
    } catch (const settings::InvalidInteger& e) {
        EXPECT_EQ(e.element(), "left");
        EXPECT_EQ(e.text(), "12px");
        std::ostringstream detail;
        detail << static_cast<const xml_schema::exception&>(e);
        EXPECT_EQ(detail.str(), "invalid integer value '12px' in element 'left'");
    }
}

TEST(SettingsDocument, DefaultDocumentRoundTrips) {
    const Velmora defaults = settings::Defaults();
    EXPECT_EQ(defaults.user().token(), "");
    EXPECT_EQ(defaults.conf().lang().src(), "jap");
    EXPECT_EQ(defaults.conf().lang().dst(), "chs");
    EXPECT_EQ(defaults.conf().region().left(), 0);
    EXPECT_EQ(defaults.conf().region().bottom(), 0);
    EXPECT_EQ(defaults.conf().engine(), "horizontal");
    EXPECT_EQ(defaults.conf().effect(), "cover");
    EXPECT_EQ(defaults.conf().shortcut().translate(), "ctrl+alt+t");
    EXPECT_EQ(defaults.conf().shortcut().region(), "ctrl+alt+r");
    EXPECT_FALSE(defaults.conf().tip());

    const std::string text = settings::Write(defaults);
    EXPECT_EQ(text.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"", 0), 0u) << text;
    EXPECT_EQ(text.find("xmlns"), std::string::npos) << text;
    const auto back = Read(text);
    EXPECT_EQ(*back, defaults);
    EXPECT_EQ(back->user().token(), "");
}

TEST(SettingsDocument, EmptyAndNonAsciiValuesSurviveTheRoundTrip) {
    // Empty token as start and end tag, and self-closing.
    EXPECT_EQ(Read(Document(FullConf(), "<user><token></token></user>"))->user().token(), "");
    EXPECT_EQ(Read(Document(FullConf(), "<user><token/></user>"))->user().token(), "");

    Velmora doc = settings::Defaults();
    doc.user().token("a<b>&\"c\" 令牌");
    doc.conf().region().left(-5);
    doc.conf().region().right(2147483647);
    doc.conf().effect("");
    doc.conf().tip(true);
    const auto back = Read(settings::Write(doc));
    EXPECT_EQ(*back, doc);
    EXPECT_EQ(back->user().token(), "a<b>&\"c\" 令牌");
}
