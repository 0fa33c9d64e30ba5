#include "JSBuckets.h"

#include <memory>
#include <unordered_map>

#include "scene/Buckets.h"
#include "script/Binding.h"

namespace ove {

namespace {

// Nothing else owns a container, so the module keeps every live one: a script that drops its
// Buckets without DestroyBuckets leaks nothing past the collector or the end of the game.
std::unordered_map<CBuckets*, std::unique_ptr<CBuckets>> g_live;

void Free(CBuckets* buckets) { g_live.erase(buckets); }

duk_ret_t Constructor(duk_context* ctx) {
    RequireConstructorCall(ctx);
    const std::int32_t count = ArgInt(ctx, 0);
    CBuckets* native = nullptr;
    {
        auto created = std::make_unique<CBuckets>(count);
        native = created.get();
        g_live.emplace(native, std::move(created));
    }
    BindThis(ctx, native, "Buckets");
    return 0;
}

// Runs when the collector frees an object that inherits the prototype's finalizer; the
// prototype itself and unbound objects have no container.
duk_ret_t Finalizer(duk_context* ctx) {
    if (auto* buckets = static_cast<CBuckets*>(GetNativeIf(ctx, 0, "Buckets"))) Free(buckets);
    return 0;
}

void Destroy(duk_context*, void* native) { Free(static_cast<CBuckets*>(native)); }

duk_ret_t AddToBucket(duk_context* ctx) {
    const std::int32_t index = ArgInt(ctx, 0);
    const std::int32_t value = ArgInt(ctx, 1);
    This<CBuckets>(ctx, "Buckets")->Add(index, value);
    return 0;
}

duk_ret_t ClearAllBuckets(duk_context* ctx) {
    This<CBuckets>(ctx, "Buckets")->ClearAll();
    return 0;
}

duk_ret_t GetBucketContents(duk_context* ctx) {
    const std::int32_t index = ArgInt(ctx, 0);
    std::int32_t size = 0;
    const std::int32_t* values = This<CBuckets>(ctx, "Buckets")->Contents(index, size);
    if (!values) {
        duk_push_null(ctx);
        return 1;
    }
    duk_push_array(ctx);
    for (std::int32_t i = 0; i < size; ++i) {
        duk_push_int(ctx, values[i]);
        duk_put_prop_index(ctx, -2, duk_uarridx_t(i));
    }
    return 1;
}

const duk_function_list_entry kMethods[] = {
    {"AddToBucket", AddToBucket, 2},
    {"ClearAllBuckets", ClearAllBuckets, 0},
    {"GetBucketContents", GetBucketContents, 1},
    {nullptr, nullptr, 0},
};

}  // namespace

bool StartBucketAPI(duk_context* ctx) {
    RegisterClass(ctx, SClassDef{"Buckets", nullptr, Guarded<Constructor>, 1, kMethods, nullptr});
    PushPrototype(ctx, "Buckets");
    duk_push_c_function(ctx, Finalizer, 1);
    duk_set_finalizer(ctx, -2);
    duk_pop(ctx);
    RegisterCreateFunction(ctx, "CreateBuckets", "Buckets", 1);
    RegisterDestroyFunction(ctx, "DestroyBuckets", "Buckets", Destroy);
    return true;
}

void StopBucketAPI(duk_context*) { g_live.clear(); }

}  // namespace ove
