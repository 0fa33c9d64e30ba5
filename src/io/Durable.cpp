#include "Durable.h"

#ifdef __EMSCRIPTEN__
#include <emscripten.h>

// One copy at a time; changes made during a copy start another when it ends.
// clang-format off
EM_JS(void, ove_persist_file_changes, (), {
    var state = Module.ovePersistState || (Module.ovePersistState = {busy: false, again: false});
    if (state.busy) { state.again = true; return; }
    var run = function() {
        state.busy = true;
        FS.syncfs(false, function(err) {
            if (err) console.error('ove: could not keep the saved files in the browser: ' + err);
            state.busy = false;
            if (state.again) { state.again = false; run(); }
        });
    };
    run();
});
// clang-format on
#endif

namespace ove {

#ifdef __EMSCRIPTEN__
void PersistFileChanges() { ove_persist_file_changes(); }
#else
void PersistFileChanges() {}
#endif

}  // namespace ove
