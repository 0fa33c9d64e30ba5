#include "Game.h"

#include <chrono>

namespace ove {

static CGame* g_game = nullptr;
CGame* GetGame() { return g_game; }
void SetGame(CGame* game) { g_game = game; }

CTimer::CTimer() {
    using clock = std::chrono::steady_clock;
    frequency_ = clock::period::den / clock::period::num;
    reciprocal_ = 1.0 / static_cast<double>(frequency_);
    Mark();
}

void CTimer::Mark() { mark_ = std::chrono::steady_clock::now().time_since_epoch().count(); }

float CTimer::Elapsed() const {
    int64_t now = std::chrono::steady_clock::now().time_since_epoch().count();
    return static_cast<float>(static_cast<double>(now - mark_) * reciprocal_);
}

CGame::CGame() = default;
CGame::~CGame() {
    if (g_game == this) g_game = nullptr;
}

}  // namespace ove
