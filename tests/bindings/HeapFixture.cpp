#include "HeapFixture.h"

#include "script/Binding.h"
#include "script/ScriptHost.h"
#include "bindings/JSColour.h"

namespace gameapitest {

namespace {

duk_ret_t StartSafely(duk_context* ctx, void* fixture) {
    duk_push_boolean(ctx, static_cast<ScriptFixture*>(fixture)->CallStartModules(ctx));
    return 1;
}

}  // namespace

void ScriptFixture::SetUp() {
    ctx_ = ove::CreateScriptHeap(nullptr);
    ASSERT_NE(ctx_, nullptr);
    ove::ResetBindingState();
    ove::SetScriptServices(ctx_, Services());
    ASSERT_EQ(duk_safe_call(ctx_, StartSafely, this, 0, 1), DUK_EXEC_SUCCESS) << duk_safe_to_string(ctx_, -1);
    EXPECT_TRUE(duk_get_boolean(ctx_, -1));
    duk_pop(ctx_);
    ASSERT_EQ(duk_get_top(ctx_), 0);
}

void ScriptFixture::TearDown() {
    if (ctx_) {
        StopModules(ctx_);
        duk_destroy_heap(ctx_);
    }
    ctx_ = nullptr;
    ove::ResetBindingState();
}

bool ScriptFixture::StartModules(duk_context* ctx) { return ove::StartColourAPI(ctx); }

void ScriptFixture::StopModules(duk_context* ctx) { ove::StopColourAPI(ctx); }

std::string ScriptFixture::Eval(const std::string& source) {
    duk_idx_t top = duk_get_top(ctx_);
    std::string result;
    if (duk_peval_lstring(ctx_, source.data(), source.size()) != 0) result = "throw ";
    result += duk_safe_to_string(ctx_, -1);
    duk_pop(ctx_);
    EXPECT_EQ(duk_get_top(ctx_), top) << "unbalanced stack after: " << source;
    return result;
}

void ScriptFixture::Push(const std::string& source) {
    if (duk_peval_lstring(ctx_, source.data(), source.size()) != 0)
        ADD_FAILURE() << source << " threw " << duk_safe_to_string(ctx_, -1);
}

}  // namespace gameapitest
