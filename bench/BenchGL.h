// The GL benchmarks' set-up: a hidden 640 x 480 window with a created renderer on it, and the two
// GL entry points they call directly (glFinish before reading the clock, glReadPixels to compare).
#pragma once
#include <SDL.h>

#include <cstdio>
#include <memory>

#include "MovingCel.h"
#include "render/Renderer.h"

namespace benchscene {

using FinishFn = void (*)();
using ReadPixelsFn = void (*)(int, int, int, int, unsigned, unsigned, void*);

struct SBenchGL {
    SDL_Window* window = nullptr;
    std::unique_ptr<ove::CRenderer> renderer;
    FinishFn finish = nullptr;
    ReadPixelsFn readPixels = nullptr;
};

// False (with a message naming the bench) when the offscreen driver gives no usable context.
inline bool OpenBenchGL(SBenchGL& gl, const char* bench) {
    gl.window = SDL_CreateWindow("bench", 0, 0, kWidth, kHeight, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    gl.renderer = std::make_unique<ove::CRenderer>();
    if (!gl.window || !gl.renderer->Initialise(gl.window)) return false;
    gl.renderer->SetGameSize(kWidth, kHeight);
    gl.finish = reinterpret_cast<FinishFn>(SDL_GL_GetProcAddress("glFinish"));
    gl.readPixels = reinterpret_cast<ReadPixelsFn>(SDL_GL_GetProcAddress("glReadPixels"));
    if (!gl.renderer->Create() || !gl.finish || !gl.readPixels) {
        std::fprintf(stderr, "%s: no OpenGL 3.3 on the offscreen driver: %s\n", bench, SDL_GetError());
        return false;
    }
    gl.renderer->SetFiltering(false, true);
    return true;
}

}  // namespace benchscene
