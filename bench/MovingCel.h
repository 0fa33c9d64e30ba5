// The benchmarks' scene object: a 32 x 48 cel that moves every frame across a 640 x 480 target,
// bouncing at the edges, drawn alpha-blended at a depth of its own like a depth-tested sprite.
#pragma once
#include "render/Cel.h"
#include "render/Renderer.h"
#include "render/SpriteBase.h"

namespace benchscene {

constexpr int kWidth = 640, kHeight = 480;
constexpr int kCelWidth = 32, kCelHeight = 48;

class CMover : public ove::CSpriteBase {
public:
    CMover(const ove::SCel& cel, int seed, float depth) : m_cel(cel), m_depth(depth) {
        m_x = float((seed * 7919) % (kWidth - kCelWidth));
        m_y = float((seed * 104729) % (kHeight - kCelHeight));
        m_dx = float(seed % 5 + 1) * ((seed & 1) ? 1.0f : -1.0f);
        m_dy = float(seed % 3 + 1) * ((seed & 2) ? 1.0f : -1.0f);
    }
    float GetDepth() override { return m_depth; }
    bool IsNoncorporeal() override { return false; }
    bool DrawsAtOwnDepth() override { return true; }  // as sprites do
    void Draw(ove::CRenderer& r) override {
        r.SetBlendMode(ove::kBlendAlpha);
        r.DrawCel(m_cel, ove::kAlignLeft, ove::kAlignTop, m_x, m_y, m_depth, 0xFFFFFFFFu);
    }
    void Move() {
        m_x += m_dx;
        m_y += m_dy;
        if (m_x < 0 || m_x > kWidth - kCelWidth) m_dx = -m_dx;
        if (m_y < 0 || m_y > kHeight - kCelHeight) m_dy = -m_dy;
    }

private:
    ove::SCel m_cel;
    float m_x, m_y, m_dx, m_dy, m_depth;
};

}  // namespace benchscene
