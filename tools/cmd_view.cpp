// ovetool view: builds a VIEW file from PNG (or BMP, JPEG, QOI) pictures.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "Command.h"
#include "data/ViewFile.h"
#include "image/ImageLoad.h"
#include "io/DataBin.h"

namespace {

using namespace ove;

// "path[@dx,dy]". A name whose text after the last '@' is not two integers is a mistyped offset,
// unless a file of that whole name exists (names may contain '@'); false with *error then.
bool SplitCel(const std::string& spec, std::string& path, i32& dx, i32& dy, std::string* error) {
    path = spec;
    dx = dy = 0;
    auto at = spec.rfind('@');
    if (at == std::string::npos) return true;
    std::string rest = spec.substr(at + 1);
    long a = 0, b = 0;
    char tail = 0;
    if (std::sscanf(rest.c_str(), "%ld,%ld%c", &a, &b, &tail) != 2 || a < INT32_MIN || a > INT32_MAX || b < INT32_MIN ||
        b > INT32_MAX) {
        std::error_code ec;
        if (std::filesystem::is_regular_file(spec, ec)) return true;
        *error = spec + ": the cel offset after '@' must be two whole numbers DX,DY (as in " + spec.substr(0, at) +
                 "@3,-4), not '" + rest + "'";
        return false;
    }
    path = spec.substr(0, at);
    dx = static_cast<i32>(a);
    dy = static_cast<i32>(b);
    return true;
}

bool ParseInt(const std::string& s, long& value) {
    char* end = nullptr;
    value = std::strtol(s.c_str(), &end, 10);
    return !s.empty() && end && *end == 0;
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "ovetool view: %s\n", message.c_str());
    return 1;
}

int RunView(const ovetool::Args& args) {
    std::string out;
    CViewWriter writer("VIEW", 32);
    bool inLoop = false;
    std::size_t celsInLoop = 0;
    long maxMirror = -1;  // mirrors may name later loops; checked at the end
    // A loop without pictures would give sprites nothing to draw.
    auto emptyLoop = [&] {
        return Fail("loop " + std::to_string(writer.LoopCount() - 1) + " has no pictures (--loop a.png ...)");
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        long n = 0;
        if (a == "--blend") {
            if (i + 1 >= args.size() || !ParseInt(args[i + 1], n) || n < 0 || n > 2)
                return Fail("--blend needs 0 (opaque), 1 (alpha) or 2 (additive)");
            writer.blendMode = static_cast<u32>(n);
            ++i;
        } else if (a == "--smooth") {
            writer.smooth = 1;
        } else if (a == "--loop") {
            if (inLoop && celsInLoop == 0) return emptyLoop();
            writer.AddLoop();
            inLoop = true;
            celsInLoop = 0;
        } else if (a == "--mirror") {
            if (i + 1 >= args.size() || !ParseInt(args[i + 1], n) || n < 0) return Fail("--mirror needs a loop number");
            if (inLoop && celsInLoop == 0) return emptyLoop();
            if (static_cast<std::size_t>(n) == writer.LoopCount()) return Fail("a loop cannot mirror itself");
            writer.AddMirror(static_cast<u32>(n));
            maxMirror = std::max(maxMirror, n);
            inLoop = false;
            ++i;
        } else if (a.size() > 1 && a[0] == '-' && a[1] == '-') {
            return Fail("unknown option " + a);
        } else if (out.empty()) {
            out = a;
        } else if (!inLoop) {
            return Fail("picture " + a + " outside a --loop group");
        } else {
            std::string path;
            i32 dx, dy;
            std::string error;
            if (!SplitCel(a, path, dx, dy, &error)) return Fail(error);
            auto picture = LoadImageFile(path, &error);
            if (!picture) return Fail(path + ": " + error);
            if (!writer.AddCel(*picture, dx, dy)) return Fail(path + ": not a 32-bit picture");
            ++celsInLoop;
        }
    }
    if (inLoop && celsInLoop == 0) return emptyLoop();
    if (out.empty()) return Fail("no output file");
    if (writer.LoopCount() == 0) return Fail("no loops (use --loop a.png ...)");
    if (maxMirror >= static_cast<long>(writer.LoopCount()))
        return Fail("--mirror " + std::to_string(maxMirror) + ": there are only " + std::to_string(writer.LoopCount()) +
                    " loops");
    CFile file(out.c_str(), "wb");
    if (!file.IsOpen() || !writer.Write(&file)) return Fail("cannot write " + out);
    return 0;
}

}  // namespace

OVE_TOOL_COMMAND("view", RunView);
