// ovetool: builds and inspects the engine's data files.
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <unistd.h>

#include "Command.h"

namespace ovetool {

static std::map<std::string, Command>& Registry() {
    static std::map<std::string, Command> commands;
    return commands;
}

bool RegisterCommand(const Command& command) {
    Registry()[command.name] = command;
    return true;
}

void Progress(const char* label, size_t done, size_t total) {
    static bool tty = ::isatty(2);
    if (tty) {
        std::fprintf(stderr, "\r%s: %zu/%zu", label, done, total);
        if (done >= total) std::fputc('\n', stderr);
    } else if (done >= total || done % 100 == 0) {
        std::fprintf(stderr, "%s: %zu/%zu\n", label, done, total);
    }
}

}  // namespace ovetool

static void Usage(std::FILE* out) {
    std::fprintf(out, "usage: ovetool COMMAND [ARGS...]\n\ncommands:\n");
    for (auto& [name, cmd] : ovetool::Registry()) std::fprintf(out, "  %s\n", cmd.usage);
}

int main(int argc, char** argv) {
    if (argc < 2 || !std::strcmp(argv[1], "help") || !std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h")) {
        Usage(argc < 2 ? stderr : stdout);
        return argc < 2 ? 2 : 0;
    }
    auto it = ovetool::Registry().find(argv[1]);
    if (it == ovetool::Registry().end()) {
        std::fprintf(stderr, "ovetool: unknown command '%s'\n", argv[1]);
        Usage(stderr);
        return 2;
    }
    ovetool::Args args(argv + 2, argv + argc);
    return it->second.run(args);
}
