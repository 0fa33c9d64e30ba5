// ovetool new: writes a small game that runs at once, as a starting point: settings, a main
// script with the game loop, a backdrop picture with a walk mask, a walking figure and a font.
// Every picture is drawn here, so the template needs no files besides the tool.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "Command.h"
#include "data/ViewFile.h"
#include "image/Bitmap.h"
#include "image/RunMask.h"
#include "io/DataBin.h"
#include "walk/BackdropPicture.h"

namespace {

using namespace ove;
namespace fs = std::filesystem;

constexpr u32 kWidth = 320, kHeight = 240;
constexpr u32 kHorizon = 150;  // the floor starts here; the hero can walk below it

int Fail(const std::string& message) {
    std::fprintf(stderr, "ovetool new: %s\n", message.c_str());
    return 1;
}

// A 32-bit picture, transparent, with pixels set as 0xAARRGGBB (stored B, G, R, A).
struct SCanvas {
    CBitmap bitmap;
    SCanvas(u32 w, u32 h) : bitmap(w, h, PixelFormat::Rgba8888) {
        for (u32 y = 0; y < h; ++y) std::fill_n(bitmap.TopRow(y), std::size_t(w) * 4, u8(0));
    }
    void Set(int x, int y, u32 argb) {
        if (x < 0 || y < 0 || u32(x) >= bitmap.Width() || u32(y) >= bitmap.Height()) return;
        u8* p = bitmap.TopRow(u32(y)) + std::size_t(x) * 4;
        p[0] = u8(argb);
        p[1] = u8(argb >> 8);
        p[2] = u8(argb >> 16);
        p[3] = u8(argb >> 24);
    }
    void Fill(int x0, int y0, int x1, int y1, u32 argb) {  // inclusive corners
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x) Set(x, y, argb);
    }
    void Disc(int cx, int cy, int r, u32 argb) {
        for (int y = -r; y <= r; ++y)
            for (int x = -r; x <= r; ++x)
                if (x * x + y * y <= r * r) Set(cx + x, cy + y, argb);
    }
};

u32 Mix(u32 a, u32 b, double t) {
    auto channel = [&](int shift) {
        const double v = double((a >> shift) & 0xFF) * (1 - t) + double((b >> shift) & 0xFF) * t;
        return u32(std::lround(v)) << shift;
    };
    return 0xFF000000u | channel(16) | channel(8) | channel(0);
}

// A sky fading to the horizon, a sun, far hills and a tiled floor; the floor is the walk area.
bool WriteRoom(const fs::path& path) {
    SCanvas c(kWidth, kHeight);
    for (u32 y = 0; y < kHorizon; ++y)
        c.Fill(0, int(y), kWidth - 1, int(y), Mix(0xFF3060B0u, 0xFFF0C890u, y / double(kHorizon)));
    c.Disc(250, 60, 18, 0xFFFFF2A0u);
    for (u32 x = 0; x < kWidth; ++x) {
        const int top = int(kHorizon) - 20 - int(14 * std::sin(x / 37.0) + 8 * std::sin(x / 13.0 + 1));
        c.Fill(int(x), top, int(x), kHorizon - 1, 0xFF507848u);
    }
    for (u32 y = kHorizon; y < kHeight; ++y)
        for (u32 x = 0; x < kWidth; ++x) {
            const bool dark = ((x / 20) + ((y - kHorizon) / 15)) % 2 != 0;
            c.Set(int(x), int(y), dark ? 0xFF8A6A48u : 0xFF9E7C56u);
        }
    auto image = std::make_unique<CBitmap>(&c.bitmap, PixelFormat::Rgb888);
    if (image->IsEmpty()) return false;

    // Walkable: the floor, less a margin so that the figure stays whole on the screen.
    std::vector<u8> walk(std::size_t(kWidth) * kHeight, 0);
    for (u32 y = kHorizon + 10; y < kHeight - 4; ++y)
        std::fill_n(walk.begin() + std::ptrdiff_t(y * kWidth + 8), kWidth - 16, u8(255));

    CBackdropPicture picture;
    picture.SetImage(std::move(image));
    picture.SetMask(CBackdropPicture::kWalk,
                    std::make_unique<CRunMask>(CRunMask::Encode(walk.data(), u32(walk.size()))));
    CFile file(path.c_str(), "wb");
    return file.IsOpen() && picture.Save(&file);
}

// A figure 14 x 30 in loops EAST, WEST (mirror of EAST), SOUTH and NORTH, two steps each.
bool WriteHero(const fs::path& path) {
    constexpr u32 kSkin = 0xFFF0C8A0u, kShirt = 0xFF3050C0u, kLegs = 0xFF303040u, kHair = 0xFF503020u;
    auto figure = [&](SCanvas& c, int facing, int step) {  // facing: 0 east, 2 south, 3 north
        c.Disc(7, 5, 4, kSkin);
        if (facing == 3) c.Disc(7, 5, 4, kHair);
        else c.Fill(3, 1, 11, 2, kHair);
        if (facing == 0) c.Set(9, 4, 0xFF000000u);
        if (facing == 2) {
            c.Set(5, 4, 0xFF000000u);
            c.Set(9, 4, 0xFF000000u);
        }
        c.Fill(3, 10, 10, 20, kShirt);
        const int swing = step ? 2 : -2;
        if (facing == 0) {
            c.Fill(5 + swing, 21, 6 + swing, 29, kLegs);
            c.Fill(7 - swing, 21, 8 - swing, 29, kLegs);
        } else {
            c.Fill(4, 21, 6, 29 - (step ? 2 : 0), kLegs);
            c.Fill(8, 21, 10, 29 - (step ? 0 : 2), kLegs);
        }
    };
    CViewWriter writer("VIEW", 32);
    const int loops[3] = {0, 2, 3};
    for (int i = 0; i < 3; ++i) {
        writer.AddLoop();
        for (int step = 0; step < 2; ++step) {
            SCanvas c(14, 30);
            figure(c, loops[i], step);
            if (!writer.AddCel(c.bitmap, 0, 0)) return false;
        }
        if (i == 0) writer.AddMirror(0);
    }
    CFile file(path.c_str(), "wb");
    return file.IsOpen() && writer.Write(&file);
}

// A 5 x 8 pixel font for the printable ASCII characters, one byte per column, bit 0 at the top.
constexpr u8 kGlyphs[95][5] = {
    {0x00, 0x00, 0x00, 0x00, 0x00}, {0x00, 0x00, 0x5F, 0x00, 0x00}, {0x00, 0x07, 0x00, 0x07, 0x00},
    {0x14, 0x7F, 0x14, 0x7F, 0x14}, {0x24, 0x2A, 0x7F, 0x2A, 0x12}, {0x23, 0x13, 0x08, 0x64, 0x62},
    {0x36, 0x49, 0x56, 0x20, 0x50}, {0x00, 0x08, 0x07, 0x03, 0x00}, {0x00, 0x1C, 0x22, 0x41, 0x00},
    {0x00, 0x41, 0x22, 0x1C, 0x00}, {0x2A, 0x1C, 0x7F, 0x1C, 0x2A}, {0x08, 0x08, 0x3E, 0x08, 0x08},
    {0x00, 0x80, 0x70, 0x30, 0x00}, {0x08, 0x08, 0x08, 0x08, 0x08}, {0x00, 0x00, 0x60, 0x60, 0x00},
    {0x20, 0x10, 0x08, 0x04, 0x02}, {0x3E, 0x51, 0x49, 0x45, 0x3E}, {0x00, 0x42, 0x7F, 0x40, 0x00},
    {0x72, 0x49, 0x49, 0x49, 0x46}, {0x21, 0x41, 0x49, 0x4D, 0x33}, {0x18, 0x14, 0x12, 0x7F, 0x10},
    {0x27, 0x45, 0x45, 0x45, 0x39}, {0x3C, 0x4A, 0x49, 0x49, 0x31}, {0x41, 0x21, 0x11, 0x09, 0x07},
    {0x36, 0x49, 0x49, 0x49, 0x36}, {0x46, 0x49, 0x49, 0x29, 0x1E}, {0x00, 0x00, 0x14, 0x00, 0x00},
    {0x00, 0x40, 0x34, 0x00, 0x00}, {0x00, 0x08, 0x14, 0x22, 0x41}, {0x14, 0x14, 0x14, 0x14, 0x14},
    {0x00, 0x41, 0x22, 0x14, 0x08}, {0x02, 0x01, 0x59, 0x09, 0x06}, {0x3E, 0x41, 0x5D, 0x59, 0x4E},
    {0x7C, 0x12, 0x11, 0x12, 0x7C}, {0x7F, 0x49, 0x49, 0x49, 0x36}, {0x3E, 0x41, 0x41, 0x41, 0x22},
    {0x7F, 0x41, 0x41, 0x41, 0x3E}, {0x7F, 0x49, 0x49, 0x49, 0x41}, {0x7F, 0x09, 0x09, 0x09, 0x01},
    {0x3E, 0x41, 0x41, 0x51, 0x73}, {0x7F, 0x08, 0x08, 0x08, 0x7F}, {0x00, 0x41, 0x7F, 0x41, 0x00},
    {0x20, 0x40, 0x41, 0x3F, 0x01}, {0x7F, 0x08, 0x14, 0x22, 0x41}, {0x7F, 0x40, 0x40, 0x40, 0x40},
    {0x7F, 0x02, 0x1C, 0x02, 0x7F}, {0x7F, 0x04, 0x08, 0x10, 0x7F}, {0x3E, 0x41, 0x41, 0x41, 0x3E},
    {0x7F, 0x09, 0x09, 0x09, 0x06}, {0x3E, 0x41, 0x51, 0x21, 0x5E}, {0x7F, 0x09, 0x19, 0x29, 0x46},
    {0x26, 0x49, 0x49, 0x49, 0x32}, {0x03, 0x01, 0x7F, 0x01, 0x03}, {0x3F, 0x40, 0x40, 0x40, 0x3F},
    {0x1F, 0x20, 0x40, 0x20, 0x1F}, {0x3F, 0x40, 0x38, 0x40, 0x3F}, {0x63, 0x14, 0x08, 0x14, 0x63},
    {0x03, 0x04, 0x78, 0x04, 0x03}, {0x61, 0x59, 0x49, 0x4D, 0x43}, {0x00, 0x7F, 0x41, 0x41, 0x41},
    {0x02, 0x04, 0x08, 0x10, 0x20}, {0x00, 0x41, 0x41, 0x41, 0x7F}, {0x04, 0x02, 0x01, 0x02, 0x04},
    {0x40, 0x40, 0x40, 0x40, 0x40}, {0x00, 0x03, 0x07, 0x08, 0x00}, {0x20, 0x54, 0x54, 0x78, 0x40},
    {0x7F, 0x28, 0x44, 0x44, 0x38}, {0x38, 0x44, 0x44, 0x44, 0x28}, {0x38, 0x44, 0x44, 0x28, 0x7F},
    {0x38, 0x54, 0x54, 0x54, 0x18}, {0x00, 0x08, 0x7E, 0x09, 0x02}, {0x18, 0xA4, 0xA4, 0x9C, 0x78},
    {0x7F, 0x08, 0x04, 0x04, 0x78}, {0x00, 0x44, 0x7D, 0x40, 0x00}, {0x20, 0x40, 0x40, 0x3D, 0x00},
    {0x7F, 0x10, 0x28, 0x44, 0x00}, {0x00, 0x41, 0x7F, 0x40, 0x00}, {0x7C, 0x04, 0x78, 0x04, 0x78},
    {0x7C, 0x08, 0x04, 0x04, 0x78}, {0x38, 0x44, 0x44, 0x44, 0x38}, {0xFC, 0x18, 0x24, 0x24, 0x18},
    {0x18, 0x24, 0x24, 0x18, 0xFC}, {0x7C, 0x08, 0x04, 0x04, 0x08}, {0x48, 0x54, 0x54, 0x54, 0x24},
    {0x04, 0x04, 0x3F, 0x44, 0x24}, {0x3C, 0x40, 0x40, 0x20, 0x7C}, {0x1C, 0x20, 0x40, 0x20, 0x1C},
    {0x3C, 0x40, 0x30, 0x40, 0x3C}, {0x44, 0x28, 0x10, 0x28, 0x44}, {0x4C, 0x90, 0x90, 0x90, 0x7C},
    {0x44, 0x64, 0x54, 0x4C, 0x44}, {0x00, 0x08, 0x36, 0x41, 0x00}, {0x00, 0x00, 0x77, 0x00, 0x00},
    {0x00, 0x41, 0x36, 0x08, 0x00}, {0x02, 0x01, 0x02, 0x04, 0x02},
};

// Glyph cells are 6 x 9: five columns and a gap, eight rows and a gap. Codes without a glyph
// are empty cels of no width, which text skips.
bool WriteFont(const fs::path& path) {
    constexpr u32 kCellW = 6, kCellH = 9;
    CViewWriter writer("FONT", 8);
    writer.AddLoop();
    for (u32 code = 0; code < 256; ++code) {
        if (code < 0x20 || code > 0x7E) {
            writer.AddEmptyCel(0, kCellH, 0, 0);
            continue;
        }
        SCanvas c(kCellW, kCellH);
        const u8* glyph = kGlyphs[code - 0x20];
        for (int x = 0; x < 5; ++x)
            for (int y = 0; y < 8; ++y)
                if (glyph[x] >> y & 1) c.Set(x, y, 0xFFFFFFFFu);
        // Transparent pixels are white too, so that filtering never darkens an edge.
        for (u32 y = 0; y < kCellH; ++y)
            for (u32 x = 0; x < kCellW; ++x) {
                u8* p = c.bitmap.TopRow(y) + x * 4;
                p[0] = p[1] = p[2] = 255;
            }
        if (!writer.AddCel(c.bitmap, 0, 0)) return false;
    }
    CFile file(path.c_str(), "wb");
    return file.IsOpen() && writer.Write(&file);
}

// Escapes the characters that would end a JavaScript string or XML attribute.
std::string Escape(const std::string& s, bool xml) {
    std::string out;
    for (char ch : s) {
        if (xml && ch == '&') out += "&amp;";
        else if (xml && ch == '<') out += "&lt;";
        else if (xml && ch == '"') out += "&quot;";
        else if (!xml && (ch == '\\' || ch == '"')) out += std::string("\\") + ch;
        else if (u8(ch) < 0x20) out += ' ';
        else out += ch;
    }
    return out;
}

std::string SettingsText(const std::string& title) {
    const std::string t = Escape(title, true);
    return "<?xml version=\"1.0\"?>\n"
           "<settings>\n"
           "    <!-- The game draws at 320 x 240; the window is the largest whole multiple that fits. -->\n"
           "    <game width=\"320\" height=\"240\" name=\"" +
           t +
           "\"/>\n"
           "    <window width=\"auto\" height=\"auto\" title=\"" +
           t +
           "\"/>\n"
           "    <!-- main.ovs starts the game; small.OVF is the font text is drawn with. -->\n"
           "    <default script=\"main\" font=\"small\" fullscreen=\"false\"/>\n"
           "</settings>\n";
}

std::string MainScript(const std::string& title) {
    const std::string t = Escape(title, false);
    return "// " + t +
           ": made with \"ovetool new\". A hero walks where you click; Escape leaves.\n"
           "//\n"
           "// The engine calls Init() once before the window opens, then Run(), which holds the game loop.\n"
           "// When the player closes the window the engine calls Quit(); the loop sees `running` turn false\n"
           "// and Run() returns, which ends the game.\n"
           "var TITLE = \"" +
           t +
           "\";\n"
           "var running = true;\n"
           "var hero = null;\n"
           "\n"
           "function Init() {\n"
           "    SetBackdrop(\"room\");        // room.OVP: the picture and its walk mask\n"
           "    hero = new Sprite();\n"
           "    hero.view = \"hero\";         // hero.OVV: loops EAST, WEST, SOUTH, NORTH\n"
           "    hero.SetPlacement(BACKDROP);\n"
           "    hero.x = 160;\n"
           "    hero.y = 200;\n"
           "    hero.loop = -1;             // the direction of travel picks the loop\n"
           "    hero.step = 2;              // pixels a frame\n"
           "    hero.delay = 6;             // frames between cels while walking\n"
           "    hero.cycling = false;\n"
           "}\n"
           "\n"
           "function Run() {\n"
           "    DrawTextAt(4, 4, TITLE + \" - click the floor to walk\");\n"
           "    while (running) {\n"
           "        Mark();                 // the frame starts now\n"
           "        ReadKeys();\n"
           "        Animate();              // handle input, move things\n"
           "        Display();              // draw the frame\n"
           "        Wait(1 / 60);           // until 1/60 s after Mark(): 60 frames a second\n"
           "    }\n"
           "}\n"
           "\n"
           "function Quit() {\n"
           "    running = false;\n"
           "}\n"
           "\n"
           "function ReadKeys() {\n"
           "    for (var key = ReadKey(); key !== 0; key = ReadKey())\n"
           "        if (key === ESCAPE) running = false;\n"
           "}\n"
           "\n"
           "// The engine calls this on every mouse move and button change, in screen pixels.\n"
           "function onMouseEvent(x, y, buttons) {\n"
           "    if (buttons & 1) {\n"
           "        var p = ScreenToBackdrop(x, y);\n"
           "        hero.WalkTo(p.x, p.y, function () { hero.cel = 0; });\n"
           "    }\n"
           "}\n";
}

bool WriteText(const fs::path& path, const std::string& text) {
    CFile file(path.c_str(), "wb");
    return file.IsOpen() && file.Write(text.data(), u32(text.size())) == text.size();
}

int RunNew(const ovetool::Args& args) {
    std::string name;
    for (const std::string& a : args) {
        if (a.rfind("--", 0) == 0) return Fail("unknown option " + a);
        if (!name.empty()) return Fail("unexpected argument " + a);
        name = a;
    }
    if (name.empty()) return Fail("expected the name of the game folder to make");
    const fs::path dir(name);
    // The game is named after its folder, also for "." or "games/castle/".
    fs::path named = fs::absolute(dir).lexically_normal();
    if (named.filename().empty()) named = named.parent_path();
    std::string title = named.filename().string();
    if (title.empty()) title = "New game";

    std::error_code ec;
    if (fs::exists(dir, ec)) {
        if (!fs::is_directory(dir, ec)) return Fail(name + " exists and is not a folder");
        if (!fs::is_empty(dir, ec) || ec) return Fail(name + " is not empty; choose a new name");
    } else if (!fs::create_directories(dir, ec) || ec) {
        return Fail("cannot make " + name + ": " + ec.message());
    }

    struct SPart {
        const char* file;
        bool ok;
    };
    const SPart parts[] = {
        {"settings.xml", WriteText(dir / "settings.xml", SettingsText(title))},
        {"main.ovs", WriteText(dir / "main.ovs", MainScript(title))},
        {"room.OVP", WriteRoom(dir / "room.OVP")},
        {"hero.OVV", WriteHero(dir / "hero.OVV")},
        {"small.OVF", WriteFont(dir / "small.OVF")},
    };
    for (const SPart& p : parts)
        if (!p.ok) return Fail("cannot write " + (dir / p.file).string());
    const std::string shown = name.find_first_of(" \t'\"&;|()<>$`\\") == std::string::npos ? name : "'" + name + "'";
    std::printf("%s: new game \"%s\"; run it with: ove --game %s\n", name.c_str(), title.c_str(), shown.c_str());
    return 0;
}

}  // namespace

OVE_TOOL_COMMAND("new", RunNew);
