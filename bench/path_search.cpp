// Path search on a 640 x 400 maze walk mask: our walker (full wave, trace and smoothing) against a
// plain textbook breadth-first search (std::queue, 4 neighbours, parent array) on the same grid.
// Prints milliseconds per search for both (median of alternating batches) and our time as a
// multiple of the textbook one.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <queue>
#include <random>
#include <vector>

#include "image/RunMask.h"
#include "walk/Walker.h"

namespace {

using ove::SWalkPoint;
constexpr int kW = 640, kH = 400;
constexpr int kCell = 8;  // 6 pixels of corridor, 2 of wall
constexpr int kCols = kW / kCell, kRows = kH / kCell;

// A perfect maze (depth-first carving, fixed seed): every corridor joins the rest, so a wave from
// one corner floods it all, and the corner-to-corner route winds through much of it.
std::vector<std::uint8_t> MakeMaze() {
    std::vector<std::uint8_t> v(std::size_t(kW) * kH, 0);
    auto open = [&](int x0, int y0, int x1, int y1) {
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) v[std::size_t(y) * kW + x] = 1;
    };
    std::vector<char> seen(kCols * kRows, 0);
    std::vector<int> stack{0};
    seen[0] = 1;
    std::mt19937 rng(20240611);
    while (!stack.empty()) {
        int c = stack.back(), cx = c % kCols, cy = c / kCols;
        open(cx * kCell + 1, cy * kCell + 1, cx * kCell + 7, cy * kCell + 7);
        int next[4], n = 0;
        const int dx[4] = {-1, 1, 0, 0}, dy[4] = {0, 0, -1, 1};
        for (int d = 0; d < 4; ++d) {
            int nx = cx + dx[d], ny = cy + dy[d];
            if (nx >= 0 && ny >= 0 && nx < kCols && ny < kRows && !seen[ny * kCols + nx]) next[n++] = d;
        }
        if (!n) {
            stack.pop_back();
            continue;
        }
        int d = next[rng() % n], nx = cx + dx[d], ny = cy + dy[d];
        // Knock through the wall between the two cells.
        open(std::min(cx, nx) * kCell + 1, std::min(cy, ny) * kCell + 1, std::max(cx, nx) * kCell + 7,
             std::max(cy, ny) * kCell + 7);
        seen[ny * kCols + nx] = 1;
        stack.push_back(ny * kCols + nx);
    }
    return v;
}

// The textbook search: from start until the goal comes off the queue, then the route by parents.
std::vector<SWalkPoint> TextbookBfs(const std::vector<std::uint8_t>& values, SWalkPoint start, SWalkPoint goal) {
    std::vector<int> parent(values.size(), -1);
    std::queue<int> queue;
    const int s = start.y * kW + start.x, g = goal.y * kW + goal.x;
    parent[s] = s;
    queue.push(s);
    while (!queue.empty()) {
        int i = queue.front();
        queue.pop();
        if (i == g) break;
        int x = i % kW, y = i / kW;
        const int nb[4][2] = {{x - 1, y}, {x + 1, y}, {x, y - 1}, {x, y + 1}};
        for (const auto& p : nb) {
            if (p[0] < 0 || p[1] < 0 || p[0] >= kW || p[1] >= kH) continue;
            int j = p[1] * kW + p[0];
            if (values[j] != 0 && parent[j] < 0) {
                parent[j] = i;
                queue.push(j);
            }
        }
    }
    std::vector<SWalkPoint> route;
    if (parent[g] < 0) return route;
    for (int i = g;; i = parent[i]) {
        route.push_back({i % kW, i / kW});
        if (i == s) break;
    }
    return route;
}

double Ms(std::chrono::steady_clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 50;
    const std::vector<std::uint8_t> values = MakeMaze();
    const ove::CRunMask mask = ove::CRunMask::Encode(values.data(), static_cast<std::uint32_t>(values.size()));
    ove::CWalker walker;
    walker.SetMask(&mask, kW, kH);
    const SWalkPoint start{3, 3}, goal{kW - 5, kH - 5};

    std::size_t open = 0;
    for (auto v : values) open += v != 0;

    // Warm up both and check the answers.
    ove::WalkPath path;
    if (!walker.FindPath(start, goal, path, true)) {
        std::printf("FAIL: the walker found no path\n");
        return 1;
    }
    const int steps = walker.CostAt(start.x, start.y);
    std::vector<SWalkPoint> route = TextbookBfs(values, start, goal);
    if (route.empty()) {
        std::printf("FAIL: the textbook search found no path\n");
        return 1;
    }
    if (static_cast<int>(route.size()) - 1 != steps) {
        std::printf("FAIL: route lengths differ: walker %d steps, textbook %zu\n", steps, route.size() - 1);
        return 1;
    }
    if (path.front() != goal || path.back() != start) {
        std::printf("FAIL: the walker's path has the wrong ends\n");
        return 1;
    }
    for (std::size_t i = path.size() - 1; i > 0; --i)
        if (!walker.LineClear(path[i], path[i - 1])) {
            std::printf("FAIL: segment %zu crosses a wall\n", i);
            return 1;
        }

    // Batches alternate between the two so that load from elsewhere on the machine hits both alike;
    // the median batch of each is reported.
    constexpr int kBatches = 9;
    std::vector<double> ourBatches, peerBatches;
    std::size_t sink = 0;
    for (int b = 0; b < kBatches; ++b) {
        auto t0 = std::chrono::steady_clock::now();
        for (int r = 0; r < runs; ++r) {
            ove::WalkPath fresh;
            sink += walker.FindPath(start, goal, fresh, true) ? fresh.size() : 0;
        }
        auto t1 = std::chrono::steady_clock::now();
        for (int r = 0; r < runs; ++r) sink += TextbookBfs(values, start, goal).size();
        auto t2 = std::chrono::steady_clock::now();
        ourBatches.push_back(Ms(t1 - t0) / runs);
        peerBatches.push_back(Ms(t2 - t1) / runs);
    }
    std::sort(ourBatches.begin(), ourBatches.end());
    std::sort(peerBatches.begin(), peerBatches.end());
    const double ours = ourBatches[kBatches / 2], peer = peerBatches[kBatches / 2];
    std::printf("maze %dx%d, %zu walkable pixels, route %d steps, walker path %zu points (checksum %zu)\n", kW, kH,
                open, steps, path.size(), sink);
    std::printf("walker FindPath (full wave + trace + smoothing): %.3f ms/search\n", ours);
    std::printf("textbook BFS (std::queue, stops at goal):       %.3f ms/search\n", peer);
    std::printf("walker / textbook: %.2fx  (target: under 2 ms per search: %s)\n", ours / peer,
                ours < 2.0 ? "met" : "MISSED");
    return 0;
}
