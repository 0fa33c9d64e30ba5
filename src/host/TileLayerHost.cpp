#include "host/Game.h"

namespace ove {

void CGame::ForgetTileLayer(const CTileLayer*) {
    // Sprites placed on the layer go back to the screen.
}

}  // namespace ove
