// The asset tool run in a temporary folder, the PNG files it takes, and the tile-layer import.
#pragma once
#include <gtest/gtest.h>
#include <png.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "io/FileFolder.h"
#include "resources/ResourceCache.h"
#include "support/TestSupport.h"
#include "tiles/TileLayerSet.h"
#include "tiles/TilesTestUtil.h"

namespace tilestest {

// A PNG written by libpng; `format` is one of libpng's PNG_FORMAT_* values.
inline bool WritePng(const std::filesystem::path& path, std::uint32_t w, std::uint32_t h, png_uint_32 format,
                     const void* pixels, const void* colormap = nullptr, std::uint32_t colormapEntries = 0) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = w;
    image.height = h;
    image.format = format;
    image.colormap_entries = colormapEntries;
    return png_image_write_to_file(&image, path.c_str(), 0, pixels, 0, colormap) != 0;
}

// A tile-set picture for the tool: opaque RGB whose colours come from a function.
inline bool WriteOpaquePng(const std::filesystem::path& path, int w, int h,
                           const std::function<std::uint32_t(int x, int y)>& colourAt) {
    std::vector<std::uint8_t> rgb;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int shift : {16, 8, 0}) rgb.push_back(std::uint8_t(colourAt(x, y) >> shift));
    return WritePng(path, std::uint32_t(w), std::uint32_t(h), PNG_FORMAT_RGB, rgb.data());
}

// ovetool run in a temporary folder, and the layer set it writes read back with the engine's loader.
class CToolFixture : public ::testing::Test {
protected:
    // Runs the tool in the folder; what it prints goes to `out`.
    int Tool(const std::string& args) {
        const auto log = dir / "tool.log";
        const int rc = ovetest::Run("cd '" + dir.path().string() + "' && '" + kTool + "' " + args + " > '" +
                                    log.string() + "' 2>&1");
        out = ovetest::ReadFileText(log);
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
