// Walk constraints and the walker: which walk-mask values a sprite may stand on, and the
// breadth-first path search with its smoothing passes. Coordinates are backdrop pixels.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace ove {

class CRunMask;

struct SWalkPoint {
    std::int32_t x = 0;
    std::int32_t y = 0;
    bool operator==(const SWalkPoint&) const = default;
};

// A path: destination first, next waypoint last (movement pops from the back).
using WalkPath = std::vector<SWalkPoint>;

// A comparison of an 8-bit walk value with a reference.
struct SConstraint {
    explicit SConstraint(std::int32_t ref = 0) : reference(ref) {}
    virtual ~SConstraint() = default;
    virtual bool Test(std::uint8_t value) const = 0;
    virtual void SetReference(std::int32_t ref) { reference = ref; }
    std::int32_t reference;
};

// Constraint indices, in the order of their operator names.
enum : std::int32_t {
    kConLess = 0,
    kConLEqual = 1,
    kConEqual = 2,
    kConGEqual = 3,
    kConGreater = 4,
    kConNot = 5,
    kConMask = 6,
    kConCount = 7,
    kConDefault = kConNot,
};

// The index of an operator name ("<", "<=", "=<", "==", "=", ">=", "=>", ">", "!=", "<>", "mask"),
// matched as a whole string; -1 for anything else (null included).
std::int32_t ConstraintIndex(const char* name);
// The first operator name of an index, or null outside 0..6.
const char* ConstraintName(std::int32_t index);
// A new constraint of that index (null outside 0..6).
std::unique_ptr<SConstraint> MakeConstraint(std::int32_t index, std::int32_t reference);

// Maps backdrop points to the screen for paths that are not kept in backdrop coordinates.
class IBackdropToScreen {
public:
    virtual ~IBackdropToScreen() = default;
    virtual SWalkPoint ToScreen(SWalkPoint backdrop) const = 0;
};

class CWalker {
public:
    static constexpr std::int32_t kUnvisited = 0x7FFFFFFF;
    static constexpr std::int32_t kBlocked = -1;

    CWalker();
    ~CWalker();
    CWalker(const CWalker&) = delete;
    CWalker& operator=(const CWalker&) = delete;

    // The walk mask over width x height pixels (not owned; must outlive its use here). Null clears.
    void SetMask(const CRunMask* walkMask, std::int32_t width, std::int32_t height);
    // Index 0..6 (others leave the constraint as it was) and its reference.
    void SetConstraint(std::int32_t index, std::int32_t reference);
    const SConstraint& Constraint() const { return *m_constraint; }
    std::int32_t ConstraintIndexInUse() const { return m_index; }

    bool HasMask() const { return m_mask != nullptr; }
    std::int32_t Width() const { return m_width; }
    std::int32_t Height() const { return m_height; }
    // The walk value at a backdrop pixel (0 outside the mask or without one).
    std::uint8_t ValueAt(std::int32_t x, std::int32_t y) const;
    // Without a mask: Test(0); else Test(value at (x, y)); false outside the mask.
    bool IsAllowed(std::int32_t x, std::int32_t y) const;
    // Whether a point lies on the mask.
    bool Inside(std::int32_t x, std::int32_t y) const { return x >= 0 && y >= 0 && x < m_width && y < m_height; }

    // Searches a path from start to goal over the mask filtered by the constraint. On success the
    // path holds the goal first and the start's first waypoint last; with keep false the points are
    // mapped to the screen through `toScreen` (left as they are when it is null).
    bool FindPath(SWalkPoint start, SWalkPoint goal, WalkPath& path, bool keep,
                  const IBackdropToScreen* toScreen = nullptr);

    // Whether the line from a to b crosses no blocked cell of the grid built by the last search
    // (exposed for tests).
    bool LineClear(SWalkPoint a, SWalkPoint b) const;
    // The grid cell of the last search at a point: its wave number (steps to the goal), kUnvisited
    // or kBlocked; kBlocked outside the mask.
    std::int32_t CostAt(std::int32_t x, std::int32_t y) const;
    // First smoothing pass: drops the points inside straight runs (equal steps in and out), so each
    // run keeps only its ends.
    static void DropStraightRuns(std::vector<SWalkPoint>& points);

private:
    void BuildGrid();
    std::int32_t Cell(std::int32_t x, std::int32_t y) const;
    std::size_t Index(std::int32_t x, std::int32_t y) const {
        return (std::size_t(y) + 1) * m_stride + std::size_t(x) + 1;
    }
    void Wave(SWalkPoint goal);
    bool Trace(SWalkPoint start);
    void Shortcuts();
    void PullBack();
    // The point B pulled towards C as far as a clear line from `anchor` allows; false when no
    // candidate fits. `backwards`: the anchor comes after B on the walk.
    bool Pull(SWalkPoint anchor, SWalkPoint b, SWalkPoint c, bool backwards, SWalkPoint& out) const;

    const CRunMask* m_mask = nullptr;
    std::int32_t m_width = 0, m_height = 0;
    bool m_usable = false;               // the mask is small enough to hold in memory
    std::size_t m_stride = 0;            // grid row length: the width plus a blocked cell each side
    std::vector<std::uint8_t> m_values;  // the expanded walk mask
    // Cost per pixel for the current search, framed by a border of blocked cells so that
    // neighbour steps never leave it.
    std::vector<std::int32_t> m_grid;
    std::vector<std::uint32_t> m_front, m_next;  // wave frontiers (grid indices)
    std::vector<SWalkPoint> m_points;            // the traced and smoothed path, start first
    std::unique_ptr<SConstraint> m_constraint;
    std::int32_t m_index = kConDefault;
};

}  // namespace ove
