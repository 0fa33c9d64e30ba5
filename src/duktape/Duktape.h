// The script engine: Duktape, built from the amalgamated source Debian ships in duktape-dev with
// the executor's interrupt check turned on. Include <duktape.h> for the engine's API; this header
// adds the two hooks the script host needs on top of it.
#pragma once
#include <duktape.h>

#ifdef __cplusplus
extern "C" {
#endif

// Called every so many bytecode instructions of every heap, with the heap's user data. A non-zero
// answer makes the running script throw a RangeError ("execution timeout") that no script catch
// or finally block survives: it is raised again at every instruction until control is back in
// native code. Null (the default) never stops anything.
void OveSetScriptInterrupt(int (*hook)(void* heapUserData));

// Makes the next bytecode instruction of the context consult the hook, instead of the next
// scheduled check (up to a quarter of a million instructions later).
void OveCheckInterruptNow(duk_context* ctx);

// Date.now() answers what this function answers (null: the system's clock).
void OveSetDateNow(double (*now)(void));
// Math.random() in every heap draws from one sequence; seeding it makes runs repeat. Unseeded, it
// starts from the time.
void OveSeedScriptRandom(unsigned long long seed);

#ifdef __cplusplus
}
#endif
