// FONT files: views whose cels are glyphs, packed with a border.
#include "ViewTarget.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ove::CFont* font = new ove::CFont("fuzz");
    font->AddRef();
    ove::fuzz::RunView(*font, data, size);
    font->Release();
    return 0;
}
