// The Colour script type and the conversions every API that takes or returns colours uses.
//
// Native colours are 0xAARRGGBB words. A script Colour is a plain object whose channels live in
// hidden properties; it has no native object.
#pragma once
#include <duktape.h>

#include <cstdint>

namespace ove {

// Module start and clean-up (registers Colour, RGB8 ... RGBA, the named and OS_ colours).
bool StartColourAPI(duk_context* ctx);
void StopColourAPI(duk_context* ctx);

// The channels of the object at `index` (any object; a missing channel reads as 0), each cut to
// its low 8 bits. A non-object gives 0. Never raises.
uint32_t ColourFromScript(duk_context* ctx, duk_idx_t index);
// Pushes a new Colour holding `argb`. Never raises (beyond out-of-memory).
void ColourToScript(duk_context* ctx, uint32_t argb);
// The value is an instance of Colour. Never raises.
bool IsColour(duk_context* ctx, duk_idx_t index);

// A number as an unsigned 32-bit value: fractions truncated, negative and NaN 0, too large
// 0xFFFFFFFF.
uint32_t ColourNumber(double value);

// The colour argument rule. An object is read with ColourFromScript; any other value must be a
// number (false otherwise), taken with ColourNumber and, when `opaque`, given alpha 255.
bool ReadColour(duk_context* ctx, duk_idx_t index, uint32_t* out, bool opaque = true);
// The same, raising the engine's TypeError for a required number when the value is neither.
// Longjmps on that error: call it before anything with a destructor is alive.
uint32_t ArgColour(duk_context* ctx, duk_idx_t index, bool opaque = true);

}  // namespace ove
