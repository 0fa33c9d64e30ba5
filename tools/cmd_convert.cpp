// ovetool convert: decodes a picture as the engine loads images and writes it in the format of the
// output name's extension.
#include <cstdio>
#include <string>

#include "Command.h"
#include "image/ImageLoad.h"

namespace {

int Convert(const ovetool::Args& args) {
    if (args.size() != 2) {
        std::fprintf(stderr, "usage: ovetool convert IN OUT\n");
        return 2;
    }
    std::string error;
    std::unique_ptr<ove::CBitmapInterface> bitmap = ove::LoadImageFile(args[0], &error);
    if (!bitmap) {
        std::fprintf(stderr, "%s: %s\n", args[0].c_str(), error.c_str());
        return 1;
    }
    if (!ove::SaveImageFile(args[1], *bitmap, &error)) {
        std::fprintf(stderr, "%s: %s\n", args[1].c_str(), error.c_str());
        return 1;
    }
    return 0;
}

}  // namespace

OVE_TOOL_COMMAND("convert", "convert IN OUT   decode IN (bmp, png, jpg, qoi) to 32-bit and write OUT by its extension",
                 Convert);
