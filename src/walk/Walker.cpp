#include "Walker.h"

#include <cmath>
#include <cstring>
#include <utility>

#include "image/RunMask.h"

namespace ove {

struct SConLess : SConstraint {
    using SConstraint::SConstraint;
    bool Test(std::uint8_t v) const override { return v < reference; }
};
struct SConLEqual : SConstraint {
    using SConstraint::SConstraint;
    bool Test(std::uint8_t v) const override { return v <= reference; }
};
struct SConEqual : SConstraint {
    using SConstraint::SConstraint;
    bool Test(std::uint8_t v) const override { return v == reference; }
};
struct SConGEqual : SConstraint {
    using SConstraint::SConstraint;
    bool Test(std::uint8_t v) const override { return v >= reference; }
};
struct SConGreater : SConstraint {
    using SConstraint::SConstraint;
    bool Test(std::uint8_t v) const override { return v > reference; }
};
struct SConNot : SConstraint {
    using SConstraint::SConstraint;
    bool Test(std::uint8_t v) const override { return v != reference; }
};
// The reference is a set of 32 bits; a value selects bit (value mod 32).
struct SConMask : SConstraint {
    using SConstraint::SConstraint;
    bool Test(std::uint8_t v) const override { return (static_cast<std::uint32_t>(reference) >> (v & 31u)) & 1u; }
};

namespace {

struct SOperator {
    const char* name;
    std::int32_t index;
};

// The first name of each index is the one reported for it.
constexpr SOperator kOperators[] = {
    {"<", kConLess},  {"<=", kConLEqual}, {"=<", kConLEqual}, {"==", kConEqual},
    {"=", kConEqual}, {">=", kConGEqual}, {"=>", kConGEqual}, {">", kConGreater},
    {"!=", kConNot},  {"<>", kConNot},    {"mask", kConMask},
};

// Beyond this many grid cells (1 GiB of costs) a mask is treated as having nowhere to walk.
constexpr std::uint64_t kMaxCells = std::uint64_t(1) << 28;

}  // namespace

std::int32_t ConstraintIndex(const char* name) {
    if (!name) return -1;
    for (const SOperator& op : kOperators)
        if (std::strcmp(op.name, name) == 0) return op.index;
    return -1;
}

const char* ConstraintName(std::int32_t index) {
    for (const SOperator& op : kOperators)
        if (op.index == index) return op.name;
    return nullptr;
}

std::unique_ptr<SConstraint> MakeConstraint(std::int32_t index, std::int32_t reference) {
    switch (index) {
    case kConLess: return std::make_unique<SConLess>(reference);
    case kConLEqual: return std::make_unique<SConLEqual>(reference);
    case kConEqual: return std::make_unique<SConEqual>(reference);
    case kConGEqual: return std::make_unique<SConGEqual>(reference);
    case kConGreater: return std::make_unique<SConGreater>(reference);
    case kConNot: return std::make_unique<SConNot>(reference);
    case kConMask: return std::make_unique<SConMask>(reference);
    default: return nullptr;
    }
}

CWalker::CWalker() : m_constraint(MakeConstraint(kConDefault, 0)) {}
CWalker::~CWalker() = default;

void CWalker::SetMask(const CRunMask* walkMask, std::int32_t width, std::int32_t height) {
    m_mask = walkMask;
    m_width = walkMask && width > 0 ? width : 0;
    m_height = walkMask && height > 0 ? height : 0;
    std::uint64_t cells = (std::uint64_t(m_width) + 2) * (std::uint64_t(m_height) + 2);
    m_usable = m_width > 0 && m_height > 0 && cells <= kMaxCells;
    if (!m_usable) {
        m_values = {};
        m_grid = {};
        m_front = {};
        m_next = {};
        m_stride = 0;
        return;
    }
    std::size_t pixels = std::size_t(m_width) * std::size_t(m_height);
    m_values.resize(pixels);
    walkMask->Expand(m_values.data(), pixels);
    m_stride = std::size_t(m_width) + 2;
    // The border stays blocked for good: the wave only ever writes unvisited cells.
    m_grid.assign(static_cast<std::size_t>(cells), kBlocked);
    // A frontier never holds more cells than the grid, plus the three slots a last branch-free
    // write may touch beyond its end.
    m_front.resize(static_cast<std::size_t>(cells) + 4);
    m_next.resize(static_cast<std::size_t>(cells) + 4);
    BuildGrid();
}

void CWalker::SetConstraint(std::int32_t index, std::int32_t reference) {
    if (index < 0 || index >= kConCount) return;
    if (index != m_index) {
        m_constraint = MakeConstraint(index, reference);
        m_index = index;
    }
    m_constraint->SetReference(reference);
}

std::uint8_t CWalker::ValueAt(std::int32_t x, std::int32_t y) const {
    if (!m_usable || !Inside(x, y)) return 0;
    return m_values[std::size_t(y) * std::size_t(m_width) + std::size_t(x)];
}

bool CWalker::IsAllowed(std::int32_t x, std::int32_t y) const {
    if (!m_mask) return m_constraint->Test(0);
    if (!m_usable || !Inside(x, y)) return false;
    return m_constraint->Test(ValueAt(x, y));
}

std::int32_t CWalker::Cell(std::int32_t x, std::int32_t y) const {
    if (!m_usable || !Inside(x, y)) return kBlocked;
    return m_grid[Index(x, y)];
}

std::int32_t CWalker::CostAt(std::int32_t x, std::int32_t y) const { return Cell(x, y); }

void CWalker::BuildGrid() {
    std::int32_t cost[256];
    for (int v = 0; v < 256; ++v) cost[v] = m_constraint->Test(static_cast<std::uint8_t>(v)) ? kUnvisited : kBlocked;
    const std::uint8_t* values = m_values.data();
    for (std::int32_t y = 0; y < m_height; ++y) {
        std::int32_t* row = m_grid.data() + Index(0, y);
        const std::uint8_t* src = values + std::size_t(y) * std::size_t(m_width);
        for (std::int32_t x = 0; x < m_width; ++x) row[x] = cost[src[x]];
    }
}

bool CWalker::LineClear(SWalkPoint a, SWalkPoint b) const {
    if (!m_usable || !Inside(a.x, a.y) || !Inside(b.x, b.y)) return false;
    // Both ends lie on the mask, so every point between them does too; the products below fit in 64 bits.
    const std::int64_t dx = std::int64_t(b.x) - a.x, dy = std::int64_t(b.y) - a.y;
    const std::int32_t* grid = m_grid.data();
    const std::int64_t stride = static_cast<std::int64_t>(m_stride);
    const std::int64_t origin = static_cast<std::int64_t>(Index(a.x, a.y));
    if ((dx < 0 ? -dx : dx) <= (dy < 0 ? -dy : dy)) {
        const std::int64_t step = dy > 0 ? 1 : -1;
        for (std::int64_t t = 0; t != dy; t += step)
            if (grid[origin + t * stride + t * dx / dy] < 0) return false;
    } else {
        const std::int64_t step = dx > 0 ? 1 : -1;
        for (std::int64_t t = 0; t != dx; t += step)
            if (grid[origin + (t * dy / dx) * stride + t] < 0) return false;
    }
    return true;
}

void CWalker::Wave(SWalkPoint goal) {
    std::int32_t* grid = m_grid.data();
    const std::uint32_t stride = static_cast<std::uint32_t>(m_stride);
    // Both frontiers are sized to the whole grid by SetMask, so they are filled without checks.
    std::uint32_t* front = m_front.data();
    std::uint32_t* next = m_next.data();
    std::size_t frontSize = 1, nextSize = 0;
    const auto g = static_cast<std::uint32_t>(Index(goal.x, goal.y));
    grid[g] = 0;
    front[0] = g;
    std::int32_t n = 1;
    for (;;) {
        while (frontSize) {
            const std::uint32_t i = front[--frontSize];
            // Left, right, up, down; the blocked border keeps every neighbour inside the grid.
            // The frontier slot is written either way and kept only for a new cell: whether a cell
            // is new is as good as random to a branch predictor.
            auto visit = [&](std::uint32_t j) {
                const bool fresh = grid[j] == kUnvisited;
                if (fresh) grid[j] = n;
                next[nextSize] = j;
                nextSize += fresh;
            };
            visit(i - 1);
            visit(i + 1);
            visit(i - stride);
            visit(i + stride);
        }
        if (!nextSize) break;
        std::swap(front, next);
        frontSize = nextSize;
        nextSize = 0;
        ++n;
    }
}

bool CWalker::Trace(SWalkPoint p) {
    const std::int32_t* grid = m_grid.data();
    const std::size_t stride = m_stride;
    m_points.clear();
    for (;;) {
        m_points.push_back(p);
        const std::size_t i = Index(p.x, p.y);
        const std::int32_t v = grid[i];
        if (v == 0) return true;
        if (v == kUnvisited || v < 0) return false;
        const std::int32_t w = v - 1;
        // A diagonal step needs both orthogonal neighbours on the way, so it never cuts a corner.
        const bool diagonal = v >= 2;
        if (grid[i - 1] == w || grid[i + 1] == w) {
            const std::int32_t dx = grid[i - 1] == w ? -1 : 1;
            p.x += dx;
            if (diagonal && grid[i - stride] == w && grid[i - stride + dx] == v - 2) --p.y;
            else if (diagonal && grid[i + stride] == w && grid[i + stride + dx] == v - 2) ++p.y;
        } else if (grid[i - stride] == w) {
            --p.y;
        } else if (grid[i + stride] == w) {
            ++p.y;
        } else {
            return false;
        }
    }
}

void CWalker::DropStraightRuns(std::vector<SWalkPoint>& p) {
    const std::size_t n = p.size();
    if (n <= 2) return;
    // A point whose step in equals its step out lies inside a straight run.
    SWalkPoint prev = p[0];
    std::size_t out = 1;
    for (std::size_t i = 1; i < n; ++i) {
        const SWalkPoint cur = p[i];
        const bool inside = i + 1 < n && p[i + 1].x - cur.x == cur.x - prev.x && p[i + 1].y - cur.y == cur.y - prev.y;
        prev = cur;
        if (!inside) p[out++] = cur;
    }
    p.resize(out);
}

bool CWalker::Pull(SWalkPoint anchor, SWalkPoint b, SWalkPoint c, bool backwards, SWalkPoint& out) const {
    const std::int64_t dx = std::int64_t(c.x) - b.x, dy = std::int64_t(c.y) - b.y;
    const std::int64_t d2 = dx * dx + dy * dy;
    if (d2 < 100) return false;
    const double length = std::sqrt(static_cast<double>(d2));
    std::int64_t k = length * 0.1 >= 5 ? 10 : static_cast<std::int64_t>(length * 0.2);
    if (k < 1) k = 1;
    for (std::int64_t i = k - 1; i >= 1; --i) {
        const SWalkPoint cand{static_cast<std::int32_t>(b.x + dx * i / k), static_cast<std::int32_t>(b.y + dy * i / k)};
        if (!LineClear(anchor, cand)) continue;
        // Pulled from the goal end, the anchor is walked to from the candidate rather than the
        // other way, and the candidate need not lie on the raster of C -> B. The line test is not
        // symmetric, so check both new segments in the direction they will be walked.
        if (backwards && !(LineClear(cand, anchor) && LineClear(c, cand))) continue;
        out = cand;
        return true;
    }
    return false;
}

void CWalker::Shortcuts() {
    std::vector<SWalkPoint>& p = m_points;
    const std::size_t n = p.size();
    if (n <= 2) return;
    // In place: p[0, out) is settled, `b` is the pending point, p[j] the one after it.
    std::size_t out = 1;
    SWalkPoint b = p[1];
    for (std::size_t j = 2; j < n; ++j) {
        const SWalkPoint a = p[out - 1], c = p[j];
        if (LineClear(a, c)) {
            b = c;  // drop B and look again from A
            continue;
        }
        SWalkPoint pulled;
        if (Pull(a, b, c, false, pulled)) b = pulled;
        p[out++] = b;
        b = c;
    }
    p[out++] = b;
    p.resize(out);
}

void CWalker::PullBack() {
    std::vector<SWalkPoint>& p = m_points;
    if (p.size() <= 2) return;
    for (std::size_t j = p.size() - 2; j >= 1; --j) {
        SWalkPoint pulled;
        if (Pull(p[j + 1], p[j], p[j - 1], true, pulled)) p[j] = pulled;
    }
}

bool CWalker::FindPath(SWalkPoint start, SWalkPoint goal, WalkPath& path, bool keep,
                       const IBackdropToScreen* toScreen) {
    path.clear();
    auto emit = [&](SWalkPoint p) { path.push_back(!keep && toScreen ? toScreen->ToScreen(p) : p); };
    if (!m_mask) {
        emit(goal);
        emit(start);
        return true;
    }
    // Off the mask counts as blocked, whatever the coordinates.
    if (!m_usable || !Inside(start.x, start.y) || !Inside(goal.x, goal.y)) return false;
    if (start == goal) {
        emit(goal);
        return true;
    }
    if (!m_constraint->Test(ValueAt(start.x, start.y)) || !m_constraint->Test(ValueAt(goal.x, goal.y))) return false;
    BuildGrid();
    if (LineClear(start, goal)) {
        emit(goal);
        emit(start);
        return true;
    }
    Wave(goal);
    if (!Trace(start)) return false;
    DropStraightRuns(m_points);
    Shortcuts();
    PullBack();
    path.reserve(m_points.size());
    for (std::size_t i = m_points.size(); i-- > 0;) emit(m_points[i]);
    return true;
}

}  // namespace ove
