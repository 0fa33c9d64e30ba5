#include "host/BackdropState.h"

#include <memory>
#include <stdexcept>
#include <string>

#include "resources/ResourceCache.h"
#include "render/Renderer.h"
#include "walk/BackdropPicture.h"
#include "walk/Walker.h"

namespace ove {

CBackdropState::CBackdropState(const std::unique_ptr<CRenderer>& renderer,
                               const std::unique_ptr<CResourceCache>& resources)
    : renderer_(renderer), resources_(resources) {}

CBackdropState::~CBackdropState() = default;

void CBackdropState::SetPicture(const char* name) {
    x_ = 0;
    y_ = 0;
    if (name && name_ == name) return;

    // The renderer holds pointers into the old picture: detach it before the picture goes.
    if (renderer_) renderer_->SetBackdropWithPriority(nullptr, nullptr);
    if (walker_) walker_->SetMask(nullptr, 0, 0);
    picture_.reset();
    shownWidth_ = shownHeight_ = 0;
    colour_ = 0;
    name_.clear();

    if (name && resources_) {
        std::unique_ptr<CDataBin> file(resources_->OpenResource(name, "OVP"));
        if (file) {
            auto picture = std::make_unique<CBackdropPicture>();
            // A damaged picture keeps whatever could be read (its size at least), as before; the
            // file is named once so that the game's author can find it.
            if (!picture->Load(file.get())) {
                // A picture the game must refuse is the script's error; a damaged one keeps
                // whatever could be read (its size at least), and the file is named once so that
                // the game's author can find it.
                if (!picture->Refusal().empty()) throw std::runtime_error(picture->Refusal());
                resources_->WarnDamaged(std::string(name) + ".OVP", "the picture is damaged and could not be read");
            }
            picture_ = std::move(picture);
        } else {
            Warning(std::string("SetBackdrop: there is no picture \"") + name + "\" (" + name + ".OVP)");
        }
    }
    if (picture_) {
        shownWidth_ = picture_->Width();
        shownHeight_ = picture_->Height();
    }
    if (renderer_) {
        if (picture_) {
            renderer_->SetBackdropWithPriority(picture_->Bitmap(), picture_->DepthMask(), picture_->Width(),
                                              picture_->Height());
        } else {
            renderer_->SetBackdropWithPriority(nullptr, nullptr);
        }
    }
    if (picture_) Walker().SetMask(picture_->WalkMask(), picture_->Width(), picture_->Height());
    if (name) name_ = name;
}

void CBackdropState::Place(std::unique_ptr<CBackdropPicture> picture, int32_t shownWidth, int32_t shownHeight,
                           int32_t priorityHeight, const std::string& name) {
    picture_ = std::move(picture);
    name_ = name;
    x_ = y_ = 0;
    shownWidth_ = shownWidth;
    shownHeight_ = shownHeight;
    priorityHeight_ = priorityHeight;
    if (picture_) Walker().SetMask(picture_->WalkMask(), picture_->Width(), picture_->Height());
}

std::unique_ptr<CBackdropPicture> CBackdropState::Take() {
    if (walker_) walker_->SetMask(nullptr, 0, 0);
    return std::move(picture_);
}

void CBackdropState::SetShownSize(int32_t width, int32_t height) {
    shownWidth_ = width;
    shownHeight_ = height;
}

void CBackdropState::SetOffset(int32_t x, int32_t y) {
    x_ = x;
    y_ = y;
}

void CBackdropState::SetSolid(uint32_t argb) {
    SetPicture(nullptr);
    if (renderer_) renderer_->SetBackdropColour(argb);
    colour_ = argb;
}

SBackdropGeometry CBackdropState::Geometry() const {
    SBackdropGeometry g;
    g.hasPicture = picture_ != nullptr;
    if (picture_) {
        g.pictureWidth = picture_->Width();
        g.pictureHeight = picture_->Height();
    }
    g.shownWidth = shownWidth_;
    g.shownHeight = shownHeight_;
    g.offsetX = x_;
    g.offsetY = y_;
    return g;
}

const char* CBackdropState::HotspotAt(int32_t x, int32_t y) const {
    if (!picture_) return "*";
    SGamePoint p = ScreenToBackdrop(Geometry(), SGamePoint{x, y});
    uint8_t value = MaskValueAt(picture_->ClickMask(), picture_->Width(), picture_->Height(), p.x, p.y);
    if (value == 0) return "*";
    return picture_->HotspotName(value);
}

int32_t CBackdropState::AutoPriorityHeight() const {
    return PriorityViewportHeight(priorityHeight_, shownHeight_, picture_ != nullptr, picture_ ? picture_->Height() : 0,
                                  renderer_ ? renderer_->GetHeight() : 0);
}

CWalker& CBackdropState::Walker() {
    if (!walker_) walker_ = std::make_unique<CWalker>();
    return *walker_;
}

void CBackdropState::ApplyTransform() const {
    if (!renderer_) return;
    float sx = 1.0f, sy = 1.0f, ox = 0.0f, oy = 0.0f;
    if (picture_ && picture_->Width() > 0 && picture_->Height() > 0) {
        sx = static_cast<float>(shownWidth_) / static_cast<float>(picture_->Width());
        sy = static_cast<float>(shownHeight_) / static_cast<float>(picture_->Height());
        ox = static_cast<float>(x_);
        oy = static_cast<float>(y_);
    }
    renderer_->SetBackdropTransform(sx, sy, ox, oy);
}

}  // namespace ove
