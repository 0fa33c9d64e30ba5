// Free-standing text (DrawTextAt and its settings, measuring, fonts) and the substitution tables
// scripts register and apply to strings.
#pragma once
#include <duktape.h>

namespace ove {

class CSubstitutionTables;

// Substitution tables: RegisterSubstitutionTable, RemoveSubstitutionTable,
// ReloadSubstitutionTables, ApplySubstitutionTables.
bool StartTableAPI(duk_context* ctx);
void StopTableAPI(duk_context* ctx);
// The tables registered by the running script.
const CSubstitutionTables& RegisteredSubstitutionTables();

// Text: DrawTextAt, ClearText, SetTextFont, SetTextColour, SetTextBackground, SetTextEffect,
// SetTextPriority, FontExists, FontHeight, MeasureText, MeasuredText, FROM_START, FROM_END.
bool StartTextAPI(duk_context* ctx);
void StopTextAPI(duk_context* ctx);

}  // namespace ove
