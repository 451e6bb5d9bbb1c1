#pragma once

#include <iosfwd>
#include <memory>
#include <string>

#include "config/velmora.hxx"

// Reading and writing the settings document ("velmora.xml") through its schema-bound types.
namespace settings {

// Integer element text that is not a decimal 32-bit number ("abc", "12px", "99999999999").
class InvalidInteger : public xml_schema::exception {
public:
    InvalidInteger(std::string element, std::string text);
    const char* what() const noexcept override;
    const std::string& element() const { return element_; }
    const std::string& text() const { return text_; }

private:
    void print(std::ostream& os) const override;
    std::string element_;
    std::string text_;
};

// Text that XML 1.0 cannot hold (a control character read from an XML 1.1 file).
class InvalidCharacter : public xml_schema::exception {
public:
    const char* what() const noexcept override;

private:
    void print(std::ostream& os) const override;
};

// Parses a document without schema validation: children of a parent may come in any order, and
// reading of a parent stops at the first foreign or repeated child. A document type declaration
// is refused. Throws xml_schema::exception (missing element, malformed XML, invalid integer
// text, a character XML 1.0 cannot hold); nothing else escapes. Whatever it returns, Write can
// write.
std::unique_ptr<Velmora> Read(std::istream& in);

// The document as UTF-8 XML with a declaration, one element per line. Throws
// xml_schema::exception ("serialization failed").
std::string Write(const Velmora& document);

// The document a first start writes: empty token, "jap" to "chs", no region, horizontal text,
// cover effect, the two default shortcuts, tip not yet shown.
Velmora Defaults();

}  // namespace settings
