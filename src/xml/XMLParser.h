// A small XML reader for settings documents: one root element with attributes, nested
// elements, text, CDATA, comments and the five predefined entities. Single-byte text, no
// DOCTYPE, no numeric character references, no encodings.
#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace ove {

class CDataBin;

// Node types.
enum : std::int32_t {
    XML_DOCUMENT = 0,  // the parser object itself
    XML_ELEMENT = 1,   // element, or text when the name is empty
    XML_CDATA = 2,
    XML_COMMENT = 3,
};

// Parse flags.
enum : std::uint32_t {
    XML_DROP_WHITESPACE_TEXT = 1u << 0,  // drop text nodes that hold only white space
    XML_TRIM_TEXT = 1u << 1,             // trim each text at both ends before deciding
    XML_KEEP_COMMENTS = 1u << 2,         // keep comments as comment nodes
};

class CXMLNode {
public:
    CXMLNode() = default;
    virtual ~CXMLNode();
    CXMLNode(const CXMLNode&) = delete;
    CXMLNode& operator=(const CXMLNode&) = delete;

    // Deletes the children and empties the attributes.
    void Clear();

    // A text node is an element-type node without a name.
    bool IsText() const { return type == XML_ELEMENT && name.empty(); }
    // Attribute value, or null when absent.
    const std::string* Attribute(const std::string& key) const;

    std::map<std::string, std::string> attributes;    // a repeated attribute keeps the last value
    std::vector<std::unique_ptr<CXMLNode>> children;  // document order
    std::int32_t type = XML_ELEMENT;
    // Content of a text, CDATA or comment node; for an element, its text when that was its only child.
    std::string text;
    std::string name;  // empty for text, CDATA and comment nodes

private:
    void DeleteChildren();
};

// The parser is the document's root element once a parse succeeds.
class CXMLParser : public CXMLNode {
public:
    CXMLParser() { type = XML_DOCUMENT; }
    ~CXMLParser() override = default;

    // Reads the whole source and parses it. False on any error, leaving what was built so far.
    bool Parse(CDataBin* source, std::uint32_t parseFlags);

    // Message of the last failed parse (empty after a success).
    const std::string& LastError() const { return m_error; }

    std::uint32_t flags = 0;

private:
    std::string m_error;
};

}  // namespace ove
