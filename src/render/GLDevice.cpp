#include "render/GLDevice.h"

#include <SDL.h>
#include <GL/glcorearb.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <vector>

namespace ove {
namespace {

// Entry points, looked up through SDL once a context is current.
#define OVE_GL_FUNCTIONS(X)                                                \
    X(PFNGLGETSTRINGPROC, GetString)                                       \
    X(PFNGLGETINTEGERVPROC, GetIntegerv)                                   \
    X(PFNGLENABLEPROC, Enable)                                             \
    X(PFNGLDISABLEPROC, Disable)                                           \
    X(PFNGLBLENDFUNCPROC, BlendFunc)                                       \
    X(PFNGLDEPTHFUNCPROC, DepthFunc)                                       \
    X(PFNGLDEPTHMASKPROC, DepthMask)                                       \
    X(PFNGLCOLORMASKPROC, ColorMask)                                       \
    X(PFNGLSTENCILFUNCPROC, StencilFunc)                                   \
    X(PFNGLSTENCILOPPROC, StencilOp)                                       \
    X(PFNGLSTENCILMASKPROC, StencilMask)                                   \
    X(PFNGLCLEARPROC, Clear)                                               \
    X(PFNGLCLEARCOLORPROC, ClearColor)                                     \
    X(PFNGLCLEARDEPTHPROC, ClearDepth)                                     \
    X(PFNGLCLEARSTENCILPROC, ClearStencil)                                 \
    X(PFNGLSCISSORPROC, Scissor)                                           \
    X(PFNGLVIEWPORTPROC, Viewport)                                         \
    X(PFNGLGENTEXTURESPROC, GenTextures)                                   \
    X(PFNGLDELETETEXTURESPROC, DeleteTextures)                             \
    X(PFNGLBINDTEXTUREPROC, BindTexture)                                   \
    X(PFNGLTEXIMAGE2DPROC, TexImage2D)                                     \
    X(PFNGLTEXSUBIMAGE2DPROC, TexSubImage2D)                               \
    X(PFNGLTEXPARAMETERIPROC, TexParameteri)                               \
    X(PFNGLPIXELSTOREIPROC, PixelStorei)                                   \
    X(PFNGLACTIVETEXTUREPROC, ActiveTexture)                               \
    X(PFNGLGENSAMPLERSPROC, GenSamplers)                                   \
    X(PFNGLDELETESAMPLERSPROC, DeleteSamplers)                             \
    X(PFNGLBINDSAMPLERPROC, BindSampler)                                   \
    X(PFNGLSAMPLERPARAMETERIPROC, SamplerParameteri)                       \
    X(PFNGLCREATESHADERPROC, CreateShader)                                 \
    X(PFNGLSHADERSOURCEPROC, ShaderSource)                                 \
    X(PFNGLCOMPILESHADERPROC, CompileShader)                               \
    X(PFNGLGETSHADERIVPROC, GetShaderiv)                                   \
    X(PFNGLGETSHADERINFOLOGPROC, GetShaderInfoLog)                         \
    X(PFNGLCREATEPROGRAMPROC, CreateProgram)                               \
    X(PFNGLATTACHSHADERPROC, AttachShader)                                 \
    X(PFNGLBINDATTRIBLOCATIONPROC, BindAttribLocation)                     \
    X(PFNGLBINDFRAGDATALOCATIONPROC, BindFragDataLocation)                 \
    X(PFNGLLINKPROGRAMPROC, LinkProgram)                                   \
    X(PFNGLGETPROGRAMIVPROC, GetProgramiv)                                 \
    X(PFNGLGETPROGRAMINFOLOGPROC, GetProgramInfoLog)                       \
    X(PFNGLDELETESHADERPROC, DeleteShader)                                 \
    X(PFNGLDELETEPROGRAMPROC, DeleteProgram)                               \
    X(PFNGLUSEPROGRAMPROC, UseProgram)                                     \
    X(PFNGLGETUNIFORMLOCATIONPROC, GetUniformLocation)                     \
    X(PFNGLUNIFORM1IPROC, Uniform1i)                                       \
    X(PFNGLUNIFORM2FPROC, Uniform2f)                                       \
    X(PFNGLUNIFORM1FVPROC, Uniform1fv)                                     \
    X(PFNGLGENVERTEXARRAYSPROC, GenVertexArrays)                           \
    X(PFNGLBINDVERTEXARRAYPROC, BindVertexArray)                           \
    X(PFNGLDELETEVERTEXARRAYSPROC, DeleteVertexArrays)                     \
    X(PFNGLGENBUFFERSPROC, GenBuffers)                                     \
    X(PFNGLBINDBUFFERPROC, BindBuffer)                                     \
    X(PFNGLBUFFERDATAPROC, BufferData)                                     \
    X(PFNGLBUFFERSUBDATAPROC, BufferSubData)                               \
    X(PFNGLDELETEBUFFERSPROC, DeleteBuffers)                               \
    X(PFNGLVERTEXATTRIBPOINTERPROC, VertexAttribPointer)                   \
    X(PFNGLENABLEVERTEXATTRIBARRAYPROC, EnableVertexAttribArray)           \
    X(PFNGLDRAWELEMENTSBASEVERTEXPROC, DrawElementsBaseVertex)             \
    X(PFNGLGENFRAMEBUFFERSPROC, GenFramebuffers)                           \
    X(PFNGLBINDFRAMEBUFFERPROC, BindFramebuffer)                           \
    X(PFNGLDELETEFRAMEBUFFERSPROC, DeleteFramebuffers)                     \
    X(PFNGLFRAMEBUFFERRENDERBUFFERPROC, FramebufferRenderbuffer)           \
    X(PFNGLCHECKFRAMEBUFFERSTATUSPROC, CheckFramebufferStatus)             \
    X(PFNGLGENRENDERBUFFERSPROC, GenRenderbuffers)                         \
    X(PFNGLBINDRENDERBUFFERPROC, BindRenderbuffer)                         \
    X(PFNGLRENDERBUFFERSTORAGEPROC, RenderbufferStorage)                   \
    X(PFNGLDELETERENDERBUFFERSPROC, DeleteRenderbuffers)                   \
    X(PFNGLREADPIXELSPROC, ReadPixels)                                     \
    X(PFNGLBLITFRAMEBUFFERPROC, BlitFramebuffer)                           \
    X(PFNGLGETERRORPROC, GetError)                                         \
    X(PFNGLFINISHPROC, Finish)                                             \
    X(PFNGLFLUSHPROC, Flush)                                               \
    X(PFNGLFENCESYNCPROC, FenceSync)                                       \
    X(PFNGLCLIENTWAITSYNCPROC, ClientWaitSync)                             \
    X(PFNGLDELETESYNCPROC, DeleteSync)

struct SGL {
#define OVE_GL_MEMBER(type, name) type name = nullptr;
    OVE_GL_FUNCTIONS(OVE_GL_MEMBER)
#undef OVE_GL_MEMBER
};

SGL gl;

bool LoadFunctions(std::string& missing) {
#define OVE_GL_LOAD(type, name)                                                     \
    gl.name = reinterpret_cast<type>(SDL_GL_GetProcAddress("gl" #name));           \
    if (!gl.name) {                                                                 \
        missing = "gl" #name;                                                       \
        return false;                                                               \
    }
    OVE_GL_FUNCTIONS(OVE_GL_LOAD)
#undef OVE_GL_LOAD
    return true;
}

// Pre-transformed vertices: D3D puts pixel centres on integers, GL on half-integers, hence + 0.5.
// The reciprocal w is not used: every primitive the renderer sends has one rhw for all its
// vertices, where it cannot change the interpolation, and w = 1 keeps depths bit-exact.
const char* kVertexShader = R"(#version 330 core
in vec4 aPosition;
in vec4 aColour;
in vec2 aTexCoord;
uniform vec2 uTarget;
// Every primitive the renderer sends has one colour on all its vertices: flat, the colour is
// neither set up nor interpolated per pixel.
flat out vec4 vColour;
out vec2 vTexCoord;
void main() {
    vec2 p = (aPosition.xy + 0.5) / uTarget * 2.0 - 1.0;
    gl_Position = vec4(p.x, -p.y, aPosition.z * 2.0 - 1.0, 1.0);
    vColour = aColour;
    vTexCoord = aTexCoord;
}
)";

// Texture stage 0 (diffuse, modulate or select) and the alpha test "greater than 0". One program
// per stage, chosen by a define: software GL runs every branch of a shader for every pixel, so a
// stage switch inside one shader would cost all three.
const char* kFragmentShader = R"(
flat in vec4 vColour;
in vec2 vTexCoord;
uniform sampler2D uTexture;
uniform float uLevelDepth[16];
out vec4 fragColour;
void main() {
#if STAGE == 3
    // The whole priority map in one pass: the depth of each level comes from the same float
    // table the scene objects' depths do, so that an object level with the map ties exactly.
    vec4 t = texture(uTexture, vTexCoord);
    if (t.a < 0.5 / 255.0) discard;
    gl_FragDepth = uLevelDepth[int(t.r * 255.0 + 0.5) & 15];
    fragColour = t;
    return;
#endif
#if STAGE == 1
    vec4 c = vColour * texture(uTexture, vTexCoord);
#elif STAGE == 2
    vec4 t = texture(uTexture, vTexCoord);
    vec4 c = vec4(t.rgb, t.a * vColour.a);
#else
    vec4 c = vColour;
#endif
    if (c.a < 0.5 / 255.0) discard;
    fragColour = c;
}
)";

unsigned Compile(GLenum kind, const char* source, std::string& error, const char* prelude = "") {
    GLuint shader = gl.CreateShader(kind);
    const char* parts[2] = {prelude, source};
    gl.ShaderSource(shader, 2, parts, nullptr);
    gl.CompileShader(shader);
    GLint ok = 0;
    gl.GetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        char log[1024] = {};
        gl.GetShaderInfoLog(shader, sizeof log, nullptr, log);
        error = std::string("shader compilation failed: ") + log;
        gl.DeleteShader(shader);
        return 0;
    }
    return shader;
}

}  // namespace

void CGLDevice::PrepareAttributes() {
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 8);
}

std::unique_ptr<CGLDevice> CGLDevice::Create(SDL_Window* window, std::string& error, int& code) {
    code = kRenderNoDevice;
    if (!window) {
        error = "no window";
        return nullptr;
    }
    PrepareAttributes();
    std::unique_ptr<CGLDevice> device(new CGLDevice());
    device->m_window = window;
    device->m_context = SDL_GL_CreateContext(window);
    if (!device->m_context) {
        error = std::string("SDL_GL_CreateContext: ") + SDL_GetError();
        return nullptr;
    }
    SDL_GL_SetSwapInterval(0);
    // The offscreen driver's swap presents nothing and so never makes software GL rasterise: queued
    // frames would pile up (and their memory with them) while nothing is drawn.
    const char* driver = SDL_GetCurrentVideoDriver();
    device->m_finishAtSwap = driver && SDL_strcmp(driver, "offscreen") == 0;
    SDL_GL_GetAttribute(SDL_GL_DEPTH_SIZE, &device->m_depthBits);
    SDL_GL_GetAttribute(SDL_GL_STENCIL_SIZE, &device->m_stencilBits);
    if (device->m_depthBits < 16) {
        code = kRenderNoDepthFormat;
        error = "the window has no depth buffer";
        return nullptr;
    }
    if (!device->Init(error)) return nullptr;
    code = kRenderOk;
    return device;
}

bool CGLDevice::Init(std::string& error) {
    if (!LoadFunctions(error)) {
        error = "missing OpenGL entry point " + error;
        return false;
    }
    GLint maxSize = 0;
    gl.GetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
    m_maxTextureSize = maxSize > 0 ? maxSize : 1024;

    GLuint vs = Compile(GL_VERTEX_SHADER, kVertexShader, error);
    if (!vs) return false;
    for (int stage = 0; stage < kStageCount; ++stage) {
        char prelude[64];
        std::snprintf(prelude, sizeof prelude, "#version 330 core\n#define STAGE %d\n", stage);
        GLuint fs = Compile(GL_FRAGMENT_SHADER, kFragmentShader, error, prelude);
        if (!fs) {
            gl.DeleteShader(vs);
            return false;
        }
        GLuint program = gl.CreateProgram();
        m_programs[stage] = program;
        gl.AttachShader(program, vs);
        gl.AttachShader(program, fs);
        gl.BindAttribLocation(program, 0, "aPosition");
        gl.BindAttribLocation(program, 1, "aColour");
        gl.BindAttribLocation(program, 2, "aTexCoord");
        gl.BindFragDataLocation(program, 0, "fragColour");
        gl.LinkProgram(program);
        gl.DeleteShader(fs);
        GLint ok = 0;
        gl.GetProgramiv(program, GL_LINK_STATUS, &ok);
        if (!ok) {
            char log[1024] = {};
            gl.GetProgramInfoLog(program, sizeof log, nullptr, log);
            error = std::string("shader link failed: ") + log;
            gl.DeleteShader(vs);
            return false;
        }
        gl.UseProgram(program);
        m_uTarget[stage] = gl.GetUniformLocation(program, "uTarget");
        gl.Uniform1i(gl.GetUniformLocation(program, "uTexture"), 0);
        if (stage == kTextureStageLevelDepth) {
            float depths[16];
            for (int k = 0; k < 16; ++k) depths[k] = CRenderer::PriorityDepth(k);
            gl.Uniform1fv(gl.GetUniformLocation(program, "uLevelDepth"), 16, depths);
        }
    }
    gl.DeleteShader(vs);

    gl.GenVertexArrays(1, &m_vao);
    gl.BindVertexArray(m_vao);
    gl.GenBuffers(1, &m_vbo);
    gl.BindBuffer(GL_ARRAY_BUFFER, m_vbo);
    m_vboCapacity = kInitialVertexBytes;
    gl.BufferData(GL_ARRAY_BUFFER, GLsizeiptr(m_vboCapacity), nullptr, GL_STREAM_DRAW);
    m_batch.reserve(kInitialVertexBytes / sizeof(SVertex));
    // The vertex array keeps this binding.
    gl.GenBuffers(1, &m_ibo);
    gl.BindBuffer(GL_ELEMENT_ARRAY_BUFFER, m_ibo);
    m_iboCapacity = kInitialVertexBytes;
    gl.BufferData(GL_ELEMENT_ARRAY_BUFFER, GLsizeiptr(m_iboCapacity), nullptr, GL_STREAM_DRAW);
    m_indices.reserve(kInitialVertexBytes / sizeof(std::uint32_t));
    gl.VertexAttribPointer(0, 4, GL_FLOAT, GL_FALSE, sizeof(SVertex),
                           reinterpret_cast<void*>(offsetof(SVertex, x)));
    // The colour word 0xAARRGGBB is stored B, G, R, A: GL_BGRA reads it as RGBA.
    gl.VertexAttribPointer(1, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, sizeof(SVertex),
                           reinterpret_cast<void*>(offsetof(SVertex, diffuse)));
    gl.VertexAttribPointer(2, 2, GL_FLOAT, GL_FALSE, sizeof(SVertex),
                           reinterpret_cast<void*>(offsetof(SVertex, u)));
    gl.EnableVertexAttribArray(0);
    gl.EnableVertexAttribArray(1);
    gl.EnableVertexAttribArray(2);

    gl.GenSamplers(4, m_samplers);
    for (int i = 0; i < 4; ++i) {
        bool linear = (i & 2) != 0, clamp = (i & 1) != 0;
        gl.SamplerParameteri(m_samplers[i], GL_TEXTURE_MIN_FILTER, linear ? GL_LINEAR : GL_NEAREST);
        gl.SamplerParameteri(m_samplers[i], GL_TEXTURE_MAG_FILTER, linear ? GL_LINEAR : GL_NEAREST);
        GLint wrap = clamp ? GL_CLAMP_TO_EDGE : GL_REPEAT;
        gl.SamplerParameteri(m_samplers[i], GL_TEXTURE_WRAP_S, wrap);
        gl.SamplerParameteri(m_samplers[i], GL_TEXTURE_WRAP_T, wrap);
    }
    gl.ActiveTexture(GL_TEXTURE0);
    BindSampler();
    gl.PixelStorei(GL_UNPACK_ALIGNMENT, 4);
    gl.PixelStorei(GL_PACK_ALIGNMENT, 4);

    // Fixed states: no culling in core by default; depth less-or-equal; stencil passes where the
    // clip rectangles set it (reference 0, not-equal). Depth clamping keeps on-top objects at
    // depth -1 from being clipped, as pre-transformed vertices never were.
    gl.DepthFunc(GL_LEQUAL);
    gl.Enable(GL_DEPTH_CLAMP);
    gl.StencilFunc(GL_NOTEQUAL, 0, 0xFF);
    gl.StencilOp(GL_KEEP, GL_KEEP, GL_KEEP);
    gl.StencilMask(0xFF);
    SetBlend(kDeviceBlendOff);
    SetColourWrite(true);
    SetDepthTest(true);
    SetDepthWrite(true);
    SetStencilTest(false);
    SetTextureStage(kTextureStageDiffuse);
    return true;
}

CGLDevice::~CGLDevice() {
    if (!m_context) return;
    SDL_GL_MakeCurrent(m_window, static_cast<SDL_GLContext>(m_context));
    if (gl.DeleteProgram) {
        m_batch.clear();
        m_indices.clear();
        WaitForFrame();
        ReleaseOffscreen();
        ReleaseDepthCopy();
        for (unsigned program : m_programs)
            if (program) gl.DeleteProgram(program);
        if (m_vbo) gl.DeleteBuffers(1, &m_vbo);
        if (m_ibo) gl.DeleteBuffers(1, &m_ibo);
        if (m_vao) gl.DeleteVertexArrays(1, &m_vao);
        if (m_samplers[0]) gl.DeleteSamplers(4, m_samplers);
    }
    SDL_GL_DeleteContext(static_cast<SDL_GLContext>(m_context));
}

void CGLDevice::DrawableSize(int& width, int& height) const {
    SDL_GL_GetDrawableSize(m_window, &width, &height);
}

void CGLDevice::ToGL(const SDeviceRect& r, int& x, int& y, int& w, int& h) const {
    int x1 = std::max(r.x1, 0), y1 = std::max(r.y1, 0);
    int x2 = std::min(r.x2, m_targetWidth), y2 = std::min(r.y2, m_targetHeight);
    w = std::max(x2 - x1, 0);
    h = std::max(y2 - y1, 0);
    x = m_targetX + x1;
    y = m_targetY + (m_targetHeight - y1 - h);
}

void CGLDevice::TargetWindow(int x, int y, int width, int height) {
    Flush();
    if (m_offscreen) {
        gl.BindFramebuffer(GL_FRAMEBUFFER, 0);
        m_offscreen = false;
    }
    int dw = 0, dh = 0;
    DrawableSize(dw, dh);
    m_targetX = x;
    m_targetY = dh - y - height;
    m_targetWidth = std::max(width, 1);
    m_targetHeight = std::max(height, 1);
    gl.Viewport(m_targetX, m_targetY, m_targetWidth, m_targetHeight);
    SetTargetUniform();
}

bool CGLDevice::TargetOffscreen(int width, int height, std::string& failure) {
    Flush();
    width = std::max(width, 1);
    height = std::max(height, 1);
    if (!m_fbo || m_fboWidth != width || m_fboHeight != height) {
        ReleaseOffscreen();
        gl.GenFramebuffers(1, &m_fbo);
        gl.BindFramebuffer(GL_FRAMEBUFFER, m_fbo);
        gl.GenRenderbuffers(1, &m_fboColour);
        gl.BindRenderbuffer(GL_RENDERBUFFER, m_fboColour);
        gl.RenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
        gl.FramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, m_fboColour);
        // A colour attachment alone makes a complete framebuffer; anything else (a size beyond
        // the device's, an unsupported format) means no render target.
        if (gl.CheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
            failure = "Unable to create render target";
            ReleaseOffscreen();
            return false;
        }
        gl.GenRenderbuffers(1, &m_fboDepth);
        gl.BindRenderbuffer(GL_RENDERBUFFER, m_fboDepth);
        gl.RenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, width, height);
        gl.FramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, m_fboDepth);
        if (gl.CheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
            failure = "Unable to create temporary depth buffer";
            ReleaseOffscreen();
            return false;
        }
        m_fboWidth = width;
        m_fboHeight = height;
    }
    gl.BindFramebuffer(GL_FRAMEBUFFER, m_fbo);
    m_offscreen = true;
    m_targetX = m_targetY = 0;
    m_targetWidth = width;
    m_targetHeight = height;
    gl.Viewport(0, 0, width, height);
    SetTargetUniform();
    return true;
}

void CGLDevice::SetTargetUniform() {
    // Every program sees the same target; the current one stays bound.
    for (int stage = 0; stage < kStageCount; ++stage) {
        gl.UseProgram(m_programs[stage]);
        gl.Uniform2f(m_uTarget[stage], float(m_targetWidth), float(m_targetHeight));
    }
    gl.UseProgram(m_programs[m_stage >= 0 && m_stage < kStageCount ? m_stage : 0]);
}

void CGLDevice::ReadTarget(std::uint8_t* out) {
    Flush();
    gl.ReadPixels(m_targetX, m_targetY, m_targetWidth, m_targetHeight, GL_BGRA, GL_UNSIGNED_BYTE, out);
}

void CGLDevice::ReleaseOffscreen() {
    Flush();
    if (m_offscreen) {
        gl.BindFramebuffer(GL_FRAMEBUFFER, 0);
        m_offscreen = false;
    }
    if (m_fbo) gl.DeleteFramebuffers(1, &m_fbo);
    if (m_fboColour) gl.DeleteRenderbuffers(1, &m_fboColour);
    if (m_fboDepth) gl.DeleteRenderbuffers(1, &m_fboDepth);
    m_fbo = m_fboColour = m_fboDepth = 0;
    m_fboWidth = m_fboHeight = 0;
}

void CGLDevice::ReleaseDepthCopy() {
    if (m_depthCopyFbo) gl.DeleteFramebuffers(1, &m_depthCopyFbo);
    if (m_depthCopyBuffer) gl.DeleteRenderbuffers(1, &m_depthCopyBuffer);
    m_depthCopyFbo = m_depthCopyBuffer = 0;
    m_depthCopyWidth = m_depthCopyHeight = 0;
    m_depthCopyValid = false;
}

unsigned CGLDevice::DepthCopyBits() const {
    // The window's depth buffer may lack a stencil; an off-screen target always has one.
    return GL_DEPTH_BUFFER_BIT | (m_offscreen || m_stencilBits > 0 ? GL_STENCIL_BUFFER_BIT : 0);
}

// Blits copy depth only between buffers of one format; what the copy must hold is the target's.
bool CGLDevice::SaveDepth() {
    Flush();
    const int source = m_offscreen ? 1 : 0;
    if (m_depthCopyBroken[source]) return false;
    m_depthCopyValid = false;
    if (!m_depthCopyFbo || m_depthCopyWidth != m_targetWidth || m_depthCopyHeight != m_targetHeight ||
        m_depthCopySource != source) {
        ReleaseDepthCopy();
        GLenum format = GL_DEPTH24_STENCIL8;
        if (!m_offscreen && m_stencilBits == 0) format = m_depthBits > 16 ? GL_DEPTH_COMPONENT24 : GL_DEPTH_COMPONENT16;
        gl.GenRenderbuffers(1, &m_depthCopyBuffer);
        gl.BindRenderbuffer(GL_RENDERBUFFER, m_depthCopyBuffer);
        gl.RenderbufferStorage(GL_RENDERBUFFER, format, m_targetWidth, m_targetHeight);
        gl.GenFramebuffers(1, &m_depthCopyFbo);
        gl.BindFramebuffer(GL_FRAMEBUFFER, m_depthCopyFbo);
        gl.FramebufferRenderbuffer(GL_FRAMEBUFFER,
                                   format == GL_DEPTH24_STENCIL8 ? GL_DEPTH_STENCIL_ATTACHMENT : GL_DEPTH_ATTACHMENT,
                                   GL_RENDERBUFFER, m_depthCopyBuffer);
        m_depthCopyWidth = m_targetWidth;
        m_depthCopyHeight = m_targetHeight;
        m_depthCopySource = source;
    }
    for (int i = 0; i < 8 && gl.GetError() != GL_NO_ERROR; ++i) {
    }
    gl.BindFramebuffer(GL_READ_FRAMEBUFFER, m_offscreen ? m_fbo : 0);
    gl.BindFramebuffer(GL_DRAW_FRAMEBUFFER, m_depthCopyFbo);
    BlitDepth(m_targetX, m_targetY, 0, 0);
    gl.BindFramebuffer(GL_FRAMEBUFFER, m_offscreen ? m_fbo : 0);
    if (gl.GetError() != GL_NO_ERROR) {
        // Formats that differ: the priority map is drawn every frame, as it always was.
        m_depthCopyBroken[source] = true;
        ReleaseDepthCopy();
        return false;
    }
    m_depthCopyValid = true;
    return true;
}

bool CGLDevice::RestoreDepth() {
    const int source = m_offscreen ? 1 : 0;
    if (!m_depthCopyValid || m_depthCopySource != source || m_depthCopyWidth != m_targetWidth ||
        m_depthCopyHeight != m_targetHeight)
        return false;
    Flush();
    gl.BindFramebuffer(GL_READ_FRAMEBUFFER, m_depthCopyFbo);
    BlitDepth(0, 0, m_targetX, m_targetY);
    gl.BindFramebuffer(GL_FRAMEBUFFER, m_offscreen ? m_fbo : 0);
    return true;
}

void CGLDevice::BlitDepth(int fromX, int fromY, int toX, int toY) {
    // Blits obey the scissor. Software GL keeps window buffers top row first and ours bottom row
    // first, so that a straight blit between them flips (a shader pass) while a flipped one is a
    // plain copy; the copy is flipped going out and coming back, which leaves the rows as they
    // were on any device.
    if (m_scissor) gl.Disable(GL_SCISSOR_TEST);
    const int w = m_targetWidth, h = m_targetHeight;
    if (m_offscreen)
        gl.BlitFramebuffer(fromX, fromY, fromX + w, fromY + h, toX, toY, toX + w, toY + h, DepthCopyBits(), GL_NEAREST);
    else
        gl.BlitFramebuffer(fromX, fromY, fromX + w, fromY + h, toX, toY + h, toX + w, toY, DepthCopyBits(), GL_NEAREST);
    if (m_scissor) gl.Enable(GL_SCISSOR_TEST);
}

void CGLDevice::ClearWindow() {
    if (m_offscreen) return;
    Flush();
    bool scissor = m_scissor;
    if (scissor) gl.Disable(GL_SCISSOR_TEST);
    gl.ColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    gl.ClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    gl.Clear(GL_COLOR_BUFFER_BIT);
    if (m_colourWrite == 0) gl.ColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_FALSE);
    else m_colourWrite = 1;
    if (scissor) gl.Enable(GL_SCISSOR_TEST);
}

void CGLDevice::Swap() {
    if (m_offscreen) return;
    Flush();
    if (m_finishAtSwap) {
        // A swap that does not wait would let software GL queue frames without end (memory grows
        // and nothing is drawn). Keep one frame in flight: hand this one over, then wait until the
        // previous one is drawn, so the game's next frame is computed while this one is drawn.
        gl.Flush();
        GLsync drawn = gl.FenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0);
        WaitForFrame();
        m_frameFence = drawn;
        // The offscreen driver's window is a pixel buffer, which a swap leaves as it is: the
        // swap would only cost (about 5 % of a busy frame on software GL).
        return;
    }
    SDL_GL_SwapWindow(m_window);
}

void CGLDevice::WaitForFrame() {
    if (!m_frameFence) return;
    auto fence = static_cast<GLsync>(m_frameFence);
    while (gl.ClientWaitSync(fence, GL_SYNC_FLUSH_COMMANDS_BIT, 1000000000ull) == GL_TIMEOUT_EXPIRED) {
    }
    gl.DeleteSync(fence);
    m_frameFence = nullptr;
}

void CGLDevice::Clear(bool colour, std::uint32_t argb, bool depth, float z, bool stencil, int s,
                      const SDeviceRect* rect) {
    Flush();
    // GL clears obey the write masks, the original's clears did not: open them for the clear and
    // put them back after, so that the render states stay as set.
    GLbitfield bits = 0;
    if (colour) {
        gl.ColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
        gl.ClearColor(((argb >> 16) & 0xFF) / 255.0f, ((argb >> 8) & 0xFF) / 255.0f, (argb & 0xFF) / 255.0f,
                      ((argb >> 24) & 0xFF) / 255.0f);
        bits |= GL_COLOR_BUFFER_BIT;
    }
    if (depth) {
        gl.DepthMask(GL_TRUE);
        gl.ClearDepth(z);
        bits |= GL_DEPTH_BUFFER_BIT;
    }
    if (stencil && HasStencil()) {
        gl.ClearStencil(s);
        bits |= GL_STENCIL_BUFFER_BIT;
    }
    if (!bits) return;
    // Clears touch the target rectangle only (the viewport, as on the original device), never the
    // letter-box margins.
    SDeviceRect r = rect ? *rect : SDeviceRect{0, 0, m_targetWidth, m_targetHeight};
    int x, y, w, h;
    ToGL(r, x, y, w, h);
    gl.Enable(GL_SCISSOR_TEST);
    gl.Scissor(x, y, w, h);
    gl.Clear(bits);
    if (colour) {
        if (m_colourWrite == 0) gl.ColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_FALSE);
        else m_colourWrite = 1;
    }
    if (depth) {
        if (m_depthWrite == 0) gl.DepthMask(GL_FALSE);
        else m_depthWrite = 1;
    }
    if (m_scissor) {
        ToGL(m_scissorRect, x, y, w, h);
        gl.Scissor(x, y, w, h);
    } else {
        gl.Disable(GL_SCISSOR_TEST);
    }
}

void CGLDevice::SetBlend(int mode) {
    if (mode == m_blend) return;
    Flush();
    m_blend = mode;
    switch (mode) {
        case kDeviceBlendAlpha:
            gl.Enable(GL_BLEND);
            gl.BlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
            break;
        case kDeviceBlendAdd:
            gl.Enable(GL_BLEND);
            gl.BlendFunc(GL_ONE, GL_ONE);
            break;
        case kDeviceBlendDepthOnly:
            gl.Enable(GL_BLEND);
            gl.BlendFunc(GL_ZERO, GL_ONE);
            break;
        default:
            gl.Disable(GL_BLEND);
            gl.BlendFunc(GL_ONE, GL_ZERO);
            break;
    }
}

void CGLDevice::SetColourWrite(bool on) {
    if (int(on) == m_colourWrite) return;
    Flush();
    m_colourWrite = on;
    GLboolean b = on ? GL_TRUE : GL_FALSE;
    gl.ColorMask(b, b, b, b);
}

void CGLDevice::SetDepthTest(bool on) {
    if (int(on) == m_depthTest) return;
    Flush();
    m_depthTest = on;
    // The depth test off on the original also stopped depth writes; GL_DEPTH_TEST off does the same.
    on ? gl.Enable(GL_DEPTH_TEST) : gl.Disable(GL_DEPTH_TEST);
}

void CGLDevice::SetDepthWrite(bool on) {
    if (int(on) == m_depthWrite) return;
    Flush();
    m_depthWrite = on;
    gl.DepthMask(on ? GL_TRUE : GL_FALSE);
}

void CGLDevice::SetStencilTest(bool on) {
    if (int(on) == m_stencilTest) return;
    Flush();
    m_stencilTest = on;
    on ? gl.Enable(GL_STENCIL_TEST) : gl.Disable(GL_STENCIL_TEST);
}

void CGLDevice::SetScissor(const SDeviceRect* rect) {
    Flush();
    if (!rect) {
        if (m_scissor) gl.Disable(GL_SCISSOR_TEST);
        m_scissor = false;
        return;
    }
    m_scissor = true;
    m_scissorRect = *rect;
    int x, y, w, h;
    ToGL(*rect, x, y, w, h);
    gl.Enable(GL_SCISSOR_TEST);
    gl.Scissor(x, y, w, h);
}

void CGLDevice::BindSampler() { gl.BindSampler(0, m_samplers[(m_linear ? 2 : 0) | (m_clamp ? 1 : 0)]); }

void CGLDevice::SetFiltering(bool linear) {
    if (int(linear) == m_linear) return;
    Flush();
    m_linear = linear;
    BindSampler();
}

void CGLDevice::SetClamp(bool clamp) {
    if (int(clamp) == m_clamp) return;
    Flush();
    m_clamp = clamp;
    BindSampler();
}

void CGLDevice::SetTextureStage(int stage) {
    if (stage == m_stage) return;
    Flush();
    m_stage = stage;
    gl.UseProgram(m_programs[stage >= 0 && stage < kStageCount ? stage : 0]);
}

void CGLDevice::BindTexture(unsigned id) {
    if (id == m_texture) return;
    Flush();
    m_texture = id;
    gl.BindTexture(GL_TEXTURE_2D, id);
}

void CGLDevice::Draw(const SVertex* vertices, int count, bool fan) {
    if (count < 3) return;
    // Everything becomes indexed triangles so that consecutive primitives share one draw call. A
    // fan (0, 1, 2, 3) is exactly the triangles (0, 1, 2) and (0, 2, 3), in that order, so the
    // pixels and the order in which they are written do not change; its vertices are sent (and
    // transformed) once each.
    if (!fan) count -= count % 3;
    const auto base = std::uint32_t(m_batch.size());
    m_batch.insert(m_batch.end(), vertices, vertices + count);
    if (fan) {
        for (int i = 1; i + 1 < count; ++i) {
            m_indices.push_back(base);
            m_indices.push_back(base + std::uint32_t(i));
            m_indices.push_back(base + std::uint32_t(i) + 1);
        }
    } else {
        for (int i = 0; i < count; ++i) m_indices.push_back(base + std::uint32_t(i));
    }
}

namespace {

// Appends `bytes` to a stream buffer used as a ring: one store that only ever grows (steady
// frames allocate nothing), orphaned when full so that the driver need not wait for draws still
// reading it. Returns the offset written at.
std::size_t Append(GLenum target, std::size_t& capacity, std::size_t& offset, const void* data, std::size_t bytes) {
    if (bytes > capacity) {
        while (capacity < bytes) capacity *= 2;
        offset = capacity;
    }
    if (offset + bytes > capacity) {
        gl.BufferData(target, GLsizeiptr(capacity), nullptr, GL_STREAM_DRAW);
        offset = 0;
    }
    gl.BufferSubData(target, GLintptr(offset), GLsizeiptr(bytes), data);
    const std::size_t at = offset;
    offset += bytes;
    return at;
}

}  // namespace

void CGLDevice::Flush() {
    if (m_batch.empty()) return;
    // Vertex offsets stay whole vertices: every append is a whole number of them.
    const std::size_t vertexAt =
        Append(GL_ARRAY_BUFFER, m_vboCapacity, m_vboOffset, m_batch.data(), m_batch.size() * sizeof(SVertex));
    const std::size_t indexAt = Append(GL_ELEMENT_ARRAY_BUFFER, m_iboCapacity, m_iboOffset, m_indices.data(),
                                       m_indices.size() * sizeof(std::uint32_t));
    gl.DrawElementsBaseVertex(GL_TRIANGLES, GLsizei(m_indices.size()), GL_UNSIGNED_INT,
                              reinterpret_cast<void*>(indexAt), GLint(vertexAt / sizeof(SVertex)));
    ++m_drawCalls;
    m_batch.clear();
    m_indices.clear();
}

unsigned CGLDevice::CreateTexture(int width, int height, const std::uint8_t* pixels) {
    Flush();
    GLuint id = 0;
    gl.GenTextures(1, &id);
    if (!id) return 0;
    BindTexture(id);
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    gl.TexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_BGRA, GL_UNSIGNED_BYTE, pixels);
    return id;
}

void CGLDevice::UploadTexture(unsigned id, int width, int height, const std::uint8_t* pixels) {
    Flush();
    BindTexture(id);
    gl.TexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, width, height, GL_BGRA, GL_UNSIGNED_BYTE, pixels);
}

void CGLDevice::DeleteTexture(unsigned id) {
    if (!id) return;
    Flush();
    if (m_texture == id) m_texture = 0;
    GLuint name = id;
    gl.DeleteTextures(1, &name);
}

}  // namespace ove
