#include "Warning.h"

#include <cstdio>

namespace ove {

void Warning(const std::string& text) {
    std::fprintf(stderr, "ove: warning: %s\n", text.c_str());
    std::fflush(stderr);
}

}  // namespace ove
