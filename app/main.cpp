// Entry point: start the runtime, build the main window, run the event loop until
// window 1 is closed, then take everything down. The exit code is always 0.
#include "application.h"
#include "core/startup.h"
#include "ui/ui.h"

namespace {

void RunEventLoop() {
  bool quit = false;
  while (!quit) {
    const int32_t code = EventWait();
    if (code == EventCloseWindow) {
      quit = EventWindowNumber() == MainWindow;
    } else if (code == EventGadget && EventGadgetNumber() == ImportButton) {
      BookmarkImport();
    }
  }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  ModuleInstance = GetModuleHandleW(nullptr);
  RuntimeHeap = HeapCreate(0, 4096, 0);
  // A runtime that cannot start, like a window that cannot be built, ends the
  // program at once, showing nothing.
  if (RuntimeStartup()) {
    if (ApplicationOpen()) RunEventLoop();
    WindowDestroy(MainWindow);
    RuntimeShutdown();
  }
  HeapDestroy(RuntimeHeap);
  ExitProcess(0);
}
