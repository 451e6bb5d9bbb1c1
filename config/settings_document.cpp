#include "config/settings_document.h"

#include <xercesc/dom/DOMDocument.hpp>
#include <xercesc/dom/DOMElement.hpp>
#include <xercesc/dom/DOMImplementationRegistry.hpp>
#include <xercesc/dom/DOMLSParser.hpp>
#include <xercesc/dom/DOMNamedNodeMap.hpp>
#include <xercesc/dom/DOMNode.hpp>
#include <xercesc/framework/Wrapper4InputSource.hpp>
#include <xercesc/util/XMLUni.hpp>

#include <charconv>
#include <limits>
#include <ostream>
#include <sstream>
#include <string_view>
#include <vector>
#include <xsd/cxx/tree/error-handler.hxx>
#include <xsd/cxx/tree/text.hxx>
#include <xsd/cxx/xml/dom/bits/error-handler-proxy.hxx>
#include <xsd/cxx/xml/dom/parsing-source.hxx>
#include <xsd/cxx/xml/sax/std-input-source.hxx>

namespace settings {

namespace {

using xercesc::DOMElement;
using xercesc::DOMNode;

// The element tree of the schema, for the reading rule below.
struct Member {
    std::string_view name;
    const std::vector<Member>* children;  // null for a leaf value
};
const std::vector<Member> kUserMembers = {{"token", nullptr}};
const std::vector<Member> kLangMembers = {{"src", nullptr}, {"dst", nullptr}};
const std::vector<Member> kRegionMembers = {
    {"left", nullptr}, {"top", nullptr}, {"right", nullptr}, {"bottom", nullptr}};
const std::vector<Member> kShortcutMembers = {{"translate", nullptr}, {"region", nullptr}};
const std::vector<Member> kConfMembers = {
    {"lang", &kLangMembers}, {"region", &kRegionMembers},     {"engine", nullptr},
    {"effect", nullptr},     {"shortcut", &kShortcutMembers}, {"tip", nullptr},
    {"ocr", nullptr}};
const std::vector<Member> kVelmoraMembers = {{"user", &kUserMembers}, {"conf", &kConfMembers}};

// Children are read in order; the first one that is foreign or repeated ends the reading of its
// parent, and it and everything after it are ignored whatever they hold. The generated reader
// stops there too, but only after it has parsed a repeated complex child (whose errors would
// then reject the file), so the ignored part is removed before it runs.
void DropUnread(DOMElement& parent, const std::vector<Member>& members) {
    std::vector<std::string_view> seen;
    bool stopped = false;
    for (DOMNode* n = parent.getFirstChild(); n != nullptr;) {
        DOMNode* const next = n->getNextSibling();
        if (n->getNodeType() == DOMNode::ELEMENT_NODE) {
            auto* e = static_cast<DOMElement*>(n);
            const Member* member = nullptr;
            if (!stopped) {
                const auto name = xsd::cxx::xml::dom::name<char>(*e);
                for (const Member& m : members) {
                    if (name.namespace_().empty() && m.name == name.name())
                        member = &m;
                }
                for (const std::string_view s : seen) {
                    if (member != nullptr && s == member->name)
                        member = nullptr;
                }
            }
            if (member == nullptr) {
                stopped = true;
                parent.removeChild(e)->release();
            } else {
                seen.push_back(member->name);
                if (member->children != nullptr) {
                    DropUnread(*e, *member->children);
                }
            }
        }
        n = next;
    }
}

const DOMElement* Child(const DOMElement& parent, std::string_view wanted) {
    for (const DOMNode* n = parent.getFirstChild(); n != nullptr; n = n->getNextSibling()) {
        if (n->getNodeType() == DOMNode::ELEMENT_NODE &&
            xsd::cxx::xml::dom::name<char>(*static_cast<const DOMElement*>(n)).name() == wanted) {
            return static_cast<const DOMElement*>(n);
        }
    }
    return nullptr;
}

bool IsXmlSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// xs:int lexical form: optional sign, decimal digits, surrounding white space allowed.
bool IsInt32Text(std::string_view s) {
    while (!s.empty() && IsXmlSpace(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsXmlSpace(s.back()))
        s.remove_suffix(1);
    if (!s.empty() && s.front() == '+') {
        s.remove_prefix(1);
        if (!s.empty() && s.front() == '-') {
            return false;
        }
    }
    if (s.empty()) {
        return false;
    }
    std::int32_t value = 0;
    const auto r = std::from_chars(s.data(), s.data() + s.size(), value);
    return r.ec == std::errc() && r.ptr == s.data() + s.size();
}

// The generated reader converts integer text leniently ("12px" -> 12, "abc" -> 0); the region
// must be exactly what the file says or the file is rejected. Runs on the tree the generated
// reader accepted, so every element named here exists once.
void CheckRegionIntegers(const xercesc::DOMDocument& doc) {
    const DOMElement* root = doc.getDocumentElement();
    const DOMElement* conf = root ? Child(*root, "conf") : nullptr;
    const DOMElement* region = conf ? Child(*conf, "region") : nullptr;
    if (region == nullptr) {
        return;
    }
    for (const Member& m : kRegionMembers) {
        const DOMElement* e = Child(*region, m.name);
        if (e == nullptr) {
            continue;
        }
        const std::string text = xsd::cxx::tree::text_content<char>(*e);
        if (!IsInt32Text(text)) {
            throw InvalidInteger(std::string(m.name), text);
        }
    }
}

// XML 1.0 characters only: a file declared XML 1.1 may carry control characters that no
// XML 1.0 writer can put back.
bool IsXml10Text(const XMLCh* s) {
    if (s == nullptr) {
        return true;
    }
    for (; *s != 0; ++s) {
        const XMLCh c = *s;
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (s[1] < 0xDC00 || s[1] > 0xDFFF) {
                return false;
            }
            ++s;
            continue;
        }
        const bool ok = c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
                        (c >= 0xE000 && c <= 0xFFFD);
        if (!ok) {
            return false;
        }
    }
    return true;
}

void CheckCharacters(const DOMNode& node) {
    if (!IsXml10Text(node.getNodeValue())) {
        throw InvalidCharacter();
    }
    if (const xercesc::DOMNamedNodeMap* attributes = node.getAttributes()) {
        for (XMLSize_t i = 0; i < attributes->getLength(); ++i) {
            if (!IsXml10Text(attributes->item(i)->getNodeValue())) {
                throw InvalidCharacter();
            }
        }
    }
    for (const DOMNode* n = node.getFirstChild(); n != nullptr; n = n->getNextSibling()) {
        CheckCharacters(*n);
    }
}

// The generated parser's settings, with document type declarations refused: they would bring
// entity expansion (a few hundred bytes can expand without end) and external entities.
xml_schema::dom::unique_ptr<xercesc::DOMDocument> ParseWithoutDoctype(
    xercesc::InputSource& source, xsd::cxx::tree::error_handler<char>& errors) {
    using xercesc::XMLUni;
    const XMLCh ls[] = {xercesc::chLatin_L, xercesc::chLatin_S, xercesc::chNull};
    xercesc::DOMImplementation* impl = xercesc::DOMImplementationRegistry::getDOMImplementation(ls);
    xml_schema::dom::unique_ptr<xercesc::DOMLSParser> parser(
        impl->createLSParser(xercesc::DOMImplementationLS::MODE_SYNCHRONOUS, nullptr));
    xercesc::DOMConfiguration* conf = parser->getDomConfig();
    conf->setParameter(XMLUni::fgDOMComments, false);
    conf->setParameter(XMLUni::fgDOMDatatypeNormalization, true);
    conf->setParameter(XMLUni::fgDOMEntities, false);
    conf->setParameter(XMLUni::fgDOMNamespaces, true);
    conf->setParameter(XMLUni::fgDOMElementContentWhitespace, false);
    conf->setParameter(XMLUni::fgDOMValidate, false);
    conf->setParameter(XMLUni::fgXercesSchema, false);
    conf->setParameter(XMLUni::fgXercesSchemaFullChecking, false);
    conf->setParameter(XMLUni::fgXercesLoadExternalDTD, false);
    conf->setParameter(XMLUni::fgXercesDisableDefaultEntityResolution, true);
    conf->setParameter(XMLUni::fgDOMDisallowDoctype, true);
    conf->setParameter(XMLUni::fgXercesUserAdoptsDOMDocument, true);
    xsd::cxx::xml::dom::bits::error_handler_proxy<char> proxy(errors);
    conf->setParameter(XMLUni::fgDOMErrorHandler, &proxy);
    xercesc::Wrapper4InputSource wrap(&source, false);
    xml_schema::dom::unique_ptr<xercesc::DOMDocument> doc;
    try {
        doc.reset(parser->parse(&wrap));
    } catch (...) {
        // Xerces throws more than DOMLSException (a DOMException for a bad version in the
        // declaration); every one of them is a document that cannot be read.
        doc.reset();
    }
    if (proxy.failed()) {
        doc.reset();
    }
    return doc;
}

}  // namespace

const char* InvalidCharacter::what() const noexcept {
    return "character not allowed in XML 1.0";
}

void InvalidCharacter::print(std::ostream& os) const {
    os << what();
}

InvalidInteger::InvalidInteger(std::string element, std::string text)
    : element_(std::move(element)), text_(std::move(text)) {}

const char* InvalidInteger::what() const noexcept {
    return "invalid integer value encountered";
}

void InvalidInteger::print(std::ostream& os) const {
    os << "invalid integer value '" << text_ << "' in element '" << element_ << "'";
}

std::unique_ptr<Velmora> Read(std::istream& in) {
    const xml_schema::flags flags =
        xml_schema::flags::dont_validate | xml_schema::flags::dont_initialize;
    xsd::cxx::xml::auto_initializer xerces(true, true);
    // Declared after the initializer so the tree is released before Xerces terminates.
    xsd::cxx::xml::sax::std_input_source source(in);
    xsd::cxx::tree::error_handler<char> errors;
    xml_schema::dom::unique_ptr<xercesc::DOMDocument> doc = ParseWithoutDoctype(source, errors);
    errors.throw_if_failed<xml_schema::parsing>();
    if (!doc) {
        throw xml_schema::parsing();
    }
    CheckCharacters(*doc);
    DOMElement* root = doc->getDocumentElement();
    if (root != nullptr && xsd::cxx::xml::dom::name<char>(*root).name() == "velmora") {
        DropUnread(*root, kVelmoraMembers);
    }
    std::unique_ptr<Velmora> document = velmora(*doc, flags);
    CheckRegionIntegers(*doc);
    return document;
}

std::string Write(const Velmora& document) {
    // Xerces stays up until its exceptions have been turned into the one this promises.
    xsd::cxx::xml::auto_initializer xerces(true, true);
    std::ostringstream out;
    try {
        velmora(out, document, xml_schema::namespace_infomap(), "UTF-8",
                xml_schema::flags::dont_initialize);
    } catch (const xml_schema::exception&) {
        throw;
    } catch (...) {
        throw xml_schema::serialization();
    }
    return out.str();
}

Velmora Defaults() {
    return Velmora(
        User(""),
        Conf(Lang(Lang::src_default_value(), Lang::dst_default_value()), Region(0, 0, 0, 0),
             Conf::engine_default_value(), Conf::effect_default_value(),
             Shortcut(Shortcut::translate_default_value(), Shortcut::region_default_value()),
             false));
}

}  // namespace settings
