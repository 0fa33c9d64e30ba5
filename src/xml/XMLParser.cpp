#include "XMLParser.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <string_view>

#include "io/DataBin.h"

namespace ove {

// ---- CXMLNode

CXMLNode::~CXMLNode() { DeleteChildren(); }

void CXMLNode::Clear() {
    DeleteChildren();
    attributes.clear();
}

const std::string* CXMLNode::Attribute(const std::string& key) const {
    auto it = attributes.find(key);
    return it == attributes.end() ? nullptr : &it->second;
}

// Deletes the subtree without recursion, so that a hostile document nested a million levels
// deep cannot exhaust the stack on the way out.
void CXMLNode::DeleteChildren() {
    std::vector<std::unique_ptr<CXMLNode>> pending = std::move(children);
    children.clear();
    while (!pending.empty()) {
        std::unique_ptr<CXMLNode> node = std::move(pending.back());
        pending.pop_back();
        for (auto& child : node->children) pending.push_back(std::move(child));
        node->children.clear();
    }
}

// ---- CXMLParser

namespace {

struct XMLError {
    const char* message;
};

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool IsNameStart(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':'; }

bool IsNameChar(char c) { return IsNameStart(c) || (c >= '0' && c <= '9') || c == '.' || c == '-'; }

std::string DecodeEntities(std::string_view in) {
    static constexpr struct {
        std::string_view entity;
        char replacement;
    } kEntities[] = {{"&apos;", '\''}, {"&quot;", '"'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&amp;", '&'}};

    std::string out;
    out.reserve(in.size());
    size_t pos = 0;
    while (pos < in.size()) {
        size_t amp = in.find('&', pos);
        if (amp == std::string_view::npos) {
            out.append(in.substr(pos));
            break;
        }
        out.append(in.substr(pos, amp - pos));
        pos = amp + 1;
        char replacement = '&';  // an unknown entity keeps its ampersand
        for (const auto& e : kEntities) {
            if (in.substr(amp, e.entity.size()) == e.entity) {
                replacement = e.replacement;
                pos = amp + e.entity.size();
                break;
            }
        }
        out += replacement;
    }
    return out;
}

std::string DecodeIfNeeded(std::string_view in) {
    return in.find('&') == std::string_view::npos ? std::string(in) : DecodeEntities(in);
}

// Cursor over the document text. Every access is bounds-checked: the end of the text reads
// as NUL, which is neither white space nor a name character.
class Reader {
public:
    Reader(const char* data, size_t size, std::uint32_t flags) : m_text(data, size), m_flags(flags) {}

    void SkipProlog() {
        SkipSpace();
        while (StartsWith("<?xml")) {
            size_t close = m_text.find("?>", m_pos + 5);
            if (close == std::string_view::npos) throw XMLError{"Unexpected end of data in prolog."};
            m_pos = close + 2;
            SkipSpace();
        }
    }

    // Parses the element starting here into root, its descendants with an explicit stack
    // (the depth of a document is not bounded by ours).
    void ParseDocument(CXMLNode& root) {
        std::vector<CXMLNode*> open;
        if (ParseStartTag(root)) open.push_back(&root);
        while (!open.empty()) {
            CXMLNode& node = *open.back();
            if (ParseContentStep(node)) {
                FoldSingleText(node);
                open.pop_back();
                continue;
            }
            if (m_pendingChild) {
                CXMLNode* child = m_pendingChild;
                m_pendingChild = nullptr;
                if (ParseStartTag(*child)) open.push_back(child);
            }
        }
    }

private:
    char At(size_t p) const { return p < m_text.size() ? m_text[p] : '\0'; }
    char Cur() const { return At(m_pos); }
    bool AtEnd() const { return m_pos >= m_text.size(); }
    bool StartsWith(std::string_view s) const { return m_text.substr(m_pos).starts_with(s); }

    void SkipSpace() {
        while (!AtEnd() && IsSpace(m_text[m_pos])) ++m_pos;
    }

    std::string ReadName() {
        if (!IsNameStart(Cur())) throw XMLError{"Identifier expected but not found or invalid."};
        size_t start = m_pos++;
        while (IsNameChar(Cur())) ++m_pos;
        return std::string(m_text.substr(start, m_pos - start));
    }

    std::string ReadQuoted() {
        char quote = Cur();
        if (quote != '"' && quote != '\'') throw XMLError{"Quoted string expected"};
        size_t close = m_text.find(quote, m_pos + 1);
        if (close == std::string_view::npos) throw XMLError{"Unexpected end of data in string."};
        std::string_view raw = m_text.substr(m_pos + 1, close - m_pos - 1);
        m_pos = close + 1;
        return DecodeIfNeeded(raw);
    }

    // Reads "<name attributes" up to and including "/>" or ">". True when content follows.
    bool ParseStartTag(CXMLNode& node) {
        if (Cur() != '<') throw XMLError{"Tag expected"};
        ++m_pos;
        node.name = ReadName();
        for (;;) {
            SkipSpace();
            if (AtEnd()) throw XMLError{"Unexpected end of data in tag."};
            if (StartsWith("/>")) {
                m_pos += 2;
                return false;
            }
            if (Cur() == '>') {
                ++m_pos;
                return true;
            }
            std::string key = ReadName();
            if (Cur() != '=') throw XMLError{"Equals sign expected"};
            ++m_pos;
            node.attributes[key] = ReadQuoted();
        }
    }

    bool KeepText(std::string& text) const {
        if (m_flags & XML_TRIM_TEXT) {
            size_t last = text.find_last_not_of(" \t\r\n");
            text.erase(last == std::string::npos ? 0 : last + 1);
            size_t first = text.find_first_not_of(" \t\r\n");
            text.erase(0, first == std::string::npos ? text.size() : first);
            if (text.empty()) return false;
        }
        if (m_flags & XML_DROP_WHITESPACE_TEXT) return text.find_first_not_of(" \t\r\n") != std::string::npos;
        return true;
    }

    static void Append(CXMLNode& parent, std::int32_t type, std::string text) {
        auto node = std::make_unique<CXMLNode>();
        node->type = type;
        node->text = std::move(text);
        parent.children.push_back(std::move(node));
    }

    // One round of an element's content: text, then its end tag, a CDATA section, a comment
    // or the start of a child element (left in m_pendingChild). True when the end tag was read.
    bool ParseContentStep(CXMLNode& node) {
        size_t lt = m_text.find('<', m_pos);
        if (lt == std::string_view::npos) throw XMLError{"Unexpected end of data in element."};
        if (lt > m_pos) {
            std::string text = DecodeIfNeeded(m_text.substr(m_pos, lt - m_pos));
            if (!text.empty() && KeepText(text)) Append(node, XML_ELEMENT, std::move(text));
        }
        m_pos = lt;

        if (StartsWith("</") && m_text.substr(m_pos + 2).starts_with(node.name) &&
            At(m_pos + 2 + node.name.size()) == '>') {
            m_pos += node.name.size() + 3;
            return true;
        }
        if (StartsWith("<![CDATA[")) {
            size_t start = m_pos + 9;
            size_t close = m_text.find("]]>", start);
            if (close == std::string_view::npos) throw XMLError{"Unexpected end of data in CDATA."};
            Append(node, XML_CDATA, std::string(m_text.substr(start, close - start)));
            m_pos = close + 3;
            return false;
        }
        if (StartsWith("<!--")) {
            size_t start = m_pos + 4;
            size_t close = m_text.find("-->", start);
            if (close == std::string_view::npos) throw XMLError{"Unexpected end of data in comment."};
            if (m_flags & XML_KEEP_COMMENTS)
                Append(node, XML_COMMENT, std::string(m_text.substr(start, close - start)));
            m_pos = close + 3;
            return false;
        }
        auto child = std::make_unique<CXMLNode>();
        child->type = XML_ELEMENT;
        m_pendingChild = child.get();
        node.children.push_back(std::move(child));
        return false;
    }

    // An element whose only content was text keeps that text itself.
    static void FoldSingleText(CXMLNode& node) {
        if (node.children.size() == 1 && node.children[0]->IsText()) {
            node.text = std::move(node.children[0]->text);
            node.children.clear();
        }
    }

    std::string_view m_text;
    size_t m_pos = 0;
    std::uint32_t m_flags;
    CXMLNode* m_pendingChild = nullptr;
};

}  // namespace

bool CXMLParser::Parse(CDataBin* source, std::uint32_t parseFlags) {
    Clear();
    // A reused parser must not show the previous document's root.
    name.clear();
    text.clear();
    flags = parseFlags;
    m_error.clear();
    try {
        if (!source || !source->CanRead()) throw XMLError{"Cannot read from XML source."};
        std::uint32_t size = source->GetSize();
        std::unique_ptr<char[]> buffer(new (std::nothrow) char[size ? size : 1]);
        if (!buffer) throw XMLError{"Could not allocate memory."};
        source->Seek(0);
        std::uint32_t got = size ? source->Read(buffer.get(), size) : 0;
        if (got > size) got = size;
        const void* nul = std::memchr(buffer.get(), 0, got);
        size_t length = nul ? static_cast<size_t>(static_cast<const char*>(nul) - buffer.get()) : got;

        Reader reader(buffer.get(), length, flags);
        reader.SkipProlog();
        reader.ParseDocument(*this);
        return true;
    } catch (const XMLError& e) {
        m_error = e.message;
    } catch (const std::bad_alloc&) {
        m_error = "Could not allocate memory.";
    }
    return false;
}

}  // namespace ove
