#include "HeapFixture.h"

#include "bindings/JSColour.h"
#include "script/Binding.h"
#include "script/ScriptHost.h"

namespace gameapitest {

namespace {

duk_ret_t StartSafely(duk_context* ctx, void* fixture) {
    duk_push_boolean(ctx, static_cast<ScriptFixture*>(fixture)->CallStartModules(ctx));
    return 1;
}

}  // namespace

void ScriptFixture::SetUp() {
    m_ctx = ove::CreateScriptHeap(nullptr);
    ASSERT_NE(m_ctx, nullptr);
    ove::ResetBindingState();
    ove::SetScriptServices(m_ctx, Services());
    ASSERT_EQ(duk_safe_call(m_ctx, StartSafely, this, 0, 1), DUK_EXEC_SUCCESS) << duk_safe_to_string(m_ctx, -1);
    EXPECT_TRUE(duk_get_boolean(m_ctx, -1));
    duk_pop(m_ctx);
    ASSERT_EQ(duk_get_top(m_ctx), 0);
}

void ScriptFixture::TearDown() {
    if (m_ctx) {
        StopModules(m_ctx);
        duk_destroy_heap(m_ctx);
    }
    m_ctx = nullptr;
    ove::ResetBindingState();
}

bool ScriptFixture::StartModules(duk_context* ctx) { return ove::StartColourAPI(ctx); }

void ScriptFixture::StopModules(duk_context* ctx) { ove::StopColourAPI(ctx); }

std::string ScriptFixture::Eval(const std::string& source) {
    duk_idx_t top = duk_get_top(m_ctx);
    std::string result;
    if (duk_peval_lstring(m_ctx, source.data(), source.size()) != 0) result = "throw ";
    result += duk_safe_to_string(m_ctx, -1);
    duk_pop(m_ctx);
    EXPECT_EQ(duk_get_top(m_ctx), top) << "unbalanced stack after: " << source;
    return result;
}

void ScriptFixture::Push(const std::string& source) {
    if (duk_peval_lstring(m_ctx, source.data(), source.size()) != 0)
        ADD_FAILURE() << source << " threw " << duk_safe_to_string(m_ctx, -1);
}

}  // namespace gameapitest
