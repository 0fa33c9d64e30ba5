// Buckets for scripts: the Buckets class with AddToBucket, ClearAllBuckets and
// GetBucketContents, CreateBuckets and DestroyBuckets.
#pragma once
#include <duktape.h>

namespace ove {

bool StartBucketAPI(duk_context* ctx);
// Frees every container that scripts did not destroy.
void StopBucketAPI(duk_context* ctx);

}  // namespace ove
