// The game host as the world its sprites live in.
#include "host/Game.h"
#include "host/GameApiLogic.h"
#include "render/Renderer.h"
#include "tiles/TileLayer.h"
#include "walk/BackdropPicture.h"

namespace ove {

void CGame::MapBackdropToScreen(int32_t bx, int32_t by, int32_t& sx, int32_t& sy) const {
    SGamePoint p = BackdropToScreen(BackdropGeometry(), SGamePoint{bx, by});
    sx = p.x;
    sy = p.y;
}

void CGame::MapScreenToBackdrop(int32_t sx, int32_t sy, int32_t& bx, int32_t& by) const {
    SGamePoint p = ScreenToBackdrop(BackdropGeometry(), SGamePoint{sx, sy});
    bx = p.x;
    by = p.y;
}

void CGame::LayerToScreen(const void* layer, int32_t x, int32_t y, int32_t& sx, int32_t& sy) const {
    static_cast<const CTileLayer*>(layer)->WorldToScreen(x, y, sx, sy);
}

int32_t CGame::AutoPriorityHeight() const { return m_backdrop->AutoPriorityHeight(); }

uint32_t CGame::RandomNumber() { return static_cast<uint32_t>(RandomDraw15()); }

void CGame::CallCallback(int32_t key) {
    // A script error inside lands in the pending-fatal slot; the frame primitive raises it.
    if (m_runtime) m_runtime->CallKept(key);
}

void CGame::ReleaseCallback(int32_t key) {
    if (m_runtime) m_runtime->ReleaseKept(key);
}

}  // namespace ove
