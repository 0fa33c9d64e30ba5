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

static double (*g_date_now)(void) = 0;
static unsigned long long g_random_state = 0;
static int g_random_seeded = 0;

double ove_duk_date_now(void) { return g_date_now ? g_date_now() : duk_bi_date_get_now_gettimeofday(); }

void OveSetDateNow(double (*now)(void)) { g_date_now = now; }

void OveSeedScriptRandom(unsigned long long seed) {
    g_random_state = seed;
    g_random_seeded = 1;
}

/* splitmix64: small, and good enough for games' Math.random(). */
double ove_duk_random_double(void *udata) {
    unsigned long long z;
    (void) udata;
    if (!g_random_seeded) OveSeedScriptRandom((unsigned long long) duk_bi_date_get_now_gettimeofday());
    z = (g_random_state += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    z ^= z >> 31;
    return (double) (z >> 11) * (1.0 / 9007199254740992.0);
}
