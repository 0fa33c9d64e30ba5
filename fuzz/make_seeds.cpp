// Writes a few small valid files of every format into DIR/<target>/, mostly with the engine's own
// writers, as starting points for the fuzz targets.
#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "data/PackedArchive.h"
#include "data/TaggedValues.h"
#include "data/ViewFile.h"
#include "data/ZIPCipher.h"
#include "data/ZIPFile.h"
#include "image/Bitmap.h"
#include "image/ImageLoad.h"
#include "image/RunMask.h"
#include "tiles/TileLayerSet.h"
#include "walk/BackdropPicture.h"

using namespace ove;
namespace fs = std::filesystem;
using Bytes = std::vector<u8>;

static fs::path g_root;
static int g_failures = 0;

static void Save(const std::string& target, const std::string& name, const Bytes& bytes) {
    fs::create_directories(g_root / target);
    std::FILE* f = std::fopen((g_root / target / name).c_str(), "wb");
    if (!f || (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size())) {
        std::fprintf(stderr, "make_seeds: cannot write %s/%s\n", target.c_str(), name.c_str());
        ++g_failures;
    }
    if (f) std::fclose(f);
}
static void Save(const std::string& target, const std::string& name, const std::string& text) {
    Save(target, name, Bytes(text.begin(), text.end()));
}

// A w x h picture with a gradient and a transparent corner.
static std::unique_ptr<CBitmap> Picture(u32 w, u32 h, PixelFormat format) {
    CBitmap rgba(w, h, PixelFormat::Rgba8888);
    for (u32 y = 0; y < h; ++y) {
        u8* row = rgba.TopRow(y);
        for (u32 x = 0; x < w; ++x) {
            u8* p = row + x * 4;
            p[0] = u8(x * 255 / (w ? w : 1));
            p[1] = u8(y * 255 / (h ? h : 1));
            p[2] = u8((x ^ y) * 16);
            p[3] = (x == 0 && y == 0) ? 0 : (x + y) % 3 ? 255 : 128;
        }
    }
    return std::make_unique<CBitmap>(&rgba, format);
}

static Bytes Encoded(const CBitmapInterface& bitmap, ImageFileFormat format) {
    CBuffer out;
    std::string error;
    if (!EncodeImage(bitmap, format, &out, &error)) {
        std::fprintf(stderr, "make_seeds: encoding format %d as %d failed: %s\n", int(bitmap.Format()), int(format),
                     error.c_str());
        ++g_failures;
    }
    return out.Bytes();
}

static Bytes Deflate(const Bytes& plain, int windowBits) {
    z_stream z{};
    deflateInit2(&z, 9, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY);
    Bytes out(deflateBound(&z, plain.size()) + 16);
    z.next_in = const_cast<u8*>(plain.data());
    z.avail_in = static_cast<uInt>(plain.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

static Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

// ---- PNG, built by hand: the engine reads PNG but does not write it.
static void PutBE(Bytes& b, u32 v) {
    for (int s = 24; s >= 0; s -= 8) b.push_back(u8(v >> s));
}
static void Chunk(Bytes& png, const char* type, const Bytes& body) {
    PutBE(png, u32(body.size()));
    Bytes crcPart(type, type + 4);
    crcPart.insert(crcPart.end(), body.begin(), body.end());
    png.insert(png.end(), crcPart.begin(), crcPart.end());
    PutBE(png, Crc32(crcPart.data(), crcPart.size()));
}
static Bytes Png(u32 w, u32 h, u8 depth, u8 colourType, u8 interlace, const Bytes& palette, const Bytes& trns) {
    static const u8 kChannels[7] = {1, 0, 3, 1, 2, 0, 4};
    Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    Bytes ihdr;
    PutBE(ihdr, w);
    PutBE(ihdr, h);
    ihdr.insert(ihdr.end(), {depth, colourType, 0, 0, interlace});
    Chunk(png, "IHDR", ihdr);
    if (!palette.empty()) Chunk(png, "PLTE", palette);
    if (!trns.empty()) Chunk(png, "tRNS", trns);
    // Raw rows with a mix of filters; for interlaced pictures the passes are laid out in turn.
    Bytes raw;
    auto rows = [&](u32 pw, u32 ph) {
        if (!pw || !ph) return;
        u32 rowBytes = (pw * kChannels[colourType] * depth + 7) / 8;
        for (u32 y = 0; y < ph; ++y) {
            raw.push_back(u8(y % 5));
            for (u32 i = 0; i < rowBytes; ++i) raw.push_back(u8(i * 7 + y * 13));
        }
    };
    if (interlace) {
        static const int sx[7] = {0, 4, 0, 2, 0, 1, 0}, sy[7] = {0, 0, 4, 0, 2, 0, 1};
        static const int dx[7] = {8, 8, 4, 4, 2, 2, 1}, dy[7] = {8, 8, 8, 4, 4, 2, 2};
        for (int p = 0; p < 7; ++p) rows((w + dx[p] - 1 - sx[p]) / dx[p], (h + dy[p] - 1 - sy[p]) / dy[p]);
    } else {
        rows(w, h);
    }
    Bytes z = Deflate(raw, 15);
    Chunk(png, "IDAT", Bytes(z.begin(), z.begin() + z.size() / 2));  // split over two chunks
    Chunk(png, "IDAT", Bytes(z.begin() + z.size() / 2, z.end()));
    Chunk(png, "IEND", {});
    return png;
}

static void Images() {
    Bytes pal;
    for (int i = 0; i < 16; ++i) pal.insert(pal.end(), {u8(i * 16), u8(255 - i * 16), u8(i * 5)});
    Save("png", "rgb8.png", Png(7, 5, 8, 2, 0, {}, {}));
    Save("png", "rgba8-interlaced.png", Png(9, 9, 8, 6, 1, {}, {}));
    Save("png", "palette4.png", Png(5, 3, 4, 3, 0, pal, {0, 128}));
    Save("png", "grey1.png", Png(11, 2, 1, 0, 0, {}, {}));
    Save("png", "greyalpha16.png", Png(3, 3, 16, 4, 0, {}, {}));

    const PixelFormat formats[] = {PixelFormat::Rgba8888, PixelFormat::Rgb888, PixelFormat::Indexed8,
                                   PixelFormat::Rgb565, PixelFormat::Grey8};
    int n = 0;
    for (PixelFormat f : formats) {
        auto pic = Picture(6 + n, 4 + n, f);
        if (pic->IsEmpty()) continue;  // a conversion the bitmap does not offer
        std::string base = std::to_string(int(f));
        Save("bmp", "format" + base + ".bmp", Encoded(*pic, ImageFileFormat::BMP));
        if (f == PixelFormat::Rgba8888 || f == PixelFormat::Rgb888)
            Save("qoi", "format" + base + ".qoi", Encoded(*pic, ImageFileFormat::QOI));
        if (f == PixelFormat::Rgb888 || f == PixelFormat::Grey8)
            Save("jpg", "format" + base + ".jpg", Encoded(*pic, ImageFileFormat::JPEG));
        ++n;
    }
}

static void Archives() {
    Bytes script = Text("function Init() { Alert('hello'); }\nfunction Run() {}\n");
    Bytes settings = Text("<settings><window width=\"320\" height=\"240\"/></settings>\n");
    auto write = [&](u32 signature, const std::string& password) {
        CBuffer out;
        CZIPWriter zip(&out, signature, password);
        Bytes packed = Deflate(script, -15);
        zip.AddEntry("main.ovs", 8, packed.data(), u32(packed.size()), Crc32(script.data(), script.size()),
                     u32(script.size()));
        zip.AddEntry("settings.xml", 0, settings.data(), u32(settings.size()), Crc32(settings.data(), settings.size()),
                     u32(settings.size()));
        zip.AddEntry("Room\\Hall.ovs", 0, nullptr, 0, 0, 0);
        zip.Finish();
        return out.Bytes();
    };
    Save("zip", "plain.zip", write(kZIPLocalSignature, {}));
    Save("zip", "encrypted.zip", write(kZIPLocalSignature, "secret"));
    Save("zip_cipher", "game.dat", write(PackedArchiveSignature(), PackedArchivePassword()));
    Save("zip_cipher", "unencrypted.dat", write(PackedArchiveSignature(), {}));

    Bytes repeat;
    for (int i = 0; i < 400; ++i) repeat.push_back(u8("abcabcabd"[i % 9]));
    Bytes mixed(script);
    mixed.insert(mixed.end(), repeat.begin(), repeat.end());
    for (const char* target : {"inflate", "inflate64"}) {
        Save(target, "text.raw", Deflate(script, -15));
        Save(target, "repeats.raw", Deflate(repeat, -15));
        Save(target, "mixed.raw", Deflate(mixed, -15));
        Save(target, "stored.raw", Bytes{0x01, 0x03, 0x00, 0xFC, 0xFF, 'a', 'b', 'c'});
    }
}

static void Views() {
    for (u32 bits : {32u, 24u, 8u}) {
        CViewWriter view("VIEW", bits);
        view.AddLoop();
        auto a = Picture(5, 4, PixelFormat::Rgba8888), b = Picture(3, 7, PixelFormat::Rgba8888);
        view.AddCel(*a, 2, 3);
        view.AddCel(*b, -1, 0);
        view.AddLoop();
        view.AddEmptyCel(2, 2, 0, 0);
        view.AddMirror(0);
        CBuffer out;
        view.Write(&out);
        Save("view", "view" + std::to_string(bits) + ".view", out.Bytes());
    }
    for (u32 bits : {32u, 8u}) {
        CViewWriter font("FONT", bits);
        font.AddLoop();
        for (int c = 0; c < 4; ++c) {
            auto glyph = Picture(3 + c, 6, PixelFormat::Rgba8888);
            font.AddCel(*glyph, 0, -6);
        }
        CBuffer out;
        font.Write(&out);
        Save("font", "font" + std::to_string(bits) + ".font", out.Bytes());
    }
}

static void Backdrops() {
    const u32 w = 12, h = 8;
    std::vector<u8> values(w * h);
    for (u32 i = 0; i < values.size(); ++i) values[i] = u8((i / 5) % 3);
    CRunMask mask = CRunMask::Encode(values.data(), u32(values.size()));
    CBuffer maskOut;
    mask.Write(&maskOut);
    Save("runmask", "mask.bin", maskOut.Bytes());
    CRunMask empty = CRunMask::Encode(nullptr, 0);
    CBuffer emptyOut;
    empty.Write(&emptyOut);
    Save("runmask", "empty.bin", emptyOut.Bytes());

    for (PixelFormat f : {PixelFormat::Rgbx8888, PixelFormat::Rgb888, PixelFormat::Rgb565}) {
        CBackdropPicture picture;
        picture.SetImage(Picture(w, h, f));
        picture.SetMask(CBackdropPicture::kWalk, std::make_unique<CRunMask>(mask));
        picture.SetMask(CBackdropPicture::kDepth, std::make_unique<CRunMask>(mask));
        if (f == PixelFormat::Rgbx8888) {
            picture.SetMask(CBackdropPicture::kClick, std::make_unique<CRunMask>(mask));
            picture.SetMask(CBackdropPicture::kControl, std::make_unique<CRunMask>(mask));
        }
        picture.SetHotspotName(1, "door");
        picture.SetHotspotName(2, "window");
        CBuffer out;
        if (!picture.Save(&out)) {
            std::fprintf(stderr, "make_seeds: backdrop format %d not saved\n", int(f));
            continue;
        }
        Save("pict", "backdrop" + std::to_string(int(f)) + ".pict", out.Bytes());
    }
}

static void Layers() {
    SLayerFile file;
    SLayerRecord a;
    a.columns = 3;
    a.rows = 2;
    a.name = "floor";
    a.viewName = "tiles";
    a.words = {
        kTileWordEmpty, kTileWordStatic | (1u << 2), kTileWordAnimated | (2u << 17), kTileWordSkip, kTileWordStatic,
        kTileWordEmpty};
    SLayerRecord b;
    b.columns = 1;
    b.rows = 1;
    b.priority = -3;
    b.flags = 1;
    b.delay = 4;
    b.scale = 0.5f;
    b.name = "top";
    b.words = {kTileWordStatic};
    file.layers = {a, b};
    CBuffer one;
    WriteLayerFile(one, file);
    Save("lyrs", "two.lyrs", one.Bytes());
    file.properties = "{\"music\":\"hall\",\"n\":[1,2]}";
    CBuffer two;
    WriteLayerFile(two, file);
    Save("lyrs", "props.lyrs", two.Bytes());
}

static void PutLE(Bytes& b, u32 v, int n) {
    for (int i = 0; i < n; ++i) b.push_back(u8(v >> (8 * i)));
}

// RIFF WAVE: a format chunk, an ignored chunk, then the samples.
static Bytes Wave(u16 format, u16 channels, u32 rate, u16 bits, u32 frames, bool extraChunk) {
    Bytes body = Text("WAVE");
    body.insert(body.end(), {'f', 'm', 't', ' '});
    PutLE(body, 16, 4);
    u16 align = u16(channels * ((bits + 7) / 8));
    PutLE(body, format, 2);
    PutLE(body, channels, 2);
    PutLE(body, rate, 4);
    PutLE(body, rate * align, 4);
    PutLE(body, align, 2);
    PutLE(body, bits, 2);
    if (extraChunk) {
        body.insert(body.end(), {'L', 'I', 'S', 'T'});
        PutLE(body, 3, 4);
        body.insert(body.end(), {'a', 'b', 'c', 0});  // odd size: padded
    }
    body.insert(body.end(), {'d', 'a', 't', 'a'});
    PutLE(body, frames * align, 4);
    for (u32 i = 0; i < frames * align; ++i) body.push_back(u8(i * 37));
    Bytes riff = Text("RIFF");
    PutLE(riff, u32(body.size()), 4);
    riff.insert(riff.end(), body.begin(), body.end());
    return riff;
}

static Bytes Midi() {
    Bytes m = Text("MThd");
    PutBE(m, 6);
    m.insert(m.end(), {0, 0, 0, 1, 0, 96});
    Bytes track = {0x00, 0x90, 60, 100, 0x60, 0x80, 60, 0, 0x00, 0xFF, 0x2F, 0x00};
    m.insert(m.end(), {'M', 'T', 'r', 'k'});
    PutBE(m, u32(track.size()));
    m.insert(m.end(), track.begin(), track.end());
    return m;
}

static void Texts() {
    const std::string doc =
        "<?xml version=\"1.0\"?>\n<!-- game settings -->\n<settings>\n"
        "  <window width=\"auto\" height=\"480\" fullscreen=\"no\"/>\n"
        "  <game width=\"640\" height=\"480\" flexible=\"yes\"/>\n"
        "  <title>The &amp; &lt;Hall&gt; &quot;of&quot; &apos;Doors&apos;</title>\n"
        "  <script name=\"main\"/><font name=\"default\"/><sound soundfont=\"gm.sf2\"/>\n"
        "  <notes><![CDATA[raw <text> here]]></notes>\n</settings>\n";
    for (char flags : {'\0', '\3', '\7'})
        Save("xml", std::string("doc") + char('0' + flags) + ".xml", std::string(1, flags) + doc);
    Save("xml", "nested.xml", std::string(1, '\1') + "<a x='1' y=\"2\"><b><c>t</c><c/></b>tail</a>");
    Save("settings", "settings.xml", doc);
    Save("settings", "small.xml", "<settings><window width=\"800\" height=\"600\"/><title>T</title></settings>");

    Save("tbl", "words.tbl", "hello = bonjour\nthe ~ le\n^Mr ~ Monsieur\n  colour = color  \ncat=\n");
    Save("tbl", "modes.tbl", "a^b\r\nab~ba\nx=y\n\n# no separator here\n=empty pattern\n");

    CBuffer tagged;
    WriteTaggedInt(tagged, -5);
    WriteTaggedDouble(tagged, 2.5);
    const u16 units[] = {'h', 'i', 0x20AC, 0xD83D, 0xDE00};
    WriteTaggedString(tagged, units, 5);
    WriteTaggedBinary(tagged, "\0\1\2\3", 4);
    WriteTaggedNull(tagged);
    WriteTaggedUndefined(tagged);
    Save("tagged", "all.bin", tagged.Bytes());

    Save("wave", "pcm16.wav", Wave(1, 2, 22050, 16, 40, false));
    Save("wave", "pcm8-list.wav", Wave(1, 1, 11025, 8, 33, true));
    Save("wave", "adpcm.wav", Wave(2, 1, 8000, 4, 64, false));
    Save("wave", "song.mid", Midi());
    Save("wave", "other.ogg", Text("OggS\0\2rest of a stream"));
}

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seeds DIR\n");
        return 2;
    }
    g_root = argv[1];
    Images();
    Archives();
    Views();
    Backdrops();
    Layers();
    Texts();
    return g_failures ? 1 : 0;
}
