// SIGINT and SIGTERM end the engine at any moment. The handler only records the signal: the
// event pump sees it as a quit request (SDL's own handler, kept underneath, posts the quit), modal
// loops ask TerminationRequested(), and a blocking message box is ended by a watcher that kills
// the box's helper process. Whatever still holds the engine up a second later, the process
// ends there and then with the status below.
#pragma once

namespace ove {

// Installs the handlers. Call after SDL_Init, so that SDL's handlers stay underneath ours. A
// signal that the engine was started with ignored stays ignored.
void InstallSignalHandlers();

// The first terminating signal received; 0 when none.
int TerminationSignal();
inline bool TerminationRequested() { return TerminationSignal() != 0; }

// An error box was (or is being) shown: a signal then ends the engine with status 1.
void NoteErrorBox();

// The engine's exit status: `normal` unless a signal ended the run, else 1 after an error box
// and 128 + the signal's number otherwise.
int ExitStatus(int normal);

// While alive, a message box that blocks the engine is up: a terminating signal kills its
// helper process (SDL shows boxes from a child process), so that the box call returns; when no
// such process shows up, the engine ends at once.
class CBlockingBoxWatch {
public:
    CBlockingBoxWatch();
    ~CBlockingBoxWatch();
    CBlockingBoxWatch(const CBlockingBoxWatch&) = delete;
    CBlockingBoxWatch& operator=(const CBlockingBoxWatch&) = delete;

private:
    bool m_watching = false;
};

}  // namespace ove
