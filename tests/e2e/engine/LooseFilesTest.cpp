// Which lookups see files in the current directory, before and after SetCurrentDirectory (as
// docs/input.md describes them).
#include <gtest/gtest.h>

#include "e2e/demo/DemoTestUtil.h"
#include "support/TestSupport.h"

TEST(Engine, LooseFilesInTheCurrentDirectoryBeforeAndAfterSetCurrentDirectory) {
    ovetest::TempDir game;
    game.Write("DATA/main.ovs",
               "function Show(what) {"
               "  var text; try { text = ReadTextFile('note.txt'); } catch (e) { text = 'none'; }"
               "  word = 'unset'; try { Import('more'); } catch (e) { word = 'failed'; }"
               "  Alert(what, word, text, ScriptExists('empty'), ScriptExists('more'));"
               "}"
               "function Init() {"
               "  Show('start');"
               "  Alert(SetCurrentDirectory('sub'));"
               "  Show('changed');"
               "  Alert(SetCurrentDirectory('nowhere'));"
               "  Show('failed');"
               "}"
               "function Run() {}");
    game.Write("DATA/more.ovs", "var word = 'data';");
    game.Write("DATA/note.txt", "data note");
    // Beside DATA: a non-empty script and note, and an empty script.
    game.Write("more.ovs", "var word = 'loose';");
    game.Write("note.txt", "loose note");
    game.Write("empty.ovs", "");
    // In the folder the script changes to: empty files only.
    game.Write("sub/more.ovs", "");
    game.Write("sub/note.txt", "");
    game.Write("sub/empty.ovs", "");

    demotest::SRun r = demotest::RunEngine(game.path(), "");
    EXPECT_EQ(r.status, 0) << r.err;
    // At start an empty loose file is passed over; after the change the lookups by name and type
    // take the empty ones in sub (Import runs an empty script), ReadTextFile does not; after a
    // failed change only non-empty loose files count again.
    EXPECT_EQ(r.err,
              "Alert: start loose loose note false true\n"
              "Alert: true\n"
              "Alert: changed unset data note true true\n"
              "Alert: false\n"
              "Alert: failed data data note false true\n");
}
