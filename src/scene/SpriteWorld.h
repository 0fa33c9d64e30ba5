// What sprites need from the world around them: coordinate mappings, the height used for
// automatic priorities, a random source and the script callbacks they hold by key. The game host
// implements it; tests give their own.
#pragma once
#include <cstdint>

namespace ove {

class ISpriteWorld {
public:
    virtual ~ISpriteWorld() = default;

    // Backdrop pixels <-> screen pixels (offset and scaling of the shown backdrop).
    virtual void MapBackdropToScreen(std::int32_t bx, std::int32_t by, std::int32_t& sx, std::int32_t& sy) const = 0;
    virtual void MapScreenToBackdrop(std::int32_t sx, std::int32_t sy, std::int32_t& bx, std::int32_t& by) const = 0;
    // A point in a tile layer's world to the screen; `layer` is the layer a sprite is placed on.
    virtual void LayerToScreen(const void* layer, std::int32_t x, std::int32_t y, std::int32_t& sx,
                               std::int32_t& sy) const = 0;
    // Height of the band over which automatic depths run from far (top) to near (bottom).
    virtual std::int32_t AutoPriorityHeight() const = 0;
    // A uniform non-negative random integer.
    virtual std::uint32_t RandomNumber() = 0;
    // Calls the script function kept under `key` (no arguments). It may destroy the caller.
    virtual void CallCallback(std::int32_t key) = 0;
    // The kept function is no longer needed.
    virtual void ReleaseCallback(std::int32_t key) = 0;
};

}  // namespace ove
