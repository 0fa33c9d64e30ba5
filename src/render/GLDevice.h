// The OpenGL 3.3 core device under the renderer: context, one shader pair that reproduces the
// fixed-function states the renderer uses, render states, textures and an off-screen target.
// Only this file pair includes GL headers.
#pragma once
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "render/Renderer.h"

struct SDL_Window;

namespace ove {

// A rectangle in target pixels, top-left origin, right and bottom exclusive.
struct SDeviceRect {
    int x1, y1, x2, y2;
};

enum : int {
    kDeviceBlendOff = 0,
    kDeviceBlendAlpha = 1,
    kDeviceBlendAdd = 2,
    kDeviceBlendDepthOnly = 3,  // source zero, destination one
};

enum : int {
    kTextureStageDiffuse = 0,   // no texture: the vertex colour
    kTextureStageModulate = 1,  // texture x vertex colour
    kTextureStageSelect = 2,    // the texture alone
    // Writes depth only: the texel's red byte is a priority level 1..15 whose depth becomes the
    // fragment's; texels with alpha 0 are dropped like everywhere else.
    kTextureStageLevelDepth = 3,
};

class CGLDevice {
public:
    // Sets the context attributes SDL uses when it creates an OpenGL window and its context.
    static void PrepareAttributes();
    // Creates the context on the window and the device objects. Null with the failure in `error`
    // and `code` set to the renderer error (3: no context, 2: no depth buffer).
    static std::unique_ptr<CGLDevice> Create(SDL_Window* window, std::string& error, int& code);
    ~CGLDevice();
    CGLDevice(const CGLDevice&) = delete;
    CGLDevice& operator=(const CGLDevice&) = delete;

    bool HasStencil() const { return m_stencilBits > 0; }
    int MaxTextureSize() const { return m_maxTextureSize; }
    void DrawableSize(int& width, int& height) const;

    // ---- targets
    // Draw into the window's default framebuffer, in the rectangle (x, y, w, h) given with a
    // top-left origin in window pixels.
    void TargetWindow(int x, int y, int width, int height);
    // Creates (or re-uses) an off-screen colour + depth/stencil target and draws into it.
    // False with `failure` set to the message of the missing part.
    bool TargetOffscreen(int width, int height, std::string& failure);
    int TargetWidth() const { return m_targetWidth; }
    int TargetHeight() const { return m_targetHeight; }
    // Reads the whole current target as BGRA rows, bottom row first.
    void ReadTarget(std::uint8_t* out);
    void ReleaseOffscreen();
    // Clears the whole window to black (the margins around the viewport).
    void ClearWindow();
    void Swap();

    // ---- frames
    // A frame starts from fixed states (the caller sets its own again) and its calls are kept
    // back until EndFrame, which sends them, unless they are exactly those of the last frame sent
    // (same calls, vertices and texture contents) and the window still shows that frame: then
    // nothing is sent and it returns false, and the window must not be swapped. Work that needs
    // GL at once in between (a read-back, texture work) sends what came before, and the frame is
    // then sent in full.
    void BeginFrame();
    bool EndFrame();
    // Work sent at once and kept out of the frame's calls: it must leave the target's colour and
    // every state as it found them (EndAside sets the states back).
    void BeginAside();
    void EndAside();
    // The window's contents were lost or changed: the next frame is sent whatever it holds.
    void InvalidateWindow() { m_windowStale = true; }
    // Waits until the frame handed over at the last swap is drawn (nothing when none is pending).
    void WaitForFrame();

    // ---- a kept copy of the target's depth and stencil
    // Copies the current target's depth and stencil aside (one copy for the window, one for the
    // off-screen target); false when the device cannot.
    bool SaveDepth();
    // Puts the copy taken from a target of the current one's kind back when it has its size;
    // false otherwise, with nothing done.
    bool RestoreDepth();

    // ---- states
    // Clears the given parts inside `rect` (whole target when null); ignores the write masks.
    void Clear(bool colour, std::uint32_t argb, bool depth, float z, bool stencil, int s,
               const SDeviceRect* rect = nullptr);
    void SetBlend(int mode);
    void SetColourWrite(bool on);
    void SetDepthTest(bool on);
    void SetDepthWrite(bool on);
    void SetStencilTest(bool on);
    void SetScissor(const SDeviceRect* rect);  // null switches it off
    void SetFiltering(bool linear);
    void SetClamp(bool clamp);
    void SetTextureStage(int stage);
    void BindTexture(unsigned id);

    // ---- drawing: vertices in the renderer's target space (pixel centres on integers)
    // Primitives are collected into one triangle list until anything that could change their
    // result happens: a state or texture change, a clear, a read-back, a target switch or the
    // swap. Every state setter above flushes first, but only when the state really changes.
    void Draw(const SVertex* vertices, int count, bool fan);
    void Flush();
    // Draw calls sent to GL so far.
    std::uint64_t DrawCalls() const { return m_drawCalls; }
    // Whether the swap waits for frames to be drawn (the offscreen driver, whose swap does not).
    bool FinishesAtSwap() const { return m_finishAtSwap; }

    // ---- textures: BGRA rows, top row first
    unsigned CreateTexture(int width, int height, const std::uint8_t* pixels);
    void UploadTexture(unsigned id, int width, int height, const std::uint8_t* pixels);
    void DeleteTexture(unsigned id);

private:
    // One queued GL call: plain ints and floats without padding, so that frames compare bytewise.
    struct SCommand {
        std::int32_t op;
        std::int32_t i[9];
        float f[4];
    };
    static_assert(sizeof(SCommand) == 56, "commands compare bytewise");

    // A kept depth copy for each kind of target: [0] the window, [1] the off-screen target.
    struct SDepthCopy {
        unsigned fbo = 0, buffer = 0;
        int width = 0, height = 0;
        bool valid = false, broken = false;
        std::uint32_t version = 0;  // counts the copies taken
    };

    CGLDevice() = default;
    void Emit(std::int32_t op, std::initializer_list<std::int32_t> ints, std::initializer_list<float> floats = {});
    void Run(const SCommand& command, std::size_t vertexBase, std::size_t indexBase);
    // Points the vertex attributes at the vertex buffer from `firstVertex` on.
    void PointAttributes(std::size_t firstVertex);
    // Sends the calls queued and not sent yet.
    void Submit();
    void ClearCommands();
    bool Init(std::string& error);
    void BindSampler();
    void SetTargetUniform();
    void ToGL(const SDeviceRect& r, int& x, int& y, int& w, int& h) const;
    void ReleaseDepthCopy(SDepthCopy& copy);
    unsigned DepthCopyBits() const;
    void BlitDepth(int fromX, int fromY, int toX, int toY);

    SDL_Window* m_window = nullptr;
    void* m_context = nullptr;
    int m_stencilBits = 0;
    int m_depthBits = 0;
    int m_maxTextureSize = 0;
    static constexpr int kStageCount = 4;
    unsigned m_programs[kStageCount] = {};
    unsigned m_vao = 0, m_vbo = 0, m_ibo = 0;
    unsigned m_samplers[4] = {};  // [linear][clamp]
    int m_uTarget[kStageCount] = {-1, -1, -1, -1};
    unsigned m_fbo = 0, m_fboColour = 0, m_fboDepth = 0;
    int m_fboWidth = 0, m_fboHeight = 0;
    bool m_offscreen = false;
    SDepthCopy m_depthCopies[2];
    int m_targetX = 0, m_targetY = 0;  // GL viewport origin (bottom-left)
    int m_targetWidth = 0, m_targetHeight = 0;
    static constexpr std::size_t kInitialVertexBytes = 64 * 1024;
    std::size_t m_vboCapacity = 0;
    std::size_t m_vboOffset = 0;
    std::size_t m_iboCapacity = 0;
    std::size_t m_iboOffset = 0;
    // The queue: calls, and the vertices and indices (from each draw's first vertex) they draw.
    std::vector<SCommand> m_commands;
    std::vector<SVertex> m_batch;
    std::vector<std::uint32_t> m_indices;
    std::size_t m_batchStart = 0, m_indexStart = 0;  // of the draw being collected
    std::size_t m_sent = 0, m_sentVertices = 0, m_sentIndices = 0;
    bool m_inFrame = false;
    struct SAside {
        std::size_t commands, vertices, indices;
        int blend, stage, colourWrite, depthTest, depthWrite, stencilTest, linear, clamp;
        unsigned texture;
        bool scissor;
        SDeviceRect scissorRect;
    } m_aside{};
    bool m_windowStale = true;
    // The last frame sent, as queued.
    std::vector<SCommand> m_lastCommands;
    std::vector<SVertex> m_lastBatch;
    std::vector<std::uint32_t> m_lastIndices;
    // Every texture upload gets a version of its own: a frame records what it sampled.
    std::unordered_map<unsigned, std::uint32_t> m_versions;
    std::uint32_t m_nextVersion = 0;
    std::uint32_t m_textureVersion = 0;  // of the bound texture
    std::uint64_t m_drawCalls = 0;
    bool m_finishAtSwap = false;
    // The fence after the last frame handed to the driver, when the swap does not wait by itself.
    void* m_frameFence = nullptr;

    // state cache (the renderer keeps its own; this one spares redundant GL calls)
    int m_blend = -1;
    int m_stage = -1;
    int m_colourWrite = -1, m_depthTest = -1, m_depthWrite = -1, m_stencilTest = -1;
    int m_linear = 0, m_clamp = 0;
    unsigned m_texture = 0;
    bool m_scissor = false;
    SDeviceRect m_scissorRect{0, 0, 0, 0};
};

}  // namespace ove
