// kelvrix.exe's entry point.
#include <windows.h>

#include "app/startup_win.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previousInstance, PWSTR, int) {
  return kelvrix::app::StartUp(instance, previousInstance);
}
