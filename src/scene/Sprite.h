// A sprite: a named 2D object placed on the screen, on the backdrop, on a tile layer or relative to
// another sprite, with a fixed or automatic priority, straight-line and searched movement, and a
// walk constraint.
#pragma once
#include <cstdint>
#include <string>

#include "scene/2DObject.h"
#include "walk/Walker.h"

namespace ove {

enum : std::int32_t {
    kPlaceScreen = 0,
    kPlaceBackdrop = 1,
    kPlaceLayer = 2,
    kPlaceSprite = 3,
};

// Priorities with a meaning of their own.
enum : std::int32_t { kPriorityOnTop = -2, kPriorityAuto = -1 };

struct SPlacedPosition {
    std::int32_t x = 0, y = 0;
    float depth = 0.0f;
};

class CSprite : public C2DObject {
public:
    explicit CSprite(ISpriteWorld* world = nullptr);
    ~CSprite() override;

    float GetDepth() override;
    void Draw(CRenderer& renderer) override;
    bool IsNoncorporeal() override { return noncorporeal != 0; }
    bool DrawsAtOwnDepth() override { return true; }
    bool HitTest(std::int32_t px, std::int32_t py) override;

    // ---- name (an empty one is none)
    void SetName(const char* text);
    const char* GetName() const { return hasName ? name.c_str() : nullptr; }

    // ---- placement
    // Mode 2 takes a tile layer as `layer`, mode 3 a sprite as `parent`; either without its
    // reference falls back to SCREEN. A parent that is this sprite or is placed (at any depth)
    // relative to it would make a cycle: the placement is refused and falls back to SCREEN too.
    // Returns the mode in force.
    std::int32_t SetPlacement(std::int32_t mode, const void* layer = nullptr, CSprite* parent = nullptr);
    std::int32_t GetPlacement() const { return placement; }
    CSprite* GetParent() const { return parentSprite; }
    const void* GetLayer() const { return placementLayer; }
    // Screen position and depth, following relative placements to their root.
    SPlacedPosition GetPlacedPosition() const;

    // ---- priority
    void SetPriority(std::int32_t p);
    std::int32_t GetPriority();
    // Recomputes the automatic depth (or the parent's, when placed relative to one).
    void UpdateDepth();

    // ---- movement
    // Straight line to (x, y) in the placement's coordinates; false when there is no distance.
    bool MoveTo(std::int32_t tx, std::int32_t ty);
    void CancelWalking() { path.clear(); }
    bool IsMoving() const { return !path.empty(); }
    // Replaces the movement callback, releasing the old one.
    void SetMovementCallback(CallbackKey key);
    // Replaces it and hands the old one back without releasing it.
    CallbackKey SwapMovementCallback(CallbackKey key);
    // The loop for a heading (degrees) among `loops` loops.
    static std::int32_t LoopForHeading(std::int32_t heading, std::int32_t loops);

    // Once per frame.
    void Update(std::uint32_t frame);

    // ---- state
    std::string name;
    bool hasName = false;
    std::uint8_t loopFixed = 0;
    std::uint8_t priorityFixed = 0;
    std::uint8_t active = 1;
    std::uint8_t ignore = 0;
    std::uint8_t noncorporeal = 0;
    std::int32_t step = 4;
    WalkPath path;  // destination first, next waypoint last
    std::int32_t segmentX = 0, segmentY = 0;
    std::int32_t waypointX = 0, waypointY = 0;
    std::int32_t heading = 0;
    std::int32_t walkConstraint = kConDefault;
    std::int32_t walkReference = 0;
    std::uint32_t lastUpdateFrame = 0;

    // The most points a straight movement lays down; longer lines space them further apart.
    static constexpr std::int32_t kMaxMovePoints = 1 << 16;

private:
    // A path point (backdrop pixels for SCREEN placement) in the sprite's own coordinates.
    SWalkPoint PathToOwn(SWalkPoint p) const;
    const CSprite* Root() const;

    CallbackKey movementCallback;
    std::int32_t placement = kPlaceScreen;
    const void* placementLayer = nullptr;
    CSprite* parentSprite = nullptr;
};

}  // namespace ove
