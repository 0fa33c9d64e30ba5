#include "host/BackdropState.h"

#include <memory>
#include <stdexcept>
#include <string>

#include "render/Renderer.h"
#include "resources/ResourceCache.h"
#include "walk/BackdropPicture.h"
#include "walk/Walker.h"

namespace ove {

CBackdropState::CBackdropState(const std::unique_ptr<CRenderer>& renderer,
                               const std::unique_ptr<CResourceCache>& resources)
    : m_renderer(renderer), m_resources(resources) {}

CBackdropState::~CBackdropState() = default;

void CBackdropState::SetPicture(const char* name) {
    m_x = 0;
    m_y = 0;
    if (name && m_name == name) return;

    // The renderer holds pointers into the old picture: detach it before the picture goes.
    if (m_renderer) m_renderer->SetBackdropWithPriority(nullptr, nullptr);
    if (m_walker) m_walker->SetMask(nullptr, 0, 0);
    m_picture.reset();
    m_shownWidth = m_shownHeight = 0;
    m_colour = 0;
    m_name.clear();

    if (name && m_resources) {
        std::unique_ptr<CDataBin> file(m_resources->OpenResource(name, "OVP"));
        if (file) {
            auto picture = std::make_unique<CBackdropPicture>();
            // A damaged picture keeps whatever could be read (its size at least), as before; the
            // file is named once so that the game's author can find it.
            if (!picture->Load(file.get())) {
                // A picture the game must refuse is the script's error; a damaged one keeps
                // whatever could be read (its size at least), and the file is named once so that
                // the game's author can find it.
                if (!picture->Refusal().empty()) throw std::runtime_error(picture->Refusal());
                m_resources->WarnDamaged(std::string(name) + ".OVP", "the picture is damaged and could not be read");
            }
            m_picture = std::move(picture);
        } else {
            Warning(std::string("SetBackdrop: there is no picture \"") + name + "\" (" + name + ".OVP)");
        }
    }
    if (m_picture) {
        m_shownWidth = m_picture->Width();
        m_shownHeight = m_picture->Height();
    }
    if (m_renderer) {
        if (m_picture) {
            m_renderer->SetBackdropWithPriority(m_picture->Bitmap(), m_picture->DepthMask(), m_picture->Width(),
                                                m_picture->Height());
        } else {
            m_renderer->SetBackdropWithPriority(nullptr, nullptr);
        }
    }
    if (m_picture) Walker().SetMask(m_picture->WalkMask(), m_picture->Width(), m_picture->Height());
    if (name) m_name = name;
}

void CBackdropState::Place(std::unique_ptr<CBackdropPicture> picture, int32_t shownWidth, int32_t shownHeight,
                           int32_t priorityHeight, const std::string& name) {
    m_picture = std::move(picture);
    m_name = name;
    m_x = m_y = 0;
    m_shownWidth = shownWidth;
    m_shownHeight = shownHeight;
    m_priorityHeight = priorityHeight;
    if (m_picture) Walker().SetMask(m_picture->WalkMask(), m_picture->Width(), m_picture->Height());
}

std::unique_ptr<CBackdropPicture> CBackdropState::Take() {
    if (m_walker) m_walker->SetMask(nullptr, 0, 0);
    return std::move(m_picture);
}

void CBackdropState::SetShownSize(int32_t width, int32_t height) {
    m_shownWidth = width;
    m_shownHeight = height;
}

void CBackdropState::SetOffset(int32_t x, int32_t y) {
    m_x = x;
    m_y = y;
}

void CBackdropState::SetSolid(uint32_t argb) {
    SetPicture(nullptr);
    if (m_renderer) m_renderer->SetBackdropColour(argb);
    m_colour = argb;
}

SBackdropGeometry CBackdropState::Geometry() const {
    SBackdropGeometry g;
    g.hasPicture = m_picture != nullptr;
    if (m_picture) {
        g.pictureWidth = m_picture->Width();
        g.pictureHeight = m_picture->Height();
    }
    g.shownWidth = m_shownWidth;
    g.shownHeight = m_shownHeight;
    g.offsetX = m_x;
    g.offsetY = m_y;
    return g;
}

const char* CBackdropState::HotspotAt(int32_t x, int32_t y) const {
    if (!m_picture) return "*";
    SGamePoint p = ScreenToBackdrop(Geometry(), SGamePoint{x, y});
    uint8_t value = MaskValueAt(m_picture->ClickMask(), m_picture->Width(), m_picture->Height(), p.x, p.y);
    if (value == 0) return "*";
    return m_picture->HotspotName(value);
}

int32_t CBackdropState::AutoPriorityHeight() const {
    return PriorityViewportHeight(m_priorityHeight, m_shownHeight, m_picture != nullptr,
                                  m_picture ? m_picture->Height() : 0, m_renderer ? m_renderer->GetHeight() : 0);
}

CWalker& CBackdropState::Walker() {
    if (!m_walker) m_walker = std::make_unique<CWalker>();
    return *m_walker;
}

void CBackdropState::ApplyTransform() const {
    if (!m_renderer) return;
    float sx = 1.0f, sy = 1.0f, ox = 0.0f, oy = 0.0f;
    if (m_picture && m_picture->Width() > 0 && m_picture->Height() > 0) {
        sx = static_cast<float>(m_shownWidth) / static_cast<float>(m_picture->Width());
        sy = static_cast<float>(m_shownHeight) / static_cast<float>(m_picture->Height());
        ox = static_cast<float>(m_x);
        oy = static_cast<float>(m_y);
    }
    m_renderer->SetBackdropTransform(sx, sy, ox, oy);
}

}  // namespace ove
