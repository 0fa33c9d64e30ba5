#include "JSSound.h"

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "bindings/Bindings.h"
#include "io/FileFolder.h"
#include "resources/ResourceCache.h"
#include "script/Binding.h"
#include "sound/SoundManager.h"

namespace ove {

namespace {

// Several Sound objects share one cached sound, and destroying it through one of them must cut
// the others off too. So script objects are bound to a link rather than to the sound: the link
// is emptied when the sound is destroyed and outlives it until the heap goes.
struct SSoundLink {
    CSound* sound;
};

std::map<CSound*, SSoundLink*> g_linkOf;           // live sounds -> their link
std::vector<std::unique_ptr<SSoundLink>> g_links;  // every link handed out on this heap

SSoundLink* LinkOf(CSound* sound) {
    auto it = g_linkOf.find(sound);
    if (it != g_linkOf.end()) return it->second;
    g_links.push_back(std::make_unique<SSoundLink>(SSoundLink{sound}));
    g_linkOf.emplace(sound, g_links.back().get());
    return g_links.back().get();
}

// Names already reported as finding nothing: a name played every frame is reported once.
std::set<std::string> g_reportedNames;

// Whether a file of exactly this name exists where resources are looked for.
bool FileOfName(CResourceCache& cache, const std::string& name) {
    if (cache.DiskFirst() && LocalFileFound(name)) return true;
    return cache.Folder() && cache.Folder()->Found(name);
}

// Says on standard error what a sound name that found no file was looked for as, and why a name
// with an extension finds nothing. Scripts only see null or "Couldn't create sound". A file that
// exists but makes no sound is the cache's to report.
void ReportNoSound(duk_context* ctx, CResourceCache& cache, const std::string& name) {
    if (cache.ResourceExists(name, "OVA") || cache.ResourceExists(name, "WAV")) return;
    if (!g_reportedNames.insert(name).second) return;
    char function[128];
    CurrentFunctionName(ctx, function, sizeof function);
    std::string text = std::string(function) + ": no sound \"" + name + "\": looked for " + name + ".OVA and " + name +
                       ".WAV";
    const std::size_t dot = name.rfind('.');
    const std::size_t slash = name.find_last_of("/\\");
    if (dot != std::string::npos && dot > 0 && (slash == std::string::npos || dot > slash) && FileOfName(cache, name)) {
        const std::string stem = name.substr(0, dot);
        text += "; there is a file \"" + name + "\", but sound names carry no extension (\"" + stem +
                "\" would look for " + stem + ".OVA and " + stem + ".WAV)";
    }
    Warning(text);
}

CResourceCache* Cache(duk_context* ctx) {
    IEngineServices* game = Engine(ctx);
    return game ? game->Resources() : nullptr;
}

CSoundManager* Manager(duk_context* ctx) {
    IEngineServices* game = Engine(ctx);
    return game ? game->Sound() : nullptr;
}

// The sound of the argument: TypeError "Sound expected", ReferenceError when unbound or destroyed.
CSound* RequireSound(duk_context* ctx, duk_idx_t index) {
    auto* link = Require<SSoundLink>(ctx, index, "Sound");
    if (!link->sound) duk_error(ctx, DUK_ERR_REFERENCE_ERROR, "Sound has no associated native object");
    return link->sound;
}

// The sound of `this`; a ReferenceError naming the property when there is none.
CSound* ThisSound(duk_context* ctx) {
    auto* link = This<SSoundLink>(ctx, "Sound");
    if (!link->sound) RaiseCallError(ctx, DUK_ERR_REFERENCE_ERROR, "the Sound has no associated native object");
    return link->sound;
}

// `new Sound()` makes an unbound Sound; sounds come from LoadSound.
duk_ret_t Constructor(duk_context* ctx) {
    RequireConstructorCall(ctx);
    BindThis(ctx, nullptr, "Sound");
    return 0;
}

duk_ret_t LoadSound(duk_context* ctx) {
    const char* name = ArgString(ctx, 0);
    SSoundLink* link = nullptr;
    if (CResourceCache* cache = Cache(ctx)) {
        if (CSound* sound = cache->LoadSound(name)) link = LinkOf(sound);
        else ReportNoSound(ctx, *cache, name);
    }
    if (!link) return duk_error(ctx, DUK_ERR_ERROR, "Couldn't create sound");
    PushNewInstance(ctx, "Sound", link);
    return 1;
}

duk_ret_t PlaySound(duk_context* ctx) {
    if (duk_get_top(ctx) == 0) RaiseCallError(ctx, DUK_ERR_SYNTAX_ERROR, "needs a sound name or a Sound");
    u32 length = 0;
    if (duk_is_string(ctx, 0)) {
        const char* name = duk_get_string(ctx, 0);
        const i32 volume = duk_get_top(ctx) > 1 ? OptInt(ctx, 1, -1) : -1;
        CResourceCache* cache = Cache(ctx);
        CSoundManager* manager = Manager(ctx);
        CSound* sound = cache ? cache->LoadSound(name) : nullptr;
        if (cache && !sound) ReportNoSound(ctx, *cache, name);
        if (manager) manager->PlayAtVolume(sound, volume);
        if (sound) length = sound->GetLength();
    } else {
        if (!duk_is_object(ctx, 0)) RaiseArgError(ctx, DUK_ERR_TYPE_ERROR, 0, "sound", "a sound name or a Sound");
        CSound* sound = RequireSound(ctx, 0);
        sound->Play();
        length = sound->GetLength();
    }
    if (length > 0) duk_push_uint(ctx, length);
    else duk_push_null(ctx);
    return 1;
}

duk_ret_t StopSound(duk_context* ctx) {
    RequireSound(ctx, 0)->Stop();
    return 0;
}

duk_ret_t SoundExists(duk_context* ctx) {
    const char* name = ArgString(ctx, 0);
    bool exists = false;
    if (CResourceCache* cache = Cache(ctx))
        exists = cache->ResourceExists(name, "OVA") || cache->ResourceExists(name, "WAV");
    duk_push_boolean(ctx, exists);
    return 1;
}

duk_ret_t GetVolume(duk_context* ctx) {
    CSoundManager* manager = Manager(ctx);
    duk_push_int(ctx, manager ? manager->GetVolume() : 0);
    return 1;
}

duk_ret_t SetVolume(duk_context* ctx) {
    const i32 volume = ArgInt(ctx, 0);
    if (CSoundManager* manager = Manager(ctx)) manager->SetVolume(volume);
    return 0;
}

duk_ret_t DestroySound(duk_context* ctx) {
    if (!IsInstance(ctx, 0, "Sound")) return duk_error(ctx, DUK_ERR_TYPE_ERROR, "Sound expected");
    auto* link = static_cast<SSoundLink*>(GetNativeIf(ctx, 0, "Sound"));
    SetNativePointer(ctx, 0, nullptr);
    if (!link || !link->sound) return 0;
    CSound* sound = link->sound;
    link->sound = nullptr;
    g_linkOf.erase(sound);
    if (CResourceCache* cache = Cache(ctx)) cache->ForgetSound(sound);
    return 0;
}

// ---------------------------------------------------------------- properties

duk_ret_t GetLength(duk_context* ctx) {
    u32 length = ThisSound(ctx)->GetLength();
    if (length > 0) duk_push_uint(ctx, length);
    else duk_push_null(ctx);
    return 1;
}

duk_ret_t GetLooping(duk_context* ctx) {
    duk_push_boolean(ctx, ThisSound(ctx)->IsLooping());
    return 1;
}

duk_ret_t SetLooping(duk_context* ctx) {
    const bool on = ArgBool(ctx, 0);
    ThisSound(ctx)->SetLooping(on);
    return 0;
}

duk_ret_t GetPlaying(duk_context* ctx) {
    duk_push_boolean(ctx, ThisSound(ctx)->IsPlaying());
    return 1;
}

duk_ret_t GetSoundVolume(duk_context* ctx) {
    duk_push_int(ctx, ThisSound(ctx)->GetVolume());
    return 1;
}

duk_ret_t SetSoundVolume(duk_context* ctx) {
    const i32 volume = ArgInt(ctx, 0);
    CSound* sound = ThisSound(ctx);
    if (volume < 0) return 0;
    if (volume > 100) RaiseCallError(ctx, DUK_ERR_RANGE_ERROR, "volume %d is above 100", static_cast<int>(volume));
    sound->SetVolume(volume);
    return 0;
}

const SAccessor kAccessors[] = {
    {"length", GetLength, nullptr},   {"looping", GetLooping, SetLooping},
    {"playing", GetPlaying, nullptr}, {"volume", GetSoundVolume, SetSoundVolume},
    {nullptr, nullptr, nullptr},
};

}  // namespace

bool StartSoundAPI(duk_context* ctx) {
    RegisterClass(ctx, SClassDef{"Sound", nullptr, Constructor, 0, nullptr, kAccessors});
    RegisterFunction(ctx, "LoadSound", Guarded<LoadSound>, 1);
    RegisterFunction(ctx, "PlaySound", Guarded<PlaySound>, DUK_VARARGS);
    RegisterFunction(ctx, "StopSound", StopSound, 1);
    RegisterFunction(ctx, "SoundExists", Guarded<SoundExists>, 1);
    RegisterFunction(ctx, "GetVolume", GetVolume, 0);
    RegisterFunction(ctx, "SetVolume", SetVolume, 1);
    RegisterFunction(ctx, "DestroySound", Guarded<DestroySound>, 1);
    return true;
}

void StopSoundAPI(duk_context*) {
    g_reportedNames.clear();
    g_linkOf.clear();
    g_links.clear();
}

}  // namespace ove
