#include "host/Game.h"
#include "scene/Sprite.h"

namespace ove {

void CGame::ForgetTileLayer(const CTileLayer* layer) {
    // Sprites placed on the layer go back to the screen.
    for (CSprite* s : sprites)
        if (s->GetPlacement() == kPlaceLayer && s->GetLayer() == layer) s->SetPlacement(kPlaceScreen);
}

}  // namespace ove
