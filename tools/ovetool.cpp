// ovetool: builds and inspects the engine's data files.
#include <unistd.h>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>

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
        std::fprintf(stderr, "\rovetool %s: %zu/%zu", label, done, total);
        if (done >= total) std::fputc('\n', stderr);
    } else if (done >= total || done % 100 == 0) {
        std::fprintf(stderr, "ovetool %s: %zu/%zu\n", label, done, total);
    }
}

}  // namespace ovetool

// Every command's help, the one place its usage is written: "ovetool help" lists the summaries,
// "ovetool help CMD" and "ovetool CMD --help" show the usage and the text, and a usage error shows
// the usage. The texts say what the files are for and which names the engine looks them up under,
// since a file built with the wrong extension is simply not found.
struct SHelp {
    const char* name;
    const char* synopsis;  // what follows "usage: ovetool "
    const char* summary;   // one line for the command list
    const char* text;
};

constexpr SHelp kHelp[] = {
    {"view", "view OUT.OVV [--blend N] [--smooth] --loop A.png[@DX,DY] B.png ... [--loop ...] [--mirror K]",
     "build a view (NAME.OVV) from pictures",
     "Builds a view (the animation loops of a sprite). The engine finds the view \"hero\" as hero.OVV,\n"
     "so name the output NAME.OVV.\n"
     "\n"
     "  --loop P...     starts a loop; each following picture (PNG, BMP, JPEG or QOI) is one cel\n"
     "  P@DX,DY         gives that cel an offset of DX, DY pixels (two whole numbers, e.g. walk1.png@0,-2)\n"
     "  --mirror K      adds a loop that shows loop K flipped left to right\n"
     "  --blend N       0 opaque, 1 alpha (the default), 2 additive\n"
     "  --smooth        filter cels drawn at another size\n"
     "\n"
     "Loops are numbered from 0 in the order given; walking sprites pick loops in the order\n"
     "EAST, WEST, SOUTH, NORTH, SOUTHEAST, SOUTHWEST, NORTHEAST, NORTHWEST.\n"},
    {"font", "font OUT.OVF (--ttf FILE.ttf --size PX | --grid FILE.png --cell WxH) [--blend N] [--smooth]",
     "build a bitmap font (NAME.OVF) from a TrueType font or a glyph grid",
     "Builds a bitmap font of 256 glyphs, one per code page 1252 character. The engine finds the font\n"
     "\"small\" as small.OVF, so name the output NAME.OVF.\n"
     "\n"
     "  --ttf FILE --size PX   render a TrueType or OpenType font at PX pixels (1 ... 1024)\n"
     "  --grid FILE --cell WxH cut a picture of 16 x 16 cells of W x H pixels; character C is in\n"
     "                         column C % 16, row C / 16\n"
     "  --blend N              0 opaque, 1 alpha, 2 additive\n"
     "  --smooth               filter glyphs drawn at another size\n"},
    {"pict", "pict OUT.OVP --image IMG [--control C] [--depth D] [--walk W] [--click K] [--hotspots NAMES.txt]",
     "build a backdrop picture (NAME.OVP) with its masks and hotspot names",
     "Builds a backdrop picture with its masks. SetBackdrop(\"room\") opens room.OVP, so name the\n"
     "output NAME.OVP.\n"
     "\n"
     "  --image IMG     the picture shown (PNG, BMP, JPEG or QOI)\n"
     "  --control C     zones for GetControl\n"
     "  --depth D       depth levels 1 ... 15 that hide sprites of a lower priority\n"
     "  --walk W        where sprites may walk (0: nowhere), for GetWalkability and WalkTo\n"
     "  --click K       hotspot numbers (0: none), for GetHotspot\n"
     "  --hotspots F    a text file whose line N names hotspot N\n"
     "\n"
     "Each mask is an 8-bit grey or indexed picture of exactly the image's size; the grey level or\n"
     "palette index of a pixel is the mask's value there.\n"},
    {"layers",
     "layers OUT.OVT TILESET.png TILE_W TILE_H MAP.csv|MAP.json [--name N] [--view NAME]\n"
     "       [--priority P] [--mode|--mode-x|--mode-y fixed|limit|clamp|repeat] [--scale S] [--delay D] [--smooth]\n"
     "   or: ovetool layers OUT.OVT TILED_MAP.tmj [options as above]",
     "build a tile-layer set (NAME.OVT) and its view from a tile set and a map",
     "Builds a tile-layer set. TileLayers.Load(\"hall.OVT\") and LayersetExists(\"hall\") find it as\n"
     "hall.OVT. The tile set is cut into TILE_W x TILE_H tiles, row by row, and written as the view\n"
     "NAME.OVV (default: the tile set's name) next to OUT.OVT. In the map, 0 is an empty cell and N is\n"
     "tile N - 1. A CSV map is one layer; a JSON map may hold several layers and the set's properties.\n"
     "\n"
     "  --name N        the layer's name        --priority P   drawing level 0 ... 16\n"
     "  --view NAME     the view's name         --scale S      size factor (> 0)\n"
     "  --mode M        both edge modes         --delay D      frames between animation steps\n"
     "  --mode-x M, --mode-y M  one axis        --smooth       filter tiles drawn at another size\n"
     "\n"
     "A map saved by the Tiled editor (JSON: .tmj or .json) is imported with its tile layers, tile sets\n"
     "(embedded or .tsj), flipped tiles, animated tiles and properties (into the set's properties).\n"},
    {"new", "new NAME", "make a folder holding a small game to start from",
     "Writes the folder NAME with settings.xml, a commented main.ovs (Init, the game loop in Run, Quit),\n"
     "a backdrop picture room.OVP, a walking hero hero.OVV and a font small.OVF. Run it with\n"
     "ove --game NAME. An existing folder is only used when it is empty.\n"},
    {"dump", "dump FILE", "describe a view, font, backdrop picture or tile-layer set file",
     "Describes a view (.OVV), font (.OVF), backdrop picture (.OVP) or tile-layer set (.OVT): its\n"
     "loops and cels, masks and hotspots, or layers and properties. The file's first four bytes\n"
     "decide what it is, not its name.\n"},
    {"convert", "convert IN OUT", "convert a picture (BMP, PNG, JPEG, QOI) to BMP, JPEG or QOI",
     "Reads a picture (BMP, PNG, JPEG or QOI) as the engine loads images, and writes it as BMP, JPEG\n"
     "or QOI, chosen by OUT's extension. PNG cannot be written.\n"},
    {"pack", "pack DIR OUT.DAT", "pack a folder into a game archive (GAME.DAT)",
     "Packs every file under DIR into a game archive. Name it GAME.DAT and put it beside the engine's\n"
     "working directory: the engine reads it after a DATA directory and the Library directory. Inside\n"
     "the archive the resources keep the names the engine looks up: NAME.OVS scripts, NAME.OVP\n"
     "pictures, NAME.OVV views, NAME.OVF fonts, NAME.OVT tile-layer sets, NAME.OVA or NAME.WAV sounds.\n"},
    {"web", "web GAME OUT [--zip FILE.zip] [--engine DIR]", "export a game as a web site",
     "Writes OUT: index.html, ove.js, ove.wasm, game.json and game.data, for any static web server.\n"
     "GAME is the folder given to ove --game. OUT must be new, empty or an earlier export.\n"
     "  --zip FILE.zip  also one ZIP of those files, ready to upload\n"
     "  --engine DIR    the web engine's folder (else $OVE_WEB_ENGINE, share/ove/web, <ovetool's folder>/web)\n"},
    {"list", "list ARCHIVE [--password P] [--game]", "list the entries of a ZIP file or game archive",
     "Lists the entries of a ZIP file or of a packed game archive (recognised by its header; --game\n"
     "reads one that does not start like one). --password reads the entries of an enciphered ZIP file.\n"},
    {"unpack", "unpack ARCHIVE DIR [--password P] [--game]", "extract a ZIP file or game archive",
     "Extracts every entry of a ZIP file or of a packed game archive into DIR (--game as for list).\n"
     "Entries whose names would leave DIR are refused.\n"},
    {"studio", "studio ROOM.OVP|PICTURE [--port N] [--open]", "edit a room's masks and hotspots in a browser",
     "Serves a room editor on 127.0.0.1 and prints its address: paint the walk, click, depth and\n"
     "control masks over the backdrop and try walking and hotspots with the engine's own code. A\n"
     "picture starts a new room, saved beside it as NAME.OVP.\n"
     "\n"
     "  --port N        listen on port N (0 ... 65535) instead of a free one\n"
     "  --open          also open the page in the default browser\n"},
};

static const SHelp* FindHelp(const std::string& name) {
    for (const SHelp& h : kHelp)
        if (name == h.name) return &h;
    return nullptr;
}

static void Usage(std::FILE* out) {
    std::fprintf(out,
                 "usage: ovetool COMMAND [ARGS...]\n"
                 "       ovetool help COMMAND   (or ovetool COMMAND --help) for one command's options\n\ncommands:\n");
    for (auto& [name, cmd] : ovetool::Registry()) {
        const SHelp* help = FindHelp(name);
        std::fprintf(out, "  %-8s %s\n", name.c_str(), help ? help->summary : "");
    }
    std::fprintf(out,
                 "\nThe engine finds resources by name and type: NAME.OVS scripts, NAME.OVP backdrop pictures,\n"
                 "NAME.OVV views, NAME.OVF fonts, NAME.OVT tile-layer sets, NAME.OVA or NAME.WAV sounds.\n");
}

static void PrintSynopsis(std::FILE* out, const char* command) {
    const SHelp* help = FindHelp(command);
    std::fprintf(out, "usage: ovetool %s\n", help ? help->synopsis : command);
}

// One command's help on standard output; false for a name that is no command.
static bool CommandHelp(const std::string& name) {
    if (ovetool::Registry().count(name) == 0) return false;
    PrintSynopsis(stdout, name.c_str());
    if (const SHelp* help = FindHelp(name)) std::printf("\n%s", help->text);
    return true;
}

int ovetool::UsageError(const char* command, const std::string& problem) {
    PrintSynopsis(stderr, command);
    if (!problem.empty()) std::fprintf(stderr, "%s\n", problem.c_str());
    return 2;
}

static bool IsHelpFlag(const char* arg) { return !std::strcmp(arg, "--help") || !std::strcmp(arg, "-h"); }

int main(int argc, char** argv) {
    if (argc < 2) {
        Usage(stderr);
        return 2;
    }
    const bool helpCommand = !std::strcmp(argv[1], "help");
    if (helpCommand || IsHelpFlag(argv[1])) {
        if (argc < 3 || !helpCommand) {
            Usage(stdout);
            return 0;
        }
        if (CommandHelp(argv[2])) return 0;
        std::fprintf(stderr, "ovetool: unknown command '%s'\n", argv[2]);
        Usage(stderr);
        return 2;
    }
    auto it = ovetool::Registry().find(argv[1]);
    if (it == ovetool::Registry().end()) {
        std::fprintf(stderr, "ovetool: unknown command '%s'\n", argv[1]);
        Usage(stderr);
        return 2;
    }
    // "--help" anywhere among a command's options asks for its help instead of running it.
    for (int i = 2; i < argc; ++i)
        if (IsHelpFlag(argv[i])) return CommandHelp(argv[1]) ? 0 : 2;
    ovetool::Args args(argv + 2, argv + argc);
    return it->second.run(args);
}
