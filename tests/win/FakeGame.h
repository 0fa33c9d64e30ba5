// A game host stand-in that records what the game windows tell it.
#pragma once
#include <cstdint>
#include <vector>

#include "win/GameWindow.h"

struct SMouseCall {
    int32_t x, y, kind, delta;
    bool operator==(const SMouseCall&) const = default;
};

struct SRectCall {
    int32_t x, y, width, height;
    bool operator==(const SRectCall&) const = default;
};

class FakeGame : public ove::IWindowInput {
public:
    void RouteKey(int32_t code) override { keys.push_back(code); }
    void MouseEvent(int32_t x, int32_t y, int32_t kind, int32_t wheelDelta) override {
        mouse.push_back({x, y, kind, wheelDelta});
    }
    void Resize(int32_t width, int32_t height) override { resizes.push_back({width, height}); }
    void ActivateApp(bool active) override { activations.push_back(active); }
    void ToggleFullScreen() override { ++fullScreenToggles; }
    void ViewportChanged(int32_t x, int32_t y, int32_t width, int32_t height) override {
        viewports.push_back({x, y, width, height});
    }
    int32_t GetGameWidth() const override { return gameWidth; }
    int32_t GetGameHeight() const override { return gameHeight; }
    bool IsFlexibleResolution() const override { return flexible; }
    bool HasCursorObject() const override { return cursorObject; }

    void Clear() {
        keys.clear();
        mouse.clear();
        resizes.clear();
        activations.clear();
        viewports.clear();
        fullScreenToggles = 0;
    }

    int32_t gameWidth = 320, gameHeight = 240;
    bool flexible = false;
    bool cursorObject = false;

    std::vector<int32_t> keys;
    std::vector<SMouseCall> mouse;
    std::vector<std::pair<int32_t, int32_t>> resizes;
    std::vector<bool> activations;
    std::vector<SRectCall> viewports;
    int fullScreenToggles = 0;
};
