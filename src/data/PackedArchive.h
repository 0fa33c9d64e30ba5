// The packed game archives (GAME.DAT and other *.DAT files): ZIP-style archives with their own
// local-header signature and encrypted entries. The engine's start-up and the packer both take
// the two secrets from here, so what the packer writes is what the engine reads.
#pragma once
#include <string>

#include "io/DataBin.h"

namespace ove {

class CZIPFile;

// Password of the encrypted entries (7 characters), unscrambled on first use.
const std::string& PackedArchivePassword();

// Local-header signature of the packed archives, as read little-endian from the file.
u32 PackedArchiveSignature();

// A new archive reader on `path` with the packed archives' signature and password set. The caller
// owns it (typically by handing it to a CCompoundFolder). Nothing is read until the first query.
CZIPFile* OpenPackedArchive(const std::string& path);

}  // namespace ove
