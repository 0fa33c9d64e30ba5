// Backdrops, hotspots and the window title of the game host.
#include <memory>
#include <string>

#include "resources/ResourceCache.h"
#include "host/Game.h"
#include "render/Renderer.h"
#include "script/GameApiLogic.h"
#include "scene/Sprite.h"
#include "walk/BackdropPicture.h"
#include "walk/Walker.h"

namespace ove {

void CGame::SetBackdropPicture(const char* name) {
    backdropX = 0;
    backdropY = 0;
    if (name && backdropName == name) return;

    // The renderer holds pointers into the old picture: detach it before the picture goes.
    if (renderer) renderer->SetBackdropWithPriority(nullptr, nullptr);
    if (walker) walker->SetMask(nullptr, 0, 0);
    delete backdrop;
    backdrop = nullptr;
    backdropWidth = backdropHeight = 0;
    backdropColour = 0;
    backdropName.clear();

    if (name && resources) {
        std::unique_ptr<CDataBin> file(resources->OpenResource(name, "OVP"));
        if (file) {
            auto picture = std::make_unique<CBackdropPicture>();
            // A damaged picture keeps whatever could be read (its size at least), as before; the
            // file is named once so that the game's author can find it.
            if (!picture->Load(file.get()))  // may throw "Unknown hotspot attribute"
                resources->WarnDamaged(std::string(name) + ".OVP", "the picture is damaged and could not be read");
            backdrop = picture.release();
        } else {
            Warning(std::string("SetBackdrop: there is no picture \"") + name + "\" (" + name + ".OVP)");
        }
    }
    if (backdrop) {
        backdropWidth = backdrop->Width();
        backdropHeight = backdrop->Height();
    }
    if (renderer) {
        if (backdrop) {
            renderer->SetBackdropWithPriority(backdrop->Bitmap(), backdrop->DepthMask(), backdrop->Width(),
                                              backdrop->Height());
        } else {
            renderer->SetBackdropWithPriority(nullptr, nullptr);
        }
    }
    if (backdrop) Walker().SetMask(backdrop->WalkMask(), backdrop->Width(), backdrop->Height());
    if (name) backdropName = name;
}

void CGame::SetBackdropSolid(uint32_t argb) {
    SetBackdropPicture(nullptr);
    if (renderer) renderer->SetBackdropColour(argb);
    backdropColour = argb;
}

SBackdropGeometry CGame::BackdropGeometry() const {
    SBackdropGeometry g;
    g.hasPicture = backdrop != nullptr;
    if (backdrop) {
        g.pictureWidth = backdrop->Width();
        g.pictureHeight = backdrop->Height();
    }
    g.shownWidth = backdropWidth;
    g.shownHeight = backdropHeight;
    g.offsetX = backdropX;
    g.offsetY = backdropY;
    return g;
}

const char* CGame::GetHotspot(int32_t x, int32_t y) const {
    // The nearest named, visible, corporeal sprite under the point that is not ignored; the
    // first in the list wins a tie.
    CSprite* best = nullptr;
    float bestDepth = 0.0f;
    for (CSprite* s : sprites) {
        if (!s->IsVisible() || s->noncorporeal || s->ignore || !s->GetName() || !s->HitTest(x, y)) continue;
        const float d = s->GetDepth();
        if (!best || d < bestDepth) {
            best = s;
            bestDepth = d;
        }
    }
    if (best) return best->GetName();
    if (!backdrop) return "*";
    SGamePoint p = ScreenToBackdrop(BackdropGeometry(), SGamePoint{x, y});
    uint8_t value = MaskValueAt(backdrop->ClickMask(), backdrop->Width(), backdrop->Height(), p.x, p.y);
    if (value == 0) return "*";
    return backdrop->HotspotName(value);
}

void CGame::SetTitle(const std::string& title) {
    if (window) window->SetTitle(title);
}

void CGame::GoFullScreen() {
    fullScreen = 1;
    if (renderer) renderer->SetFullscreen(true);
}

}  // namespace ove
