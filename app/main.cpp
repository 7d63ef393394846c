// Placeholder entry point until the window and import are in place.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  ExitProcess(0);
}
