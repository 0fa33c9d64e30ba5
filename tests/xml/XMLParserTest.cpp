#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <set>
#include <string>
#include <string_view>

#include "data/DataBin.h"
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

const std::set<std::string>& KnownMessages() {
    static const std::set<std::string> messages = {
        "Cannot read from XML source.",
        "Could not allocate memory.",
        "Unexpected end of data in prolog.",
        "Tag expected",
        "Identifier expected but not found or invalid.",
        "Unexpected end of data in tag.",
        "Equals sign expected",
        "Quoted string expected",
        "Unexpected end of data in string.",
        "Unexpected end of data in element.",
        "Unexpected end of data in CDATA.",
        "Unexpected end of data in comment.",
    };
    return messages;
}

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
    ShortBin(std::string_view text, u32 claimed) : inner_(text.data(), static_cast<u32>(text.size())), claimed_(claimed) {}
    void Seek(u32 position) override { inner_.Seek(position); }
    u32 Tell() override { return inner_.Tell(); }
    u32 GetSize() override { return claimed_; }
    u32 Write(const void*, u32) override { return 0; }
    u32 Read(void* data, u32 count) override { return inner_.Read(data, count); }
    bool IsOpen() override { return true; }
    bool CanWrite() override { return false; }
    bool CanRead() override { return true; }

private:
    CBuffer inner_;
    u32 claimed_;
};

}  // namespace

TEST(XMLParser, RootElementWithChildAndAttribute) {
    CXMLParser p;
    ASSERT_TRUE(ParseText(p, R"(<settings><game width="640"/></settings>)"));
    EXPECT_EQ(p.type, XML_DOCUMENT);
    EXPECT_EQ(p.name, "settings");
    EXPECT_TRUE(p.attributes.empty());
    ASSERT_EQ(p.children.size(), 1u);
    const CXMLNode& game = *p.children[0];
    EXPECT_EQ(game.type, XML_ELEMENT);
    EXPECT_EQ(game.name, "game");
    EXPECT_EQ(game.attributes.at("width"), "640");
    EXPECT_TRUE(game.children.empty());
    EXPECT_TRUE(p.LastError().empty());
}

TEST(XMLParser, WhiteSpaceTextNodesAndFlags) {
    const char* doc = "<settings>\n  <game width=\"640\"/>\n</settings>";
    CXMLParser p;
    ASSERT_TRUE(ParseText(p, doc, 0));
    EXPECT_EQ(p.flags, 0u);
    ASSERT_EQ(p.children.size(), 3u);
    EXPECT_TRUE(p.children[0]->IsText());
    EXPECT_EQ(p.children[0]->text, "\n  ");
    EXPECT_EQ(p.children[1]->name, "game");
    EXPECT_TRUE(p.children[2]->IsText());
    EXPECT_EQ(p.children[2]->text, "\n");

    for (std::uint32_t flags : {1u, 2u, 3u}) {
        ASSERT_TRUE(ParseText(p, doc, flags));
        EXPECT_EQ(p.flags, flags);
        ASSERT_EQ(p.children.size(), 1u) << flags;
        EXPECT_EQ(p.children[0]->name, "game");
    }
}

TEST(XMLParser, TrimFlagTrimsKeptTextButDropFlagDoesNot) {
    CXMLParser p;
    ASSERT_TRUE(ParseText(p, "<a> \t x y \r\n<b/>  </a>", XML_TRIM_TEXT));
    ASSERT_EQ(p.children.size(), 2u);
    EXPECT_EQ(p.children[0]->text, "x y");
    EXPECT_EQ(p.children[1]->name, "b");

    ASSERT_TRUE(ParseText(p, "<a> \t x y \r\n<b/>  </a>", XML_DROP_WHITESPACE_TEXT));
    ASSERT_EQ(p.children.size(), 2u);
    EXPECT_EQ(p.children[0]->text, " \t x y \r\n");

    // Other bytes are not white space (form feed, vertical tab).
    ASSERT_TRUE(ParseText(p, "<a>\f<b/>\v</a>", XML_TRIM_TEXT));
    EXPECT_EQ(p.children.size(), 3u);
}

TEST(XMLParser, SingleTextChildBecomesElementText) {
    CXMLParser p;
    ASSERT_TRUE(ParseText(p, "<a>x &amp; y</a>"));
    EXPECT_EQ(p.text, "x & y");
    EXPECT_TRUE(p.children.empty());

    ASSERT_TRUE(ParseText(p, "<a>  hi  </a>", XML_TRIM_TEXT));
    EXPECT_EQ(p.text, "hi");
    ASSERT_TRUE(ParseText(p, "<a>  hi  </a>"));
    EXPECT_EQ(p.text, "  hi  ");

    ASSERT_TRUE(ParseText(p, "<r><b k='v'>val</b><c></c></r>"));
    ASSERT_EQ(p.children.size(), 2u);
    EXPECT_EQ(p.children[0]->text, "val");
    EXPECT_TRUE(p.children[0]->children.empty());
    EXPECT_EQ(p.children[0]->attributes.at("k"), "v");
    EXPECT_TRUE(p.children[1]->text.empty());
    EXPECT_TRUE(p.children[1]->children.empty());

    // Only a text node folds: a lone CDATA section or element stays a child.
    ASSERT_TRUE(ParseText(p, "<a><![CDATA[x]]></a>"));
    ASSERT_EQ(p.children.size(), 1u);
    EXPECT_EQ(p.children[0]->type, XML_CDATA);
    EXPECT_TRUE(p.text.empty());
    ASSERT_TRUE(ParseText(p, "<a><a>x</a></a>"));
    ASSERT_EQ(p.children.size(), 1u);
    EXPECT_EQ(p.children[0]->name, "a");
    EXPECT_EQ(p.children[0]->text, "x");
    EXPECT_TRUE(p.text.empty());
}

TEST(XMLParser, CommentsDroppedOrKept) {
    CXMLParser p;
    ASSERT_TRUE(ParseText(p, "<a>x<!-- c -->y</a>"));
    EXPECT_TRUE(p.text.empty());
    ASSERT_EQ(p.children.size(), 2u);
    EXPECT_TRUE(p.children[0]->IsText());
    EXPECT_EQ(p.children[0]->text, "x");
    EXPECT_TRUE(p.children[1]->IsText());
    EXPECT_EQ(p.children[1]->text, "y");

    ASSERT_TRUE(ParseText(p, "<a>x<!-- c -->y</a>", XML_KEEP_COMMENTS));
    ASSERT_EQ(p.children.size(), 3u);
    EXPECT_EQ(p.children[0]->text, "x");
    EXPECT_EQ(p.children[1]->type, XML_COMMENT);
    EXPECT_TRUE(p.children[1]->name.empty());
    EXPECT_EQ(p.children[1]->text, " c ");
    EXPECT_EQ(p.children[2]->text, "y");

    // A dropped comment leaves a single text that folds; markup inside comments is inert.
    ASSERT_TRUE(ParseText(p, "<a>x<!-- <b> & </a> --></a>"));
    EXPECT_EQ(p.text, "x");
    EXPECT_TRUE(p.children.empty());
    ASSERT_TRUE(ParseText(p, "<a><!----></a>", XML_KEEP_COMMENTS));
    ASSERT_EQ(p.children.size(), 1u);
    EXPECT_EQ(p.children[0]->text, "");
    // "<!-->" does not close itself.
    EXPECT_EQ(ErrorOf("<a><!--></a>"), "Unexpected end of data in comment.");
}

TEST(XMLParser, CDataIsVerbatim) {
    CXMLParser p;
    ASSERT_TRUE(ParseText(p, "<a>pre<![CDATA[<b>&amp;]] ]]>post</a>", XML_KEEP_COMMENTS));
    ASSERT_EQ(p.children.size(), 3u);
    EXPECT_EQ(p.children[1]->type, XML_CDATA);
    EXPECT_EQ(p.children[1]->text, "<b>&amp;]] ");
    EXPECT_EQ(p.children[2]->text, "post");
    ASSERT_TRUE(ParseText(p, "<a><![CDATA[]]></a>"));
    ASSERT_EQ(p.children.size(), 1u);
    EXPECT_EQ(p.children[0]->text, "");
}

TEST(XMLParser, EntitiesInTextAndAttributes) {
    CXMLParser p;
    ASSERT_TRUE(ParseText(p, R"(<a b='it&apos;s' c="&quot;&lt;&gt;&amp;" d="&#65;&foo;&" e="&amp;lt;">&lt;&#x41;&amp;amp;&</a>)"));
    EXPECT_EQ(p.attributes.at("b"), "it's");
    EXPECT_EQ(p.attributes.at("c"), "\"<>&");
    EXPECT_EQ(p.attributes.at("d"), "&#65;&foo;&");
    EXPECT_EQ(p.attributes.at("e"), "&lt;");
    EXPECT_EQ(p.text, "<&#x41;&amp;&");
    // A partial entity at the end of a value stays as it is.
    ASSERT_TRUE(ParseText(p, R"(<a b="x&am"/>)"));
    EXPECT_EQ(p.attributes.at("b"), "x&am");
}

TEST(XMLParser, AttributeForms) {
    CXMLParser p;
    ASSERT_TRUE(ParseText(p, "<a\tx='1\"2'\ny=\"3'4\"  z=''  x='5' />"));
    EXPECT_EQ(p.attributes.size(), 3u);
    EXPECT_EQ(p.attributes.at("x"), "5") << "a repeated attribute keeps the last value";
    EXPECT_EQ(p.attributes.at("y"), "3'4");
    EXPECT_EQ(p.attributes.at("z"), "");
    ASSERT_TRUE(ParseText(p, "<a x='1'y='2'/>")) << "no space needed between attributes";
    EXPECT_EQ(p.attributes.at("y"), "2");
    ASSERT_TRUE(ParseText(p, "<_x:y.z-9 a.b-c:d='v'/>"));
    EXPECT_EQ(p.name, "_x:y.z-9");
    EXPECT_EQ(p.attributes.at("a.b-c:d"), "v");
    ASSERT_TRUE(ParseText(p, "<a x='a>b'>t</a>"));
    EXPECT_EQ(p.attributes.at("x"), "a>b");
    EXPECT_EQ(p.text, "t");
}

TEST(XMLParser, ErrorMessages) {
    EXPECT_EQ(ErrorOf(R"(<a b = "1"/>)"), "Equals sign expected");
    EXPECT_EQ(ErrorOf(R"(<a b ="1"/>)"), "Equals sign expected");
    EXPECT_EQ(ErrorOf(R"(<a b/>)"), "Equals sign expected");
    EXPECT_EQ(ErrorOf(R"(<a b)"), "Equals sign expected");
    EXPECT_EQ(ErrorOf(R"(<a b= "1"/>)"), "Quoted string expected");
    EXPECT_EQ(ErrorOf(R"(<a b=1/>)"), "Quoted string expected");
    EXPECT_EQ(ErrorOf(R"(<a b=)"), "Quoted string expected");
    EXPECT_EQ(ErrorOf(R"(<a b="1)"), "Unexpected end of data in string.");
    EXPECT_EQ(ErrorOf(R"(<a b='1">)"), "Unexpected end of data in string.");
    EXPECT_EQ(ErrorOf("<a>"), "Unexpected end of data in element.");
    EXPECT_EQ(ErrorOf("<a>text"), "Unexpected end of data in element.");
    EXPECT_EQ(ErrorOf("<a><b/>"), "Unexpected end of data in element.");
    EXPECT_EQ(ErrorOf("<a><![CDATA[x]]"), "Unexpected end of data in CDATA.");
    EXPECT_EQ(ErrorOf("<a><!-- x --"), "Unexpected end of data in comment.");
    EXPECT_EQ(ErrorOf("<a"), "Unexpected end of data in tag.");
    EXPECT_EQ(ErrorOf("<a x='1'  \n"), "Unexpected end of data in tag.");
    EXPECT_EQ(ErrorOf(""), "Tag expected");
    EXPECT_EQ(ErrorOf("   \r\n\t"), "Tag expected");
    EXPECT_EQ(ErrorOf("settings"), "Tag expected");
    EXPECT_EQ(ErrorOf("<"), "Identifier expected but not found or invalid.");
    EXPECT_EQ(ErrorOf("<1a/>"), "Identifier expected but not found or invalid.");
    EXPECT_EQ(ErrorOf("< a/>"), "Identifier expected but not found or invalid.");
    EXPECT_EQ(ErrorOf("<a -b='1'/>"), "Identifier expected but not found or invalid.");
    EXPECT_EQ(ErrorOf("<a / >"), "Identifier expected but not found or invalid.");
    // End tags must match exactly, without white space.
    EXPECT_EQ(ErrorOf("<a></b>"), "Identifier expected but not found or invalid.");
    EXPECT_EQ(ErrorOf("<a></a >"), "Identifier expected but not found or invalid.");
    EXPECT_EQ(ErrorOf("<a></A>"), "Identifier expected but not found or invalid.");
    EXPECT_EQ(ErrorOf("<ab></a>"), "Identifier expected but not found or invalid.");
    EXPECT_EQ(ErrorOf("<a><b></a>"), "Identifier expected but not found or invalid.");
    EXPECT_EQ(ErrorOf("<a><?pi?></a>"), "Identifier expected but not found or invalid.");
    EXPECT_EQ(ErrorOf("<?xml version='1.0'"), "Unexpected end of data in prolog.");
    EXPECT_EQ(ErrorOf("<?xml?><?xml "), "Unexpected end of data in prolog.");
}

TEST(XMLParser, UnreadableSources) {
    CXMLParser p;
    EXPECT_FALSE(p.Parse(nullptr, 0));
    EXPECT_EQ(p.LastError(), "Cannot read from XML source.");

    ovetest::TempDir dir;
    auto path = dir / "w.xml";
    CFile writeOnly(path.c_str(), "wb");
    ASSERT_TRUE(writeOnly.IsOpen());
    writeOnly.Write("<a/>", 4);
    EXPECT_FALSE(p.Parse(&writeOnly, 0));
    EXPECT_EQ(p.LastError(), "Cannot read from XML source.");

    CFile missing((dir / "none.xml").c_str(), "rb");
    EXPECT_FALSE(p.Parse(&missing, 0));
    EXPECT_EQ(p.LastError(), "Cannot read from XML source.");
}

TEST(XMLParser, PrologIsSkippedButNothingElse) {
    CXMLParser p;
    ASSERT_TRUE(ParseText(p, " \r\n<?xml version=\"1.0\"?>\n<?xml-stylesheet x?>\t<r/>"));
    EXPECT_EQ(p.name, "r");
    // Byte-order mark, DOCTYPE, a leading comment or another processing instruction all fail.
    EXPECT_EQ(ErrorOf("\xEF\xBB\xBF<r/>"), "Tag expected");
    EXPECT_EQ(ErrorOf("<!DOCTYPE r>\n<r/>"), "Identifier expected but not found or invalid.");
    EXPECT_EQ(ErrorOf("<?xml version='1.0'?><!DOCTYPE r><r/>"), "Identifier expected but not found or invalid.");
    EXPECT_EQ(ErrorOf("<!-- c --><r/>"), "Identifier expected but not found or invalid.");
    EXPECT_EQ(ErrorOf("<?php ?><r/>"), "Identifier expected but not found or invalid.");
}

TEST(XMLParser, TextEndsAtNulOrDataEndAndTrailingTextIsIgnored) {
    CXMLParser p;
    using namespace std::string_literals;
    ASSERT_TRUE(ParseText(p, "<a/>\0<<<garbage"s));
    EXPECT_EQ(p.name, "a");
    EXPECT_EQ(ErrorOf("<a>\0</a>"s), "Unexpected end of data in element.");
    EXPECT_EQ(ErrorOf("<a b='\0'/>"s), "Unexpected end of data in string.");
    ASSERT_TRUE(ParseText(p, "<a/> trailing </b> <<"));
    ASSERT_TRUE(ParseText(p, "<a></a><b>"));
    EXPECT_EQ(p.name, "a");

    // The whole source is read, from its start, even when the stream was left elsewhere.
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
    EXPECT_EQ(p.text, "text");

    EXPECT_FALSE(ParseText(p, "<r><a x='1'/><b"));
    EXPECT_EQ(p.LastError(), "Unexpected end of data in tag.");
    EXPECT_EQ(p.name, "r");
    EXPECT_TRUE(p.attributes.empty());
    EXPECT_TRUE(p.text.empty());
    ASSERT_EQ(p.children.size(), 2u);
    EXPECT_EQ(p.children[0]->attributes.at("x"), "1");
    EXPECT_EQ(p.children[1]->name, "b");

    ASSERT_TRUE(ParseText(p, "<n/>"));
    EXPECT_EQ(p.name, "n");
    EXPECT_TRUE(p.children.empty());
    EXPECT_TRUE(p.text.empty());
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
        while (!n->children.empty()) {
            n = n->children[0].get();
            ++levels;
        }
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
                EXPECT_TRUE(KnownMessages().count(p.LastError())) << p.LastError();
            }
            CheckTree(p);
        }
    }
    CXMLParser p;
    ASSERT_TRUE(ParseText(p, doc, XML_DROP_WHITESPACE_TEXT));
    ASSERT_EQ(p.children.size(), 3u);
    EXPECT_EQ(p.children[0]->attributes.at("title"), "Caf&e <1>");
    ASSERT_EQ(p.children[1]->children.size(), 2u);
    EXPECT_EQ(p.children[1]->children[0]->text, "text \"here\"");
    EXPECT_EQ(p.children[1]->children[1]->text, "<raw>&amp;");
    EXPECT_EQ(p.children[2]->children[0]->children[0]->text, "deep");
}

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
            ASSERT_TRUE(KnownMessages().count(p.LastError())) << p.LastError();
        }
        CheckTree(p);
    }
    // Sanity: the mutations leave some documents intact and break others.
    EXPECT_GT(successes, 100);
    EXPECT_LT(successes, 20000);
}
