/* The engine itself, and the hooks that need its internals (one translation unit). */
#include "duktape.c"

#include "Duktape.h"

static int (*g_interrupt)(void *) = 0;

int ove_duk_exec_timeout(void *udata) { return g_interrupt ? g_interrupt(udata) : 0; }

void OveSetScriptInterrupt(int (*hook)(void *)) { g_interrupt = hook; }

void OveCheckInterruptNow(duk_context *ctx) {
    duk_hthread *thr = (duk_hthread *) ctx;
    if (thr) thr->interrupt_counter = 0;
}
