// Tile views for the tile-layer tests: every cel is one solid colour, so a pixel tells which
// tile (loop, cel) was drawn or read.
#pragma once
#include <gtest/gtest.h>
#include <png.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "io/DataBin.h"
#include "io/FileFolder.h"
#include "data/ResourceCache.h"
#include "data/View.h"
#include "image/Bitmap.h"
#include "support/SceneTestUtil.h"
#include "support/TestSupport.h"
#include "tiles/TileLayerSet.h"

namespace tilestest {

// Colour of cel c of loop l: distinct, opaque.
inline std::uint32_t CelColour(int loop, int cel) {
    return 0xFF000000u | std::uint32_t(0x20 + loop * 0x40) << 16 | std::uint32_t(0x10 + cel * 0x30) << 8 | 0x80u;
}

// A VIEW file with loops[i] cels in loop i, each w x h (sizes[i] overrides per loop when given).
inline std::vector<std::uint8_t> ViewBytes(const std::vector<int>& loops, std::uint32_t w, std::uint32_t h,
                                           std::uint32_t oddLoop = ~0u, std::uint32_t oddWidth = 0) {
    ove::CViewWriter writer("VIEW", 32);
    for (std::size_t l = 0; l < loops.size(); ++l) {
        writer.AddLoop();
        for (int c = 0; c < loops[l]; ++c) {
            const std::uint32_t cw = l == oddLoop ? oddWidth : w;
            ove::CBitmap cel(cw, h, 32);
            scenetest::FillBitmap(cel, CelColour(int(l), c));
            writer.AddCel(cel, 0, 0);
        }
    }
    ove::CBuffer buffer;
    writer.Write(&buffer);
    return buffer.Bytes();
}

inline ove::CView* NewView(const std::vector<std::uint8_t>& bytes, const char* name = "tiles",
                           ove::CRenderer* renderer = nullptr) {
    ove::CBuffer buffer(bytes);
    auto* view = new ove::CView(name);
    view->Load(&buffer, renderer);
    return view;
}

// A layer's settings in one line, to compare them all at once.
inline std::string Describe(const ove::CTileLayer& l) {
    std::ostringstream s;
    s << l.name << " " << l.Columns() << "x" << l.Rows() << " cel " << l.CelWidth() << "x" << l.CelHeight()
      << " modes " << l.modeX << "/" << l.modeY << " priority " << l.priority << " visible " << int(l.visible)
      << " delay " << l.delay << " scale " << l.Scale() << " tiles " << l.PresentCount();
    return s.str();
}

// "loop/base/current" of each tile, '*' after animated ones, "-" for no tile; space-separated.
inline std::string Tiles(const ove::CTileLayer& l, std::initializer_list<std::pair<int, int>> cells) {
    std::string out;
    for (auto [c, r] : cells) {
        const ove::STile* t = l.GetTile(c, r);
        out += out.empty() ? "" : " ";
        out += t ? std::to_string(t->loop) + "/" + std::to_string(t->base) + "/" + std::to_string(t->current) +
                       (t->animated ? "*" : "")
                 : "-";
    }
    return out;
}

// A tile-set picture for the tool: opaque RGB whose colours come from a function.
inline bool WriteOpaquePng(const std::filesystem::path& path, int w, int h,
                           const std::function<std::uint32_t(int x, int y)>& colourAt) {
    std::vector<std::uint8_t> rgba(std::size_t(w) * h * 4);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const std::uint32_t c = colourAt(x, y);
            std::uint8_t* p = &rgba[std::size_t(y * w + x) * 4];
            p[0] = std::uint8_t(c >> 16);
            p[1] = std::uint8_t(c >> 8);
            p[2] = std::uint8_t(c);
            p[3] = 255;
        }
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = std::uint32_t(w);
    image.height = std::uint32_t(h);
    image.format = PNG_FORMAT_RGBA;
    return png_image_write_to_file(&image, path.c_str(), 0, rgba.data(), 0, nullptr) != 0;
}

// ovetool run in a temporary folder, and the layer set it writes read back with the engine's loader.
class CToolFixture : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::filesystem::exists(kTool)) GTEST_SKIP() << "ovetool not built";
    }

    // Runs the tool in the folder; what it prints goes to `out`.
    int Tool(const std::string& args) {
        const auto log = dir / "tool.log";
        const int rc = ovetest::Run("cd '" + dir.path().string() + "' && '" + kTool + "' " + args + " > '" +
                                    log.string() + "' 2>&1");
        const auto bytes = ovetest::ReadFileBytes(log);
        out.assign(bytes.begin(), bytes.end());
        return rc;
    }

    // `ovetool layers world.OVT <args>`, then the file loaded; null (and a failure) when either fails.
    ove::CTileLayerSet* Import(const std::string& args) {
        if (Tool("layers world.OVT " + args) != 0) {
            ADD_FAILURE() << out;
            return nullptr;
        }
        folder.Add(new ove::CDirectory(dir.path().string()));
        cache = std::make_unique<ove::CResourceCache>(nullptr, nullptr, &folder);
        set = std::make_unique<ove::CTileLayerSet>(cache.get());
        ove::CFile file((dir / "world.OVT").c_str(), "rb");
        std::string error;
        if (!set->Load(file, props, error)) {
            ADD_FAILURE() << error;
            return nullptr;
        }
        return set.get();
    }

    const std::string kTool = OVE_BUILD_DIR "/ovetool";
    ovetest::TempDir dir;
    ove::CCompoundFolder folder;
    std::unique_ptr<ove::CResourceCache> cache;
    std::unique_ptr<ove::CTileLayerSet> set;
    std::optional<std::string> props;
    std::string out;
};

}  // namespace tilestest
