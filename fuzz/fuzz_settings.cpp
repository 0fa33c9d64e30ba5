// settings.xml: the title survey and the start-up settings the engine reads before opening its window.
#include "FuzzInput.h"
#include "host/Settings.h"
#include "xml/XMLParser.h"

using namespace ove;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CBuffer bin = fuzz::MakeBin(data, size);
    GameTitleOf(&bin, "OVE");
    bin.Seek(0);
    CXMLParser doc;
    if (doc.Parse(&bin, 0) && doc.name == "settings") {
        SStartupSettings settings;
        ApplySettings(doc, settings);
        ResolveWindowSize(settings, 1920, 1080);
    }
    return 0;
}
