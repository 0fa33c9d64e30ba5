// Screen capture for the Image API.
#include "host/Game.h"
#include "image/Bitmap.h"
#include "render/Renderer.h"

namespace ove {

namespace {

// Hides the cursor object for the capture and puts its visibility back however the capture ends.
class CCursorHider {
public:
    explicit CCursorHider(CSpriteBase* cursor) : m_cursor(cursor) {
        if (!m_cursor) return;
        m_wasVisible = m_cursor->IsVisible();
        m_cursor->SetVisible(false);
    }
    ~CCursorHider() {
        if (m_cursor) m_cursor->SetVisible(m_wasVisible);
    }
    CCursorHider(const CCursorHider&) = delete;
    CCursorHider& operator=(const CCursorHider&) = delete;

private:
    CSpriteBase* m_cursor;
    bool m_wasVisible = false;
};

}  // namespace

std::unique_ptr<CBitmap> CGame::RenderToImage(int32_t width, int32_t height) {
    if (!m_renderer) return nullptr;
    CCursorHider hider(m_renderer->GetCursor());
    UpdateRenderQueue();
    m_backdrop->ApplyTransform();
    return m_renderer->RenderToImage(width, height);
}

}  // namespace ove
