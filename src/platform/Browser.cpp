#include "Browser.h"

#ifdef __EMSCRIPTEN__
#include <emscripten.h>

// clang-format off
// A message to ourselves comes back as soon as the page has handled what waits (input, drawing),
// without the 4 ms floor that nested timers get. The first one marks the first frame's time.
EM_ASYNC_JS(void, ove_yield, (), {
    if (!Module.oveYield) {
        var channel = new MessageChannel();
        var waiting = [];
        channel.port1.onmessage = function() { var resume = waiting.shift(); if (resume) resume(); };
        Module.oveYield = function() { return new Promise(function(resume) { waiting.push(resume); channel.port2.postMessage(0); }); };
        if (typeof window !== 'undefined') {
            window.oveTimings = window.oveTimings || {};
            window.oveTimings.firstFrame = performance.now();
        }
    }
    await Module.oveYield();
});

EM_JS(void, ove_report_exit, (int status), {
    if (typeof window !== 'undefined') {
        window.oveTimings = window.oveTimings || {};
        window.oveTimings.exited = performance.now();
        window.oveExitStatus = status;
    }
    if (typeof Module.oveExit === 'function') Module.oveExit(status);
});
// clang-format on
#endif

namespace ove {

#ifdef __EMSCRIPTEN__
void YieldToBrowser() {
    // The page composites at most once a display refresh: handing over more often only costs.
    static double last = 0;
    const double now = emscripten_get_now();
    if (now - last < 15) return;
    ove_yield();
    last = emscripten_get_now();
}
void ReportExitToPage(int status) { ove_report_exit(status); }
#else
void YieldToBrowser() {}
void ReportExitToPage(int) {}
#endif

}  // namespace ove
