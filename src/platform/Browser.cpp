#include "Browser.h"

#ifdef __EMSCRIPTEN__
#include <emscripten.h>

// clang-format off
EM_JS(void, ove_report_exit, (int status), {
    if (typeof Module.oveExit === 'function') Module.oveExit(status);
});
// clang-format on
#endif

namespace ove {

#ifdef __EMSCRIPTEN__
void YieldToBrowser() { emscripten_sleep(0); }
void ReportExitToPage(int status) { ove_report_exit(status); }
#else
void YieldToBrowser() {}
void ReportExitToPage(int) {}
#endif

}  // namespace ove
