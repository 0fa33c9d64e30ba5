// What the engine needs from the page when it runs in a browser (WebAssembly); on the desktop
// these do nothing.
#pragma once

namespace ove {

// Hands control back to the browser for a moment (the game's loop blocks; Asyncify unwinds it),
// so that the page shows the frame and delivers input.
void YieldToBrowser();

// Tells the page that the game has ended, with the engine's exit status.
void ReportExitToPage(int status);

}  // namespace ove
