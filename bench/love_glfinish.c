/* LD_PRELOAD shim for the sprite benchmark: under SDL's offscreen driver a swap draws nothing, so
 * software GL would queue frames without rasterising them. Finishing before every swap makes each
 * timed frame a drawn one. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stddef.h>

typedef void (*swap_fn)(void* window);
typedef void (*finish_fn)(void);
typedef void* (*proc_fn)(const char* name);

void SDL_GL_SwapWindow(void* window) {
    static swap_fn real_swap = NULL;
    static finish_fn finish = NULL;
    if (!real_swap) real_swap = (swap_fn)dlsym(RTLD_NEXT, "SDL_GL_SwapWindow");
    if (!finish) {
        proc_fn get_proc = (proc_fn)dlsym(RTLD_DEFAULT, "SDL_GL_GetProcAddress");
        if (get_proc) finish = (finish_fn)get_proc("glFinish");
    }
    if (finish) finish();
    if (real_swap) real_swap(window);
}
