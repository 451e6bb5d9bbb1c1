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
