// Program entry: the single-instance guard, the start-up order and the
// message loop.
#pragma once

#include <windows.h>

namespace kelvrix::app {

// True when another copy of the program holds the mutex of that name.
bool AnotherCopyRuns(const wchar_t* mutexName);

// Returns the exit code: the quit message's, or 0 when start-up is refused.
int StartUp(HINSTANCE instance, HINSTANCE previousInstance);

// Settings mirror and link configuration as start-up leaves them, before any
// window exists.
void LoadStartUpState();

}  // namespace kelvrix::app
