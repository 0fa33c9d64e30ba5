#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "io/DataBin.h"
#include "support/TestSupport.h"
#include "xml/XMLParser.h"

using namespace ove;

namespace {

bool ParseText(CXMLParser& p, std::string_view text, std::uint32_t flags = 0) {
    CBuffer bin(text.data(), static_cast<u32>(text.size()));
    return p.Parse(&bin, flags);
}

// Parses and returns the error message ("" when the parse succeeded).
std::string ErrorOf(std::string_view text, std::uint32_t flags = 0) {
    CXMLParser p;
    bool ok = ParseText(p, text, flags);
    EXPECT_EQ(ok, p.LastError().empty()) << text;
    return p.LastError();
}

// clang-format off
bool KnownMessage(const std::string& m) {
    static const std::set<std::string> messages = {
        "Cannot read from XML source.", "Could not allocate memory.", "Tag expected", "Equals sign expected",
        "Identifier expected but not found or invalid.", "Quoted string expected", "Unexpected end of data in prolog.",
        "Unexpected end of data in tag.", "Unexpected end of data in string.", "Unexpected end of data in element.",
        "Unexpected end of data in CDATA.", "Unexpected end of data in comment."};
    return messages.count(m) != 0;
}
// clang-format on

// Structural invariants every tree the parser builds must satisfy.
void CheckTree(const CXMLNode& node) {
    for (const auto& c : node.children) {
        ASSERT_NE(c, nullptr);
        ASSERT_GE(c->type, XML_ELEMENT);
        ASSERT_LE(c->type, XML_COMMENT);
        if (c->type != XML_ELEMENT || c->name.empty()) {
            EXPECT_TRUE(c->name.empty());
            EXPECT_TRUE(c->children.empty());
            EXPECT_TRUE(c->attributes.empty());
        }
        CheckTree(*c);
    }
}

// A bin that claims more bytes than it can deliver.
class ShortBin : public CDataBin {
public:
    ShortBin(std::string_view text, u32 claimed)
        : m_inner(text.data(), static_cast<u32>(text.size())), m_claimed(claimed) {}
    void Seek(u32 position) override { m_inner.Seek(position); }
    u32 Tell() override { return m_inner.Tell(); }
    u32 GetSize() override { return m_claimed; }
    u32 Write(const void*, u32) override { return 0; }
    u32 Read(void* data, u32 count) override { return m_inner.Read(data, count); }
    bool IsOpen() override { return true; }
    bool CanWrite() override { return false; }
    bool CanRead() override { return true; }

private:
    CBuffer m_inner;
    u32 m_claimed;
};

// The tree in one line: an element as name[key=value ...]'text'{children}, a text node as "text",
// CDATA as <![text]>, a comment as <!--text-->.
std::string Dump(const CXMLNode& n) {
    if (n.type == XML_CDATA) return "<![" + n.text + "]>";
    if (n.type == XML_COMMENT) return "<!--" + n.text + "-->";
    if (n.IsText()) return "\"" + n.text + "\"";
    std::string s = n.name;
    for (const auto& [key, value] : n.attributes)
        s += (&key == &n.attributes.begin()->first ? "[" : " ") + key + "=" + value;
    if (!n.attributes.empty()) s += "]";
    if (!n.text.empty()) s += "'" + n.text + "'";
    for (const auto& c : n.children) s += (c == n.children.front() ? "{" : ",") + Dump(*c);
    if (!n.children.empty()) s += "}";
    return s;
}

// Parses and gives the tree in one line, or the error message.
std::string Parsed(std::string_view text, std::uint32_t flags = 0) {
    CXMLParser p;
    if (!ParseText(p, text, flags)) return "error: " + p.LastError();
    CheckTree(p);
    return Dump(p);
}

}  // namespace

TEST(XMLParser, WhiteSpaceTextNodesAndFlags) {
    const char* doc = "<settings>\n  <game width=\"640\"/>\n</settings>";
    for (std::uint32_t flags : {0u, 1u, 2u, 3u}) {
        CXMLParser p;
        ASSERT_TRUE(ParseText(p, doc, flags));
        EXPECT_EQ(p.flags, flags);
        EXPECT_EQ(p.type, XML_DOCUMENT);
        EXPECT_TRUE(p.LastError().empty());
        EXPECT_EQ(Dump(p), flags ? "settings{game[width=640]}" : "settings{\"\n  \",game[width=640],\"\n\"}");
    }
    // The trim flag trims kept text, the drop flag does not; form feed and vertical tab are not white
    // space.
    EXPECT_EQ(Parsed("<a> \t x y \r\n<b/>  </a>", XML_TRIM_TEXT), "a{\"x y\",b}");
    EXPECT_EQ(Parsed("<a> \t x y \r\n<b/>  </a>", XML_DROP_WHITESPACE_TEXT), "a{\" \t x y \r\n\",b}");
    EXPECT_EQ(Parsed("<a>\f<b/>\v</a>", XML_TRIM_TEXT), "a{\"\f\",b,\"\v\"}");
}

TEST(XMLParser, SingleTextChildBecomesElementText) {
    EXPECT_EQ(Parsed("<a>x &amp; y</a>"), "a'x & y'");
    EXPECT_EQ(Parsed("<a>  hi  </a>", XML_TRIM_TEXT), "a'hi'");
    EXPECT_EQ(Parsed("<a>  hi  </a>"), "a'  hi  '");
    EXPECT_EQ(Parsed("<r><b k='v'>val</b><c></c></r>"), "r{b[k=v]'val',c}");
    // Only a text node folds: a lone CDATA section or element stays a child.
    EXPECT_EQ(Parsed("<a><![CDATA[x]]></a>"), "a{<![x]>}");
    EXPECT_EQ(Parsed("<a><a>x</a></a>"), "a{a'x'}");
}

TEST(XMLParser, CommentsCDataEntitiesAndAttributeForms) {
    EXPECT_EQ(Parsed("<a>x<!-- c -->y</a>"), "a{\"x\",\"y\"}");
    EXPECT_EQ(Parsed("<a>x<!-- c -->y</a>", XML_KEEP_COMMENTS), "a{\"x\",<!-- c -->,\"y\"}");
    // A dropped comment leaves a single text that folds; markup inside comments is inert.
    EXPECT_EQ(Parsed("<a>x<!-- <b> & </a> --></a>"), "a'x'");
    EXPECT_EQ(Parsed("<a><!----></a>", XML_KEEP_COMMENTS), "a{<!---->}");
    EXPECT_EQ(ErrorOf("<a><!--></a>"), "Unexpected end of data in comment.");  // "<!-->" does not close itself
    // CDATA is verbatim.
    EXPECT_EQ(Parsed("<a>pre<![CDATA[<b>&amp;]] ]]>post</a>", XML_KEEP_COMMENTS),
              "a{\"pre\",<![<b>&amp;]] ]>,\"post\"}");
    EXPECT_EQ(Parsed("<a><![CDATA[]]></a>"), "a{<![]>}");
    // The five entities in text and attributes; anything else, and partial ones, stay as they are.
    EXPECT_EQ(
        Parsed(R"(<a b='it&apos;s' c="&quot;&lt;&gt;&amp;" d="&#65;&foo;&" e="&amp;lt;">&lt;&#x41;&amp;amp;&</a>)"),
        R"(a[b=it's c="<>& d=&#65;&foo;& e=&lt;]'<&#x41;&amp;&')");
    EXPECT_EQ(Parsed(R"(<a b="x&am"/>)"), "a[b=x&am]");
    // A repeated attribute keeps the last value; no space is needed between attributes.
    EXPECT_EQ(Parsed("<a\tx='1\"2'\ny=\"3'4\"  z=''  x='5' />"), "a[x=5 y=3'4 z=]");
    EXPECT_EQ(Parsed("<a x='1'y='2'/>"), "a[x=1 y=2]");
    EXPECT_EQ(Parsed("<_x:y.z-9 a.b-c:d='v'/>"), "_x:y.z-9[a.b-c:d=v]");
    EXPECT_EQ(Parsed("<a x='a>b'>t</a>"), "a[x=a>b]'t'");
}

TEST(XMLParser, ErrorMessages) {
    const std::pair<const char*, std::vector<std::string_view>> cases[] = {
        {"Equals sign expected", {R"(<a b = "1"/>)", R"(<a b ="1"/>)", R"(<a b/>)", R"(<a b)"}},
        {"Quoted string expected", {R"(<a b= "1"/>)", R"(<a b=1/>)", R"(<a b=)"}},
        {"Unexpected end of data in string.", {R"(<a b="1)", R"(<a b='1">)"}},
        {"Unexpected end of data in element.", {"<a>", "<a>text", "<a><b/>"}},
        {"Unexpected end of data in CDATA.", {"<a><![CDATA[x]]"}},
        {"Unexpected end of data in comment.", {"<a><!-- x --"}},
        {"Unexpected end of data in tag.", {"<a", "<a x='1'  \n"}},
        {"Tag expected", {"", "   \r\n\t", "settings"}},
        {"Identifier expected but not found or invalid.",
         {"<", "<1a/>", "< a/>", "<a -b='1'/>", "<a / >", "<a><?pi?></a>"}},
        // End tags must match exactly, without white space.
        {"Identifier expected but not found or invalid.", {"<a></b>", "<a></a >", "<a></A>", "<ab></a>", "<a><b></a>"}},
        {"Unexpected end of data in prolog.", {"<?xml version='1.0'", "<?xml?><?xml "}},
    };
    for (const auto& [message, texts] : cases)
        for (std::string_view text : texts) EXPECT_EQ(ErrorOf(text), message) << text;
}

TEST(XMLParser, UnreadableSources) {
    ovetest::TempDir dir;
    CFile writeOnly((dir / "w.xml").c_str(), "wb"), missing((dir / "none.xml").c_str(), "rb");
    ASSERT_TRUE(writeOnly.IsOpen());
    writeOnly.Write("<a/>", 4);
    for (CDataBin* source :
         {static_cast<CDataBin*>(nullptr), static_cast<CDataBin*>(&writeOnly), static_cast<CDataBin*>(&missing)}) {
        CXMLParser p;
        EXPECT_FALSE(p.Parse(source, 0));
        EXPECT_EQ(p.LastError(), "Cannot read from XML source.");
    }
}

TEST(XMLParser, PrologIsSkippedButNothingElse) {
    EXPECT_EQ(Parsed(" \r\n<?xml version=\"1.0\"?>\n<?xml-stylesheet x?>\t<r/>"), "r");
    // Byte-order mark, DOCTYPE, a leading comment or another processing instruction all fail.
    EXPECT_EQ(ErrorOf("\xEF\xBB\xBF<r/>"), "Tag expected");
    for (const char* doc :
         {"<!DOCTYPE r>\n<r/>", "<?xml version='1.0'?><!DOCTYPE r><r/>", "<!-- c --><r/>", "<?php ?><r/>"})
        EXPECT_EQ(ErrorOf(doc), "Identifier expected but not found or invalid.") << doc;
}

TEST(XMLParser, TextEndsAtNulOrDataEndAndTrailingTextIsIgnored) {
    using namespace std::string_literals;
    EXPECT_EQ(Parsed("<a/>\0<<<garbage"s), "a");
    EXPECT_EQ(ErrorOf("<a>\0</a>"s), "Unexpected end of data in element.");
    EXPECT_EQ(ErrorOf("<a b='\0'/>"s), "Unexpected end of data in string.");
    EXPECT_EQ(Parsed("<a/> trailing </b> <<"), "a");
    EXPECT_EQ(Parsed("<a></a><b>"), "a");

    // The whole source is read, from its start, even when the stream was left elsewhere.
    CXMLParser p;
    CBuffer bin("<z>1</z>", 8);
    bin.Seek(8);
    ASSERT_TRUE(p.Parse(&bin, 0));
    EXPECT_EQ(p.text, "1");

    // A stream that delivers less than its size claims: only what was read is parsed.
    ShortBin shortBin("<s>ok</s>", 64u << 20);
    ASSERT_TRUE(p.Parse(&shortBin, 0));
    EXPECT_EQ(p.text, "ok");
    ShortBin cut("<s>ok</s", 64u << 20);
    EXPECT_FALSE(p.Parse(&cut, 0));
}

TEST(XMLParser, FailureKeepsPartialTreeAndReparseStartsClean) {
    CXMLParser p;
    ASSERT_TRUE(ParseText(p, "<old k='v'>text</old>"));
    EXPECT_EQ(Dump(p), "old[k=v]'text'");
    EXPECT_FALSE(ParseText(p, "<r><a x='1'/><b"));
    EXPECT_EQ(p.LastError(), "Unexpected end of data in tag.");
    EXPECT_EQ(Dump(p), "r{a[x=1],b}");
    ASSERT_TRUE(ParseText(p, "<n/>"));
    EXPECT_EQ(Dump(p), "n");
    EXPECT_TRUE(p.LastError().empty());
}

TEST(XMLParser, DeepNestingNeitherOverflowsWhenParsingNorWhenDestroying) {
    const int depth = 300000;
    std::string doc;
    for (int i = 0; i < depth; ++i) doc += "<a>";
    doc += "x";
    for (int i = 0; i < depth; ++i) doc += "</a>";
    {
        CXMLParser p;
        ASSERT_TRUE(ParseText(p, doc));
        const CXMLNode* n = &p;
        int levels = 1;
        for (; !n->children.empty(); ++levels) n = n->children[0].get();
        EXPECT_EQ(levels, depth);
        EXPECT_EQ(n->text, "x");
    }
    CXMLParser p;
    // Cut after a thousand end tags: the data end inside the remaining open elements.
    const std::string cut = doc.substr(0, 3 * depth + 1 + 4 * 1000);
    EXPECT_EQ(ErrorOf(cut), "Unexpected end of data in element.");
    EXPECT_FALSE(ParseText(p, cut));
    // Clearing by a reparse also tears the deep tree down.
    EXPECT_TRUE(ParseText(p, "<b/>"));
}

TEST(XMLParser, EveryTruncationFailsCleanlyUntilTheRootCloses) {
    const std::string doc =
        "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\r\n"
        "<settings a='1' b=\"it&apos;s\">\n"
        "  <!-- window -->\n"
        "  <window width=\"auto\" height='480' title=\"Caf&amp;e &lt;1&gt;\"/>\n"
        "  <game width=\"640\" height=\"480\">text &quot;here&quot;<![CDATA[<raw>&amp;]]></game>\n"
        "  <default font=\"Big\" fullscreen=\"true\"><x><y>deep</y></x></default>\n"
        "</settings>";
    const size_t rootEnd = doc.size();
    for (std::uint32_t flags = 0; flags < 8; ++flags) {
        for (size_t len = 0; len <= doc.size(); ++len) {
            CXMLParser p;
            bool ok = ParseText(p, std::string_view(doc).substr(0, len), flags);
            EXPECT_EQ(ok, len >= rootEnd) << "length " << len;
            if (!ok) {
                EXPECT_TRUE(KnownMessage(p.LastError())) << p.LastError();
            }
            CheckTree(p);
        }
    }
    EXPECT_EQ(Parsed(doc, XML_DROP_WHITESPACE_TEXT),
              "settings[a=1 b=it's]{window[height=480 title=Caf&e <1> width=auto],"
              "game[height=480 width=640]{\"text \"here\"\",<![<raw>&amp;]>},"
              "default[font=Big fullscreen=true]{x{y'deep'}}}");
}

// clang-format off
TEST(XMLParser, RandomMutationsNeverCrash) {
    const std::string seed =
        "<?xml v?><r a='1' b=\"&amp;\"><c>t&lt;</c><![CDATA[x]]><!-- k --><d e='f'/>\n</r>";
    const char specials[] = "<>/='\"&;!-[]? \n\0aZ_:.9";
    std::mt19937 rng(1234);
    int successes = 0;
    for (int round = 0; round < 20000; ++round) {
        std::string doc = seed;
        int edits = 1 + static_cast<int>(rng() % 4);
        for (int e = 0; e < edits; ++e) {
            size_t at = rng() % (doc.size() + 1);
            char c = (rng() % 2) ? specials[rng() % (sizeof specials - 1)] : static_cast<char>(rng() & 0xFF);
            switch (rng() % 3) {
                case 0: if (at < doc.size()) doc[at] = c; break;
                case 1: doc.insert(at, 1, c); break;
                default: if (at < doc.size()) doc.erase(at, 1 + rng() % 8); break;
            }
        }
        CXMLParser p;
        bool ok = ParseText(p, doc, rng() % 8);
        if (ok) {
            ++successes;
        } else {
            ASSERT_TRUE(KnownMessage(p.LastError())) << p.LastError();
        }
        CheckTree(p);
    }
    // Sanity: the mutations leave some documents intact and break others.
    EXPECT_GT(successes, 100);
    EXPECT_LT(successes, 20000);
}
// clang-format on
