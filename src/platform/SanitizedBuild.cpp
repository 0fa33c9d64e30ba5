// Linked into every program of a sanitized build (OVE_SANITIZE) and nowhere else.
//
// Leak reports name the modules on the allocating stack. The GL driver's own allocations come from
// modules that it unloads before exit, which nothing can then name or suppress, and what they held
// reads as leaked. Loaded here first and for good, the driver stays mapped and its memory reachable.
#include <dlfcn.h>

#include <initializer_list>

namespace {

[[maybe_unused]] const bool g_driverPinned = [] {
    for (const char* module : {"libEGL_mesa.so.0", "libGLX_mesa.so.0", "/usr/lib/x86_64-linux-gnu/dri/swrast_dri.so"})
        dlopen(module, RTLD_NOW | RTLD_NODELETE);
    return true;
}();

}  // namespace
