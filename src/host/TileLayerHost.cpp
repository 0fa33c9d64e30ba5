#include "host/Game.h"
#include "scene/Sprite.h"

namespace ove {

void CGame::ForgetTileLayer(const CTileLayer* layer) { m_sprites->ForgetTileLayer(layer); }

}  // namespace ove
