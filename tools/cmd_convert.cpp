// ovetool convert: decodes a picture as the engine loads images and writes it in the format of the
// output name's extension. An input whose extension names no format is recognised by its content.
#include <cstdio>
#include <string>

#include "Command.h"
#include "image/ImageLoad.h"

namespace {

int Convert(const ovetool::Args& args) {
    if (args.size() != 2) return ovetool::UsageError("convert");
    std::string error;
    ove::CFile file(args[0].c_str(), "rb");
    if (!file.IsOpen()) {
        std::fprintf(stderr, "ovetool convert: Unable to find image file [%s]\n", args[0].c_str());
        return 1;
    }
    // A name that does not say the format (a download, a crash sample): the first bytes do.
    ove::ImageFileFormat format = ove::ImageFormatFromName(args[0]);
    if (format == ove::ImageFileFormat::Unknown) {
        ove::u8 head[8];
        const ove::u32 got = file.Read(head, sizeof head);
        file.Seek(0);
        format = ove::ImageFormatFromData(head, got);
    }
    std::unique_ptr<ove::CBitmapInterface> bitmap = ove::DecodeImage(&file, format, &error);
    if (!bitmap) {
        std::fprintf(stderr, "ovetool convert: %s: %s\n", args[0].c_str(), error.c_str());
        return 1;
    }
    if (!ove::SaveImageFile(args[1], *bitmap, &error)) {
        std::fprintf(stderr, "ovetool convert: %s: %s\n", args[1].c_str(), error.c_str());
        return 1;
    }
    return 0;
}

}  // namespace

OVE_TOOL_COMMAND("convert", Convert);
