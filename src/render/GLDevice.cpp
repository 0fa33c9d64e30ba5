#include "render/GLDevice.h"

#include <SDL.h>

// WebGL 2 is OpenGL ES 3.0: the same calls and shaders, less a few desktop conveniences
// (BGRA data, base vertices, depth clamping), which the ES path does another way.
#ifdef __EMSCRIPTEN__
#include <GLES3/gl3.h>
#define OVE_GLES 1
#else
#include <GL/glcorearb.h>
#define OVE_GLES 0
#endif

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <vector>

namespace ove {
namespace {

// Entry points, looked up through SDL once a context is current.
#define OVE_GL_FUNCTIONS(X)                                      \
    X(PFNGLGETSTRINGPROC, GetString)                             \
    X(PFNGLGETINTEGERVPROC, GetIntegerv)                         \
    X(PFNGLENABLEPROC, Enable)                                   \
    X(PFNGLDISABLEPROC, Disable)                                 \
    X(PFNGLBLENDFUNCPROC, BlendFunc)                             \
    X(PFNGLDEPTHFUNCPROC, DepthFunc)                             \
    X(PFNGLDEPTHMASKPROC, DepthMask)                             \
    X(PFNGLCOLORMASKPROC, ColorMask)                             \
    X(PFNGLSTENCILFUNCPROC, StencilFunc)                         \
    X(PFNGLSTENCILOPPROC, StencilOp)                             \
    X(PFNGLSTENCILMASKPROC, StencilMask)                         \
    X(PFNGLCLEARPROC, Clear)                                     \
    X(PFNGLCLEARCOLORPROC, ClearColor)                           \
    X(PFNGLCLEARSTENCILPROC, ClearStencil)                       \
    X(PFNGLSCISSORPROC, Scissor)                                 \
    X(PFNGLVIEWPORTPROC, Viewport)                               \
    X(PFNGLGENTEXTURESPROC, GenTextures)                         \
    X(PFNGLDELETETEXTURESPROC, DeleteTextures)                   \
    X(PFNGLBINDTEXTUREPROC, BindTexture)                         \
    X(PFNGLTEXIMAGE2DPROC, TexImage2D)                           \
    X(PFNGLTEXSUBIMAGE2DPROC, TexSubImage2D)                     \
    X(PFNGLTEXPARAMETERIPROC, TexParameteri)                     \
    X(PFNGLPIXELSTOREIPROC, PixelStorei)                         \
    X(PFNGLACTIVETEXTUREPROC, ActiveTexture)                     \
    X(PFNGLGENSAMPLERSPROC, GenSamplers)                         \
    X(PFNGLDELETESAMPLERSPROC, DeleteSamplers)                   \
    X(PFNGLBINDSAMPLERPROC, BindSampler)                         \
    X(PFNGLSAMPLERPARAMETERIPROC, SamplerParameteri)             \
    X(PFNGLCREATESHADERPROC, CreateShader)                       \
    X(PFNGLSHADERSOURCEPROC, ShaderSource)                       \
    X(PFNGLCOMPILESHADERPROC, CompileShader)                     \
    X(PFNGLGETSHADERIVPROC, GetShaderiv)                         \
    X(PFNGLGETSHADERINFOLOGPROC, GetShaderInfoLog)               \
    X(PFNGLCREATEPROGRAMPROC, CreateProgram)                     \
    X(PFNGLATTACHSHADERPROC, AttachShader)                       \
    X(PFNGLBINDATTRIBLOCATIONPROC, BindAttribLocation)           \
    X(PFNGLLINKPROGRAMPROC, LinkProgram)                         \
    X(PFNGLGETPROGRAMIVPROC, GetProgramiv)                       \
    X(PFNGLGETPROGRAMINFOLOGPROC, GetProgramInfoLog)             \
    X(PFNGLDELETESHADERPROC, DeleteShader)                       \
    X(PFNGLDELETEPROGRAMPROC, DeleteProgram)                     \
    X(PFNGLUSEPROGRAMPROC, UseProgram)                           \
    X(PFNGLGETUNIFORMLOCATIONPROC, GetUniformLocation)           \
    X(PFNGLUNIFORM1IPROC, Uniform1i)                             \
    X(PFNGLUNIFORM2FPROC, Uniform2f)                             \
    X(PFNGLUNIFORM1FVPROC, Uniform1fv)                           \
    X(PFNGLGENVERTEXARRAYSPROC, GenVertexArrays)                 \
    X(PFNGLBINDVERTEXARRAYPROC, BindVertexArray)                 \
    X(PFNGLDELETEVERTEXARRAYSPROC, DeleteVertexArrays)           \
    X(PFNGLGENBUFFERSPROC, GenBuffers)                           \
    X(PFNGLBINDBUFFERPROC, BindBuffer)                           \
    X(PFNGLBUFFERDATAPROC, BufferData)                           \
    X(PFNGLBUFFERSUBDATAPROC, BufferSubData)                     \
    X(PFNGLDELETEBUFFERSPROC, DeleteBuffers)                     \
    X(PFNGLVERTEXATTRIBPOINTERPROC, VertexAttribPointer)         \
    X(PFNGLENABLEVERTEXATTRIBARRAYPROC, EnableVertexAttribArray) \
    X(PFNGLGENFRAMEBUFFERSPROC, GenFramebuffers)                 \
    X(PFNGLBINDFRAMEBUFFERPROC, BindFramebuffer)                 \
    X(PFNGLDELETEFRAMEBUFFERSPROC, DeleteFramebuffers)           \
    X(PFNGLFRAMEBUFFERRENDERBUFFERPROC, FramebufferRenderbuffer) \
    X(PFNGLCHECKFRAMEBUFFERSTATUSPROC, CheckFramebufferStatus)   \
    X(PFNGLGENRENDERBUFFERSPROC, GenRenderbuffers)               \
    X(PFNGLBINDRENDERBUFFERPROC, BindRenderbuffer)               \
    X(PFNGLRENDERBUFFERSTORAGEPROC, RenderbufferStorage)         \
    X(PFNGLDELETERENDERBUFFERSPROC, DeleteRenderbuffers)         \
    X(PFNGLREADPIXELSPROC, ReadPixels)                           \
    X(PFNGLBLITFRAMEBUFFERPROC, BlitFramebuffer)                 \
    X(PFNGLGETERRORPROC, GetError)                               \
    X(PFNGLFINISHPROC, Finish)                                   \
    X(PFNGLFLUSHPROC, Flush)                                     \
    X(PFNGLFENCESYNCPROC, FenceSync)                             \
    X(PFNGLCLIENTWAITSYNCPROC, ClientWaitSync)                   \
    X(PFNGLDELETESYNCPROC, DeleteSync)

#if OVE_GLES
#define OVE_GL_PLATFORM_FUNCTIONS(X)     \
    X(PFNGLCLEARDEPTHFPROC, ClearDepthf) \
    X(PFNGLDRAWELEMENTSPROC, DrawElements)
#else
#define OVE_GL_PLATFORM_FUNCTIONS(X)                       \
    X(PFNGLCLEARDEPTHPROC, ClearDepth)                     \
    X(PFNGLBINDFRAGDATALOCATIONPROC, BindFragDataLocation) \
    X(PFNGLDRAWELEMENTSBASEVERTEXPROC, DrawElementsBaseVertex)
#endif

struct SGL {
#define OVE_GL_MEMBER(type, name) type name = nullptr;
    OVE_GL_FUNCTIONS(OVE_GL_MEMBER)
    OVE_GL_PLATFORM_FUNCTIONS(OVE_GL_MEMBER)
#undef OVE_GL_MEMBER
};

SGL gl;

bool LoadFunctions(std::string& missing) {
#if OVE_GLES
    // Emscripten's GL is linked in: no lookups, nothing can be missing.
    (void)missing;
#define OVE_GL_LOAD(type, name) gl.name = &::gl##name;
#else
#define OVE_GL_LOAD(type, name)                                          \
    gl.name = reinterpret_cast<type>(SDL_GL_GetProcAddress("gl" #name)); \
    if (!gl.name) {                                                      \
        missing = "gl" #name;                                            \
        return false;                                                    \
    }
#endif
    OVE_GL_FUNCTIONS(OVE_GL_LOAD)
    OVE_GL_PLATFORM_FUNCTIONS(OVE_GL_LOAD)
#undef OVE_GL_LOAD
    return true;
}

#if OVE_GLES
const char* const kShaderVersion = "#version 300 es\nprecision highp float;\n#define OVE_GLES 1\n";
#else
const char* const kShaderVersion = "#version 330 core\n#define OVE_GLES 0\n";
#endif

// Pre-transformed vertices: D3D puts pixel centres on integers, GL on half-integers, hence + 0.5.
// The reciprocal w is not used: every primitive the renderer sends has one rhw for all its
// vertices, where it cannot change the interpolation, and w = 1 keeps depths bit-exact.
const char* kVertexShader = R"(
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
#if OVE_GLES
    // No depth clamping in ES; a primitive's vertices share one depth, so clamping them is the same.
    gl_Position = vec4(p.x, -p.y, clamp(aPosition.z, 0.0, 1.0) * 2.0 - 1.0, 1.0);
    vColour = aColour.bgra;  // the colour word's bytes, B, G, R, A
#else
    gl_Position = vec4(p.x, -p.y, aPosition.z * 2.0 - 1.0, 1.0);
    vColour = aColour;
#endif
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
#if OVE_GLES
#define TEXEL texture(uTexture, vTexCoord).bgra  // textures hold B, G, R, A bytes as RGBA
#else
#define TEXEL texture(uTexture, vTexCoord)
#endif
void main() {
#if STAGE == 3
    // The whole priority map in one pass: the depth of each level comes from the same float
    // table the scene objects' depths do, so that an object level with the map ties exactly.
    vec4 t = TEXEL;
    if (t.a < 0.5 / 255.0) discard;
    gl_FragDepth = uLevelDepth[int(t.r * 255.0 + 0.5) & 15];
    fragColour = t;
    return;
#endif
#if STAGE == 1
    vec4 c = vColour * TEXEL;
#elif STAGE == 2
    vec4 t = TEXEL;
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
#if OVE_GLES
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 0);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_ES);
#else
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
#endif
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

    GLuint vs = Compile(GL_VERTEX_SHADER, kVertexShader, error, kShaderVersion);
    if (!vs) return false;
    for (int stage = 0; stage < kStageCount; ++stage) {
        char prelude[128];
        std::snprintf(prelude, sizeof prelude, "%s#define STAGE %d\n", kShaderVersion, stage);
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
#if !OVE_GLES
        gl.BindFragDataLocation(program, 0, "fragColour");
#endif
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
    PointAttributes(0);
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
#if !OVE_GLES
    gl.Enable(GL_DEPTH_CLAMP);
#endif
    gl.StencilFunc(GL_NOTEQUAL, 0, 0xFF);
    gl.StencilOp(GL_KEEP, GL_KEEP, GL_KEEP);
    gl.StencilMask(0xFF);
    SetBlend(kDeviceBlendOff);
    SetColourWrite(true);
    SetDepthTest(true);
    SetDepthWrite(true);
    SetStencilTest(false);
    SetTextureStage(kTextureStageDiffuse);
    Submit();
    return true;
}

CGLDevice::~CGLDevice() {
    if (!m_context) return;
    SDL_GL_MakeCurrent(m_window, static_cast<SDL_GLContext>(m_context));
    if (gl.DeleteProgram) {
        ClearCommands();
        WaitForFrame();
        ReleaseOffscreen();
        for (SDepthCopy& copy : m_depthCopies) ReleaseDepthCopy(copy);
        for (unsigned program : m_programs)
            if (program) gl.DeleteProgram(program);
        if (m_vbo) gl.DeleteBuffers(1, &m_vbo);
        if (m_ibo) gl.DeleteBuffers(1, &m_ibo);
        if (m_vao) gl.DeleteVertexArrays(1, &m_vao);
        if (m_samplers[0]) gl.DeleteSamplers(4, m_samplers);
    }
    SDL_GL_DeleteContext(static_cast<SDL_GLContext>(m_context));
}

void CGLDevice::DrawableSize(int& width, int& height) const { SDL_GL_GetDrawableSize(m_window, &width, &height); }

void CGLDevice::ToGL(const SDeviceRect& r, int& x, int& y, int& w, int& h) const {
    int x1 = std::max(r.x1, 0), y1 = std::max(r.y1, 0);
    int x2 = std::min(r.x2, m_targetWidth), y2 = std::min(r.y2, m_targetHeight);
    w = std::max(x2 - x1, 0);
    h = std::max(y2 - y1, 0);
    x = m_targetX + x1;
    y = m_targetY + (m_targetHeight - y1 - h);
}

// ---------------------------------------------------------------------------------------------
// Commands: every GL call that draws or sets a drawing state is queued, and sent when something
// needs the result (a read-back, texture work, the swap) or at the end of a frame, where a frame
// the same as the last one drawn is not sent at all.

namespace {

enum : std::int32_t {
    kOpNote,  // no call: what a frame depends on besides its calls (window size, texture versions)
    kOpEnable,
    kOpDisable,
    kOpBlendFunc,
    kOpDepthMask,
    kOpColorMask,
    kOpClearColor,
    kOpClearDepth,
    kOpClearStencil,
    kOpClear,
    kOpScissor,
    kOpViewport,
    kOpBindFramebuffer,
    kOpUseProgram,
    kOpUniform2f,
    kOpBindSampler,
    kOpBindTexture,
    kOpDraw,  // first vertex, first index, index count (after a note of the texture and its version)
    kOpBlit,
};

std::int32_t I(unsigned v) { return std::int32_t(v); }

}  // namespace

void CGLDevice::Emit(std::int32_t op, std::initializer_list<std::int32_t> ints, std::initializer_list<float> floats) {
    SCommand c{};
    c.op = op;
    std::copy(ints.begin(), ints.end(), c.i);
    std::copy(floats.begin(), floats.end(), c.f);
    m_commands.push_back(c);
    // Colour drawn into the window outside a frame changes what it shows.
    if (!m_inFrame && !m_offscreen && (op == kOpDraw || (op == kOpClear && (c.i[0] & GL_COLOR_BUFFER_BIT))))
        m_windowStale = true;
}

void CGLDevice::Run(const SCommand& c, std::size_t vertexBase, std::size_t indexBase) {
    const std::int32_t* i = c.i;
    const float* f = c.f;
    switch (c.op) {
    case kOpEnable: gl.Enable(GLenum(i[0])); break;
    case kOpDisable: gl.Disable(GLenum(i[0])); break;
    case kOpBlendFunc: gl.BlendFunc(GLenum(i[0]), GLenum(i[1])); break;
    case kOpDepthMask: gl.DepthMask(GLboolean(i[0])); break;
    case kOpColorMask: gl.ColorMask(GLboolean(i[0]), GLboolean(i[0]), GLboolean(i[0]), GLboolean(i[0])); break;
    case kOpClearColor: gl.ClearColor(f[0], f[1], f[2], f[3]); break;
#if OVE_GLES
    case kOpClearDepth: gl.ClearDepthf(f[0]); break;
#else
    case kOpClearDepth: gl.ClearDepth(f[0]); break;
#endif
    case kOpClearStencil: gl.ClearStencil(i[0]); break;
    case kOpClear: gl.Clear(GLbitfield(i[0])); break;
    case kOpScissor: gl.Scissor(i[0], i[1], i[2], i[3]); break;
    case kOpViewport: gl.Viewport(i[0], i[1], i[2], i[3]); break;
    case kOpBindFramebuffer: gl.BindFramebuffer(GLenum(i[0]), GLuint(i[1])); break;
    case kOpUseProgram: gl.UseProgram(GLuint(i[0])); break;
    case kOpUniform2f: gl.Uniform2f(i[0], f[0], f[1]); break;
    case kOpBindSampler: gl.BindSampler(0, GLuint(i[0])); break;
    case kOpBindTexture: gl.BindTexture(GL_TEXTURE_2D, GLuint(i[0])); break;
    case kOpDraw:
#if OVE_GLES
        PointAttributes(vertexBase + std::size_t(i[0]));
        gl.DrawElements(GL_TRIANGLES, i[2], GL_UNSIGNED_INT,
                        reinterpret_cast<void*>(indexBase + std::size_t(i[1]) * sizeof(std::uint32_t)));
#else
        gl.DrawElementsBaseVertex(GL_TRIANGLES, i[2], GL_UNSIGNED_INT,
                                  reinterpret_cast<void*>(indexBase + std::size_t(i[1]) * sizeof(std::uint32_t)),
                                  GLint(vertexBase + std::size_t(i[0])));
#endif
        ++m_drawCalls;
        break;
    case kOpBlit:
        gl.BlitFramebuffer(i[0], i[1], i[2], i[3], i[4], i[5], i[6], i[7], GLbitfield(i[8]), GL_NEAREST);
        break;
    default: break;
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

void CGLDevice::Submit() {
    Flush();
    if (m_sent < m_commands.size()) {
        // The vertices and indices not sent yet go in one piece each; draws address them from
        // where it landed. Vertex offsets stay whole vertices: every append is a whole number.
        std::size_t vertexBase = 0, indexBase = 0;
        if (m_batch.size() > m_sentVertices) {
            const std::size_t at = Append(GL_ARRAY_BUFFER, m_vboCapacity, m_vboOffset, m_batch.data() + m_sentVertices,
                                          (m_batch.size() - m_sentVertices) * sizeof(SVertex));
            vertexBase = at / sizeof(SVertex) - m_sentVertices;
        }
        if (m_indices.size() > m_sentIndices) {
            const std::size_t at = Append(GL_ELEMENT_ARRAY_BUFFER, m_iboCapacity, m_iboOffset,
                                          m_indices.data() + m_sentIndices,
                                          (m_indices.size() - m_sentIndices) * sizeof(std::uint32_t));
            indexBase = at - m_sentIndices * sizeof(std::uint32_t);
        }
        for (std::size_t k = m_sent; k < m_commands.size(); ++k) {
            Run(m_commands[k], vertexBase, indexBase);
        }
    }
    if (m_inFrame) {
        m_sent = m_commands.size();
        m_sentVertices = m_batch.size();
        m_sentIndices = m_indices.size();
    } else {
        ClearCommands();
    }
}

void CGLDevice::ClearCommands() {
    m_commands.clear();
    m_batch.clear();
    m_indices.clear();
    m_sent = m_sentVertices = m_sentIndices = 0;
    m_batchStart = m_indexStart = 0;
}

void CGLDevice::BeginFrame() {
    Submit();
    m_inFrame = true;
    // Every frame starts from the same states, so that its calls do not depend on where the last
    // one left them.
    m_blend = m_stage = m_colourWrite = m_depthTest = m_depthWrite = m_stencilTest = m_linear = m_clamp = -1;
    m_scissor = true;
    m_texture = ~0u;
    SetBlend(kDeviceBlendOff);
    SetColourWrite(true);
    SetDepthTest(true);
    SetDepthWrite(true);
    SetStencilTest(false);
    SetScissor(nullptr);
    SetFiltering(false);
    SetClamp(false);
    SetTextureStage(kTextureStageDiffuse);
    BindTexture(0);
    int dw = 0, dh = 0;
    DrawableSize(dw, dh);
    Emit(kOpNote, {dw, dh});
}

void CGLDevice::BeginAside() {
    Submit();
    m_aside = {m_commands.size(), m_batch.size(), m_indices.size(), m_blend, m_stage,   m_colourWrite, m_depthTest,
               m_depthWrite,      m_stencilTest,  m_linear,         m_clamp, m_texture, m_scissor,     m_scissorRect};
}

void CGLDevice::EndAside() {
    const SAside a = m_aside;
    SetBlend(a.blend);
    SetColourWrite(a.colourWrite != 0);
    SetDepthTest(a.depthTest != 0);
    SetDepthWrite(a.depthWrite != 0);
    SetStencilTest(a.stencilTest != 0);
    SetScissor(a.scissor ? &a.scissorRect : nullptr);
    SetFiltering(a.linear != 0);
    SetClamp(a.clamp != 0);
    SetTextureStage(a.stage);
    BindTexture(a.texture);
    Submit();
    if (!m_inFrame) return;
    m_commands.resize(a.commands);
    m_batch.resize(a.vertices);
    m_indices.resize(a.indices);
    m_sent = a.commands;
    m_sentVertices = m_batchStart = a.vertices;
    m_sentIndices = m_indexStart = a.indices;
}

namespace {

template <class T>
bool SameBytes(const std::vector<T>& a, const std::vector<T>& b) {
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(T)) == 0);
}

}  // namespace

bool CGLDevice::EndFrame() {
    Flush();
    // Sent in part (texture work in the middle), the frame must be completed.
    const bool same = !m_windowStale && m_sent == 0 && SameBytes(m_commands, m_lastCommands) &&
                      SameBytes(m_batch, m_lastBatch) && SameBytes(m_indices, m_lastIndices);
    if (same) {
        m_inFrame = false;
        ClearCommands();
        return false;
    }
    Submit();
    m_inFrame = false;
    m_windowStale = false;
    std::swap(m_commands, m_lastCommands);
    std::swap(m_batch, m_lastBatch);
    std::swap(m_indices, m_lastIndices);
    ClearCommands();
    return true;
}

// ---------------------------------------------------------------------------------------------
// Targets

void CGLDevice::TargetWindow(int x, int y, int width, int height) {
    Flush();
    if (m_offscreen) {
        Emit(kOpBindFramebuffer, {GL_FRAMEBUFFER, 0});
        m_offscreen = false;
    }
    int dw = 0, dh = 0;
    DrawableSize(dw, dh);
    m_targetX = x;
    m_targetY = dh - y - height;
    m_targetWidth = std::max(width, 1);
    m_targetHeight = std::max(height, 1);
    Emit(kOpViewport, {m_targetX, m_targetY, m_targetWidth, m_targetHeight});
    SetTargetUniform();
}

bool CGLDevice::TargetOffscreen(int width, int height, std::string& failure) {
    Submit();
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
    Emit(kOpBindFramebuffer, {GL_FRAMEBUFFER, I(m_fbo)});
    m_offscreen = true;
    m_targetX = m_targetY = 0;
    m_targetWidth = width;
    m_targetHeight = height;
    Emit(kOpViewport, {0, 0, width, height});
    SetTargetUniform();
    return true;
}

void CGLDevice::SetTargetUniform() {
    // Every program sees the same target; the current one stays bound.
    for (int stage = 0; stage < kStageCount; ++stage) {
        Emit(kOpUseProgram, {I(m_programs[stage])});
        Emit(kOpUniform2f, {m_uTarget[stage]}, {float(m_targetWidth), float(m_targetHeight)});
    }
    Emit(kOpUseProgram, {I(m_programs[m_stage >= 0 && m_stage < kStageCount ? m_stage : 0])});
}

void CGLDevice::ReadTarget(std::uint8_t* out) {
    Submit();
#if OVE_GLES
    gl.ReadPixels(m_targetX, m_targetY, m_targetWidth, m_targetHeight, GL_RGBA, GL_UNSIGNED_BYTE, out);
    const std::size_t pixels = std::size_t(m_targetWidth) * std::size_t(m_targetHeight);
    for (std::size_t k = 0; k < pixels; ++k) std::swap(out[k * 4], out[k * 4 + 2]);
#else
    gl.ReadPixels(m_targetX, m_targetY, m_targetWidth, m_targetHeight, GL_BGRA, GL_UNSIGNED_BYTE, out);
#endif
}

void CGLDevice::ReleaseOffscreen() {
    Submit();
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

void CGLDevice::ReleaseDepthCopy(SDepthCopy& copy) {
    if (copy.fbo) gl.DeleteFramebuffers(1, &copy.fbo);
    if (copy.buffer) gl.DeleteRenderbuffers(1, &copy.buffer);
    copy.fbo = copy.buffer = 0;
    copy.width = copy.height = 0;
    copy.valid = false;
}

unsigned CGLDevice::DepthCopyBits() const {
    // The window's depth buffer may lack a stencil; an off-screen target always has one.
    return GL_DEPTH_BUFFER_BIT | (m_offscreen || m_stencilBits > 0 ? GL_STENCIL_BUFFER_BIT : 0);
}

// Blits copy depth only between buffers of one format; what the copy must hold is the target's.
bool CGLDevice::SaveDepth() {
    Submit();
    SDepthCopy& copy = m_depthCopies[m_offscreen ? 1 : 0];
    if (copy.broken) return false;
    copy.valid = false;
    // Whether a blit between these two buffers works is known after the first one: only that one
    // is checked, as asking for errors waits for the device to finish everything sent (in a
    // browser, a round trip to the GPU process each frame the map moves).
    const bool fresh = !copy.fbo || copy.width != m_targetWidth || copy.height != m_targetHeight;
    if (fresh) {
        ReleaseDepthCopy(copy);
        GLenum format = GL_DEPTH24_STENCIL8;
        if (!m_offscreen && m_stencilBits == 0) format = m_depthBits > 16 ? GL_DEPTH_COMPONENT24 : GL_DEPTH_COMPONENT16;
        gl.GenRenderbuffers(1, &copy.buffer);
        gl.BindRenderbuffer(GL_RENDERBUFFER, copy.buffer);
        gl.RenderbufferStorage(GL_RENDERBUFFER, format, m_targetWidth, m_targetHeight);
        gl.GenFramebuffers(1, &copy.fbo);
        gl.BindFramebuffer(GL_FRAMEBUFFER, copy.fbo);
        gl.FramebufferRenderbuffer(GL_FRAMEBUFFER,
                                   format == GL_DEPTH24_STENCIL8 ? GL_DEPTH_STENCIL_ATTACHMENT : GL_DEPTH_ATTACHMENT,
                                   GL_RENDERBUFFER, copy.buffer);
        copy.width = m_targetWidth;
        copy.height = m_targetHeight;
    }
    if (fresh) {
        for (int i = 0; i < 8 && gl.GetError() != GL_NO_ERROR; ++i) {
        }
    }
    gl.BindFramebuffer(GL_READ_FRAMEBUFFER, m_offscreen ? m_fbo : 0);
    gl.BindFramebuffer(GL_DRAW_FRAMEBUFFER, copy.fbo);
    BlitDepth(m_targetX, m_targetY, 0, 0);
    Submit();
    gl.BindFramebuffer(GL_FRAMEBUFFER, m_offscreen ? m_fbo : 0);
    if (fresh && gl.GetError() != GL_NO_ERROR) {
        // Formats that differ: the priority map is drawn every frame, as it always was.
        copy.broken = true;
        ReleaseDepthCopy(copy);
        return false;
    }
    copy.valid = true;
    ++copy.version;
    return true;
}

bool CGLDevice::RestoreDepth() {
    const SDepthCopy& copy = m_depthCopies[m_offscreen ? 1 : 0];
    if (!copy.valid || copy.width != m_targetWidth || copy.height != m_targetHeight) return false;
    Flush();
    Emit(kOpNote, {I(copy.version)});
    Emit(kOpBindFramebuffer, {GL_READ_FRAMEBUFFER, I(copy.fbo)});
    BlitDepth(0, 0, m_targetX, m_targetY);
    Emit(kOpBindFramebuffer, {GL_FRAMEBUFFER, I(m_offscreen ? m_fbo : 0)});
    return true;
}

void CGLDevice::BlitDepth(int fromX, int fromY, int toX, int toY) {
    // Blits obey the scissor. Software GL keeps window buffers top row first and ours bottom row
    // first, so that a straight blit between them flips (a shader pass) while a flipped one is a
    // plain copy; the copy is flipped going out and coming back, which leaves the rows as they
    // were on any device.
    if (m_scissor) Emit(kOpDisable, {GL_SCISSOR_TEST});
    const int w = m_targetWidth, h = m_targetHeight;
    const std::int32_t bits = I(DepthCopyBits());
    if (m_offscreen) Emit(kOpBlit, {fromX, fromY, fromX + w, fromY + h, toX, toY, toX + w, toY + h, bits});
    else Emit(kOpBlit, {fromX, fromY, fromX + w, fromY + h, toX, toY + h, toX + w, toY, bits});
    if (m_scissor) Emit(kOpEnable, {GL_SCISSOR_TEST});
}

void CGLDevice::ClearWindow() {
    if (m_offscreen) return;
    Flush();
    if (m_scissor) Emit(kOpDisable, {GL_SCISSOR_TEST});
    Emit(kOpColorMask, {GL_TRUE});
    Emit(kOpClearColor, {}, {0.0f, 0.0f, 0.0f, 1.0f});
    Emit(kOpClear, {GL_COLOR_BUFFER_BIT});
    if (m_colourWrite == 0) Emit(kOpColorMask, {GL_FALSE});
    else m_colourWrite = 1;
    if (m_scissor) Emit(kOpEnable, {GL_SCISSOR_TEST});
}

void CGLDevice::Swap() {
    if (m_offscreen) return;
    Submit();
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

// ---------------------------------------------------------------------------------------------
// States

void CGLDevice::Clear(bool colour, std::uint32_t argb, bool depth, float z, bool stencil, int s,
                      const SDeviceRect* rect) {
    Flush();
    // GL clears obey the write masks, the original's clears did not: open them for the clear and
    // put them back after, so that the render states stay as set.
    GLbitfield bits = 0;
    if (colour) {
        Emit(kOpColorMask, {GL_TRUE});
        Emit(kOpClearColor, {},
             {((argb >> 16) & 0xFF) / 255.0f, ((argb >> 8) & 0xFF) / 255.0f, (argb & 0xFF) / 255.0f,
              ((argb >> 24) & 0xFF) / 255.0f});
        bits |= GL_COLOR_BUFFER_BIT;
    }
    if (depth) {
        Emit(kOpDepthMask, {GL_TRUE});
        Emit(kOpClearDepth, {}, {z});
        bits |= GL_DEPTH_BUFFER_BIT;
    }
    if (stencil && HasStencil()) {
        Emit(kOpClearStencil, {s});
        bits |= GL_STENCIL_BUFFER_BIT;
    }
    if (!bits) return;
    // Clears touch the target rectangle only (the viewport, as on the original device), never the
    // letter-box margins.
    SDeviceRect r = rect ? *rect : SDeviceRect{0, 0, m_targetWidth, m_targetHeight};
    int x, y, w, h;
    ToGL(r, x, y, w, h);
    Emit(kOpEnable, {GL_SCISSOR_TEST});
    Emit(kOpScissor, {x, y, w, h});
    Emit(kOpClear, {I(bits)});
    if (colour) {
        if (m_colourWrite == 0) Emit(kOpColorMask, {GL_FALSE});
        else m_colourWrite = 1;
    }
    if (depth) {
        if (m_depthWrite == 0) Emit(kOpDepthMask, {GL_FALSE});
        else m_depthWrite = 1;
    }
    if (m_scissor) {
        ToGL(m_scissorRect, x, y, w, h);
        Emit(kOpScissor, {x, y, w, h});
    } else {
        Emit(kOpDisable, {GL_SCISSOR_TEST});
    }
}

void CGLDevice::SetBlend(int mode) {
    if (mode == m_blend) return;
    Flush();
    m_blend = mode;
    switch (mode) {
    case kDeviceBlendAlpha:
        Emit(kOpEnable, {GL_BLEND});
        Emit(kOpBlendFunc, {GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA});
        break;
    case kDeviceBlendAdd:
        Emit(kOpEnable, {GL_BLEND});
        Emit(kOpBlendFunc, {GL_ONE, GL_ONE});
        break;
    case kDeviceBlendDepthOnly:
        Emit(kOpEnable, {GL_BLEND});
        Emit(kOpBlendFunc, {GL_ZERO, GL_ONE});
        break;
    default:
        Emit(kOpDisable, {GL_BLEND});
        Emit(kOpBlendFunc, {GL_ONE, GL_ZERO});
        break;
    }
}

void CGLDevice::SetColourWrite(bool on) {
    if (int(on) == m_colourWrite) return;
    Flush();
    m_colourWrite = on;
    Emit(kOpColorMask, {on ? GL_TRUE : GL_FALSE});
}

void CGLDevice::SetDepthTest(bool on) {
    if (int(on) == m_depthTest) return;
    Flush();
    m_depthTest = on;
    // The depth test off on the original also stopped depth writes; GL_DEPTH_TEST off does the same.
    Emit(on ? kOpEnable : kOpDisable, {GL_DEPTH_TEST});
}

void CGLDevice::SetDepthWrite(bool on) {
    if (int(on) == m_depthWrite) return;
    Flush();
    m_depthWrite = on;
    Emit(kOpDepthMask, {on ? GL_TRUE : GL_FALSE});
}

void CGLDevice::SetStencilTest(bool on) {
    if (int(on) == m_stencilTest) return;
    Flush();
    m_stencilTest = on;
    Emit(on ? kOpEnable : kOpDisable, {GL_STENCIL_TEST});
}

void CGLDevice::SetScissor(const SDeviceRect* rect) {
    Flush();
    if (!rect) {
        if (m_scissor) Emit(kOpDisable, {GL_SCISSOR_TEST});
        m_scissor = false;
        return;
    }
    m_scissor = true;
    m_scissorRect = *rect;
    int x, y, w, h;
    ToGL(*rect, x, y, w, h);
    Emit(kOpEnable, {GL_SCISSOR_TEST});
    Emit(kOpScissor, {x, y, w, h});
}

void CGLDevice::BindSampler() { Emit(kOpBindSampler, {I(m_samplers[(m_linear ? 2 : 0) | (m_clamp ? 1 : 0)])}); }

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
    Emit(kOpUseProgram, {I(m_programs[stage >= 0 && stage < kStageCount ? stage : 0])});
}

void CGLDevice::BindTexture(unsigned id) {
    if (id == m_texture) return;
    Flush();
    m_texture = id;
    const auto version = m_versions.find(id);
    m_textureVersion = version != m_versions.end() ? version->second : 0;
    Emit(kOpBindTexture, {I(id)});
}

// ---------------------------------------------------------------------------------------------
// Drawing

void CGLDevice::PointAttributes(std::size_t firstVertex) {
    const std::size_t at = firstVertex * sizeof(SVertex);
    auto offset = [at](std::size_t field) { return reinterpret_cast<void*>(at + field); };
    gl.VertexAttribPointer(0, 4, GL_FLOAT, GL_FALSE, sizeof(SVertex), offset(offsetof(SVertex, x)));
#if OVE_GLES
    gl.VertexAttribPointer(1, 4, GL_UNSIGNED_BYTE, GL_TRUE, sizeof(SVertex), offset(offsetof(SVertex, diffuse)));
#else
    // The colour word 0xAARRGGBB is stored B, G, R, A: GL_BGRA reads it as RGBA.
    gl.VertexAttribPointer(1, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, sizeof(SVertex), offset(offsetof(SVertex, diffuse)));
#endif
    gl.VertexAttribPointer(2, 2, GL_FLOAT, GL_FALSE, sizeof(SVertex), offset(offsetof(SVertex, u)));
}

void CGLDevice::Draw(const SVertex* vertices, int count, bool fan) {
    if (count < 3) return;
    // Everything becomes indexed triangles so that consecutive primitives share one draw call. A
    // fan (0, 1, 2, 3) is exactly the triangles (0, 1, 2) and (0, 2, 3), in that order, so the
    // pixels and the order in which they are written do not change; its vertices are sent (and
    // transformed) once each. Indices count from the draw call's first vertex.
    if (!fan) count -= count % 3;
    const auto base = std::uint32_t(m_batch.size() - m_batchStart);
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

void CGLDevice::Flush() {
    if (m_batch.size() == m_batchStart) return;
    // What the texture held when this was drawn is part of the frame too.
    Emit(kOpNote, {I(m_texture), I(m_textureVersion)});
    Emit(kOpDraw,
         {std::int32_t(m_batchStart), std::int32_t(m_indexStart), std::int32_t(m_indices.size() - m_indexStart)});
    m_batchStart = m_batch.size();
    m_indexStart = m_indices.size();
}

// ---------------------------------------------------------------------------------------------
// Textures: the calls queued so far are sent first, which keeps their order with the upload.

namespace {
// Pixels are B, G, R, A bytes; ES takes them as RGBA and its shaders swap back.
#if OVE_GLES
constexpr GLenum kPixelFormat = GL_RGBA;
#else
constexpr GLenum kPixelFormat = GL_BGRA;
#endif
}  // namespace

unsigned CGLDevice::CreateTexture(int width, int height, const std::uint8_t* pixels) {
    Submit();
    GLuint id = 0;
    gl.GenTextures(1, &id);
    if (!id) return 0;
    BindTexture(id);
    Submit();
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    gl.TexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, kPixelFormat, GL_UNSIGNED_BYTE, pixels);
    m_versions[id] = m_textureVersion = ++m_nextVersion;
    return id;
}

void CGLDevice::UploadTexture(unsigned id, int width, int height, const std::uint8_t* pixels) {
    Submit();
    BindTexture(id);
    Submit();
    gl.TexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, width, height, kPixelFormat, GL_UNSIGNED_BYTE, pixels);
    m_versions[id] = m_textureVersion = ++m_nextVersion;
}

void CGLDevice::DeleteTexture(unsigned id) {
    if (!id) return;
    Submit();
    if (m_texture == id) {
        m_texture = 0;
        m_textureVersion = 0;
    }
    m_versions.erase(id);
    GLuint name = id;
    gl.DeleteTextures(1, &name);
}

}  // namespace ove
