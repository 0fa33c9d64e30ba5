#include "StudioRoom.h"

#include "Command.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <memory>
#include <stdexcept>

#include "host/Game.h"
#include "host/GameApiLogic.h"
#include "image/ImageLoad.h"
#include "image/PngWrite.h"
#include "image/RunMask.h"
#include "io/DataBin.h"
#include "render/Renderer.h"
#include "resources/View.h"
#include "scene/Sprite.h"

namespace studio {

namespace fs = std::filesystem;
using namespace ove;

namespace {

constexpr const char* kMaskNames[CStudioRoom::kMaskCount] = {"control", "depth", "walk", "click"};

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool ReadWholeFile(const fs::path& path, std::vector<u8>& out) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!f) return false;
    out.clear();
    u8 chunk[65536];
    for (;;) {
        std::size_t n = std::fread(chunk, 1, sizeof chunk, f.get());
        out.insert(out.end(), chunk, chunk + n);
        if (n < sizeof chunk) return !std::ferror(f.get());
    }
}

// Writes every byte and flushes it to the disk, so that a rename after it never exposes a
// partly written file.
bool WriteWholeFile(const fs::path& path, const std::vector<u8>& bytes) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    std::size_t done = 0;
    bool ok = true;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = false;
            break;
        }
        done += std::size_t(n);
    }
    if (ok && ::fsync(fd) != 0) ok = false;
    if (::close(fd) != 0) ok = false;
    return ok;
}

SBackdropGeometry Geometry(std::int32_t width, std::int32_t height, const SShown& shown) {
    SBackdropGeometry g;
    g.hasPicture = true;
    g.pictureWidth = width;
    g.pictureHeight = height;
    SGameSize size = BackdropDimensions(shown.width, shown.height, width, height);
    g.shownWidth = size.width;
    g.shownHeight = size.height;
    return g;
}

// The engine's game host, without a window, with the room as its backdrop: its own rules for
// walking, hotspots and sprite depths answer. The picture stays the room's.
class CRoomGame {
public:
    // The game holds the room's picture while it lives and hands it back at the end.
    CRoomGame(std::unique_ptr<CBackdropPicture>& picture, const SShown& shown) : m_owner(picture) {
        const SBackdropGeometry g = Geometry(picture->Width(), picture->Height(), shown);
        // The game's window is taken to be the shown room.
        m_game.PlaceBackdrop(std::move(picture), g.shownWidth, g.shownHeight,
                             shown.priorityHeight > 0 ? shown.priorityHeight : g.shownHeight);
    }
    ~CRoomGame() { m_owner = m_game.TakeBackdrop(); }
    CRoomGame(const CRoomGame&) = delete;
    CRoomGame& operator=(const CRoomGame&) = delete;

    CGame& Game() { return m_game; }
    SGamePoint ToScreen(SWalkPoint p) const { return BackdropToScreen(m_game.BackdropGeometry(), {p.x, p.y}); }

private:
    std::unique_ptr<CBackdropPicture>& m_owner;
    CGame m_game;
};

}  // namespace

const char* CStudioRoom::MaskName(int which) { return which >= 0 && which < kMaskCount ? kMaskNames[which] : nullptr; }

int CStudioRoom::MaskByName(const std::string& name) {
    for (int i = 0; i < kMaskCount; ++i)
        if (name == kMaskNames[i]) return i;
    return -1;
}

bool CStudioRoom::Open(const fs::path& path, std::string* error) {
    const std::string ext = Lower(path.extension().string());
    if (ext == ".ovp") {
        m_path = path;
        return Reload(error);
    }
    std::string why;
    auto rgba = LoadImageFile(path.string(), &why);
    if (!rgba) {
        *error = path.string() + ": " + why;
        return false;
    }
    auto bitmap = ovetool::BackdropImage(*rgba);  // as ovetool pict stores it
    if (!bitmap) {
        *error = path.string() + ": cannot convert the picture";
        return false;
    }
    CBackdropPicture picture;
    picture.SetImage(std::move(bitmap));
    m_path = path;
    m_path.replace_extension(".OVP");
    return Adopt(picture, error);
}

bool CStudioRoom::Reload(std::string* error, std::size_t maxPixels) {
    std::vector<u8> bytes;
    if (!ReadWholeFile(m_path, bytes)) {
        *error = m_path.string() + ": cannot read";
        return false;
    }
    CBuffer buffer(std::move(bytes));
    CBackdropPicture picture;
    if (!picture.Load(&buffer)) {
        *error = m_path.string() + ": " +
                 (picture.Refusal().empty() ? "not a backdrop picture with an image" : picture.Refusal());
        return false;
    }
    if (std::size_t(std::max(picture.Width(), 0)) * std::size_t(std::max(picture.Height(), 0)) > maxPixels) {
        *error = m_path.string() + " has grown: start the studio again to edit it";
        return false;
    }
    return Adopt(picture, error);
}

bool CStudioRoom::Adopt(CBackdropPicture& picture, std::string* error) {
    const std::int32_t w = picture.Width(), h = picture.Height();
    // One byte a pixel per mask must stay addressable by the run masks' 32-bit counts.
    if (w <= 0 || h <= 0 || std::int64_t(w) * h > std::int64_t(1) << 28) {
        *error = "the room's size is not usable";
        return false;
    }
    m_width = w;
    m_height = h;
    const std::size_t count = std::size_t(w) * std::size_t(h);
    for (int i = 0; i < kMaskCount; ++i) {
        m_masks[std::size_t(i)].assign(count, 0);
        const CRunMask* mask = picture.Mask(static_cast<CBackdropPicture::EMask>(i));
        m_present[std::size_t(i)] = mask != nullptr;
        if (mask) mask->Expand(m_masks[std::size_t(i)].data(), count);
    }
    m_hotspots = picture.Hotspots();
    m_picture->SetImage(std::unique_ptr<CBitmap>(
        picture.Bitmap() ? new CBitmap(picture.Bitmap(), picture.Bitmap()->Format()) : nullptr));
    for (int i = 0; i < kMaskCount; ++i) Encode(i);
    return true;
}

void CStudioRoom::Encode(int which) {
    const auto slot = static_cast<CBackdropPicture::EMask>(which);
    const std::vector<u8>& values = m_masks[std::size_t(which)];
    if (!m_present[std::size_t(which)]) {
        m_picture->SetMask(slot, nullptr);
        return;
    }
    m_picture->SetMask(slot,
                       std::make_unique<CRunMask>(CRunMask::Encode(values.data(), static_cast<u32>(values.size()))));
}

std::vector<u8> CStudioRoom::ImageRgba() const {
    std::vector<u8> out;
    const CBitmap* bitmap = m_picture->Bitmap();
    if (!bitmap) return out;
    CBitmap bgra(bitmap, PixelFormat::Rgba8888);
    if (bgra.IsEmpty() || i32(bgra.Width()) != m_width || i32(bgra.Height()) != m_height) return out;
    const bool alpha = HasAlpha(bitmap->Format());
    out.resize(std::size_t(m_width) * std::size_t(m_height) * 4);
    for (i32 y = 0; y < m_height; ++y) {
        const u8* p = bgra.TopRow(u32(y));
        u8* q = out.data() + std::size_t(y) * std::size_t(m_width) * 4;
        for (i32 x = 0; x < m_width; ++x, p += 4, q += 4) {
            q[0] = p[2];
            q[1] = p[1];
            q[2] = p[0];
            q[3] = alpha ? p[3] : 255;
        }
    }
    return out;
}

bool CStudioRoom::SetMask(int which, const u8* data, std::size_t size) {
    if (which < 0 || which >= kMaskCount || size != std::size_t(m_width) * std::size_t(m_height)) return false;
    std::vector<u8>& mask = m_masks[std::size_t(which)];
    mask.assign(data, data + size);
    // A mask the room did not have is stored once something is painted on it.
    if (!m_present[std::size_t(which)])
        m_present[std::size_t(which)] = std::any_of(mask.begin(), mask.end(), [](u8 v) { return v != 0; });
    Encode(which);
    return true;
}

void CStudioRoom::SetHotspots(std::map<std::uint32_t, std::string> names) { m_hotspots = std::move(names); }

bool CStudioRoom::Save(const fs::path& target, std::string* error) {
    CBackdropPicture picture;
    const CBitmap* bitmap = m_picture->Bitmap();
    if (!bitmap) {
        *error = "the room has no image";
        return false;
    }
    picture.SetImage(std::make_unique<CBitmap>(bitmap, bitmap->Format()));
    for (int i = 0; i < kMaskCount; ++i) {
        const auto slot = static_cast<CBackdropPicture::EMask>(i);
        if (const CRunMask* mask = m_picture->Mask(slot)) picture.SetMask(slot, std::make_unique<CRunMask>(*mask));
    }
    for (const auto& [number, name] : m_hotspots) picture.SetHotspotName(number, name);
    CBuffer buffer;
    if (!picture.Save(&buffer)) {
        *error = "the room cannot be written in the resource format";
        return false;
    }
    fs::path temporary = target;
    temporary += ".saving";
    if (!WriteWholeFile(temporary, buffer.Bytes())) {
        std::error_code ignored;
        fs::remove(temporary, ignored);
        *error = temporary.string() + ": " + std::strerror(errno);
        return false;
    }
    std::error_code ec;
    fs::rename(temporary, target, ec);
    if (ec) {
        fs::remove(temporary, ec);
        *error = target.string() + ": cannot replace";
        return false;
    }
    m_path = target;
    return true;
}

bool CStudioRoom::ExportSources(const fs::path& resource, std::vector<std::string>* written, std::string* error) {
    const std::string stem = resource.stem().string();
    auto place = [&](const fs::path& temporary, const fs::path& target) {
        std::error_code ec;
        fs::rename(temporary, target, ec);
        if (ec) {
            fs::remove(temporary, ec);
            *error = target.string() + ": cannot replace";
            return false;
        }
        written->push_back(target.filename().string());
        return true;
    };
    for (int i = 0; i < kMaskCount; ++i) {
        if (!m_present[std::size_t(i)]) continue;
        CBitmapBuffer picture(u32(m_width), u32(m_height), PixelFormat::Grey8);
        for (i32 y = 0; y < m_height; ++y)
            std::copy_n(m_masks[std::size_t(i)].data() + std::size_t(y) * std::size_t(m_width), m_width,
                        picture.TopRow(u32(y)));
        const fs::path target = resource.parent_path() / (stem + "-" + kMaskNames[i] + ".png");
        fs::path temporary = target;
        temporary += ".saving";
        CBuffer png;
        if (!WritePNG(picture, &png) || !WriteWholeFile(temporary, png.Bytes())) {
            std::error_code ignored;
            fs::remove(temporary, ignored);
            *error = target.string() + ": cannot write";
            return false;
        }
        if (!place(temporary, target)) return false;
    }
    if (!m_hotspots.empty()) {
        // Line N names hotspot N.
        std::string text;
        std::uint32_t line = 1;
        for (const auto& [number, name] : m_hotspots) {
            for (; line < number; ++line) text += '\n';
            text += name + '\n';
            ++line;
        }
        const fs::path target = resource.parent_path() / (stem + "-hotspots.txt");
        fs::path temporary = target;
        temporary += ".saving";
        if (!WriteWholeFile(temporary, std::vector<u8>(text.begin(), text.end()))) {
            *error = temporary.string() + ": cannot write";
            return false;
        }
        if (!place(temporary, target)) return false;
    }
    return true;
}

SPointInfo CStudioRoom::At(std::int32_t x, std::int32_t y) {
    SPointInfo info;
    auto value = [&](int which) {
        return std::int32_t(
            MaskValueAt(m_picture->Mask(static_cast<CBackdropPicture::EMask>(which)), m_width, m_height, x, y));
    };
    info.control = value(CBackdropPicture::kControl);
    info.depth = value(CBackdropPicture::kDepth);
    info.walk = value(CBackdropPicture::kWalk);
    info.click = value(CBackdropPicture::kClick);
    // The game asks at a screen point; shown at its own size the room's points are the screen's.
    SyncHotspotNames();
    CRoomGame room(m_picture, SShown{});
    const char* name = room.Game().GetHotspot(x, y);
    info.hotspotNamed = name != nullptr;
    if (name) info.hotspot = name;
    return info;
}

void CStudioRoom::SyncHotspotNames() {
    if (m_picture->Hotspots() == m_hotspots) return;
    // The picture keeps names it is given; a fresh one holds exactly the room's.
    auto fresh = std::make_unique<CBackdropPicture>();
    fresh->SetImage(m_picture->Bitmap() ? std::make_unique<CBitmap>(m_picture->Bitmap(), m_picture->Bitmap()->Format())
                                        : nullptr);
    for (int i = 0; i < kMaskCount; ++i) {
        const auto slot = static_cast<CBackdropPicture::EMask>(i);
        if (const CRunMask* mask = m_picture->Mask(slot)) fresh->SetMask(slot, std::make_unique<CRunMask>(*mask));
    }
    for (const auto& [number, name] : m_hotspots) fresh->SetHotspotName(number, name);
    m_picture = std::move(fresh);
}

SDepthInfo CStudioRoom::DepthAt(std::int32_t x, std::int32_t y, const SShown& shown) {
    CRoomGame room(m_picture, shown);
    CSprite* sprite = room.Game().CreateSprite();
    sprite->SetPlacement(kPlaceBackdrop);
    sprite->x = x;
    sprite->y = y;
    SDepthInfo info;
    info.priority = sprite->GetPriority();
    info.depth = sprite->GetDepth();
    // The priority map is drawn at the levels' depths, and a sprite passes the depth test where it
    // is not farther than what is there.
    for (int level = 1; level <= 15; ++level)
        if (CRenderer::PriorityDepth(level) < info.depth) info.hiddenBy.push_back(level);
    return info;
}

std::vector<std::int32_t> CStudioRoom::RowPriorities(const SShown& shown) {
    CRoomGame room(m_picture, shown);
    CSprite* sprite = room.Game().CreateSprite();
    sprite->SetPlacement(kPlaceBackdrop);
    std::vector<std::int32_t> rows(static_cast<std::size_t>(m_height));
    for (std::int32_t y = 0; y < m_height; ++y) {
        sprite->y = y;
        rows[std::size_t(y)] = sprite->GetPriority();
    }
    return rows;
}

SPathResult CStudioRoom::FindPath(SWalkPoint from, SWalkPoint to, std::int32_t constraint, std::int32_t reference,
                                  const SShown& shown) {
    SPathResult result;
    CRoomGame room(m_picture, shown);
    // A sprite standing at `from` is sent to `to` as a script would: both on the screen.
    CSprite* sprite = room.Game().CreateSprite();
    const SGamePoint start = room.ToScreen(from), goal = room.ToScreen(to);
    sprite->x = start.x;
    sprite->y = start.y;
    sprite->walkConstraint = constraint;
    sprite->walkReference = reference;
    result.found = room.Game().WalkTo(sprite, goal.x, goal.y, std::nullopt);
    if (!result.found) return result;
    // The path holds the destination first.
    result.backdrop.assign(sprite->path.rbegin(), sprite->path.rend());
    for (const SWalkPoint& p : result.backdrop) {
        SGamePoint s = room.ToScreen(p);
        result.screen.push_back({s.x, s.y});
    }
    return result;
}

bool LoadCel(const fs::path& file, std::int32_t loop, std::int32_t cel, SCelImage& out, std::string* error) {
    std::vector<u8> bytes;
    if (!ReadWholeFile(file, bytes)) {
        *error = file.filename().string() + ": cannot read";
        return false;
    }
    CBuffer buffer(std::move(bytes));
    TResourceRef<CView> view(new CView());
    view->Load(&buffer, nullptr);
    out.loops = static_cast<std::int32_t>(view->LoopCount());
    if (out.loops == 0) {
        *error = file.filename().string() + ": not a view" +
                 (view->LoadError().empty() ? "" : " (" + view->LoadError() + ")");
        return false;
    }
    loop = ((loop % out.loops) + out.loops) % out.loops;
    out.cels = static_cast<std::int32_t>(view->CelCount(loop));
    if (out.cels == 0) {
        *error = "the loop has no cels";
        return false;
    }
    cel = ((cel % out.cels) + out.cels) % out.cels;
    const SCel* c = view->GetCel(loop, cel);
    if (!c) {
        *error = "no such cel";
        return false;
    }
    out.width = static_cast<std::int32_t>(c->width);
    out.height = static_cast<std::int32_t>(c->height);
    // Sprites are centred on their position and stand on their bottom row unless told otherwise.
    SCelCorner corners[4];
    Place(*c, 1, 2, out.width, out.height, corners);
    out.left = static_cast<std::int32_t>(std::lround(corners[0].x));
    out.top = static_cast<std::int32_t>(std::lround(corners[0].y));
    out.rgba.resize(std::size_t(out.width) * std::size_t(out.height) * 4);
    // A mirrored loop shares its source's pixels and is drawn with the texture's sides exchanged.
    const bool mirrored = c->uLeft > c->uRight;
    u8* q = out.rgba.data();
    for (std::int32_t y = 0; y < out.height; ++y)
        for (std::int32_t x = 0; x < out.width; ++x, q += 4) {
            const u32 argb = view->GetCelPixel(loop, cel, mirrored ? out.width - 1 - x : x, y);
            q[0] = u8(argb >> 16);
            q[1] = u8(argb >> 8);
            q[2] = u8(argb);
            q[3] = u8(argb >> 24);
        }
    return true;
}

bool InsideFolder(const fs::path& folder, const fs::path& path) {
    std::error_code ec;
    const fs::path base = fs::weakly_canonical(fs::absolute(folder, ec), ec);
    if (ec) return false;
    const fs::path full = fs::weakly_canonical(fs::absolute(path, ec), ec);
    if (ec) return false;
    auto b = base.begin(), f = full.begin();
    for (; b != base.end(); ++b, ++f) {
        if (f == full.end() || *b != *f) return false;
    }
    return f != full.end();  // the folder itself is not a file inside it
}

}  // namespace studio
