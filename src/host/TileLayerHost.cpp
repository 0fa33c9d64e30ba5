#include "host/Game.h"
#include "scene/Sprite.h"

namespace ove {

void CGame::ForgetTileLayer(const CTileLayer* layer) {
    sprites_->ForgetTileLayer(layer);
}

}  // namespace ove
