// XML documents, with every combination of parse flags (taken from the first byte).
#include "FuzzInput.h"
#include "xml/XMLParser.h"

using namespace ove;

static std::size_t Walk(const CXMLNode& node, int depth) {
    std::size_t n = node.name.size() + node.text.size() + node.attributes.size();
    if (depth < 256)
        for (const auto& child : node.children) n += Walk(*child, depth + 1);
    return n;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    u32 flags = data[0] & 7u;
    CBuffer bin = fuzz::MakeBin(data + 1, size - 1);
    CXMLParser doc;
    if (doc.Parse(&bin, flags)) Walk(doc, 0);
    return 0;
}
