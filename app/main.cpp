// Entry point: start the runtime, build the main window, run the event loop until
// window 1 is closed, then take everything down. The exit code is always 0.
#include "application.h"
#include "core/startup.h"
#include "files/files.h"
#include "gadgets/gadgets.h"
#include "resources/resource_ids.h"
#include "ui/ui.h"

namespace {

// Image number from a complete .ico file held in the program's data, read no
// further than the resource's own size.
void ImageFromResource(ObjectId number, int id) {
  HRSRC resource = FindResourceW(ModuleInstance, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(10));  // RT_RCDATA
  HGLOBAL loaded = resource ? LoadResource(ModuleInstance, resource) : nullptr;
  if (!loaded) return;
  ImageCreate(number, LockResource(loaded), static_cast<int32_t>(SizeofResource(ModuleInstance, resource)));
}

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
  RuntimeStartup();
  ImageFromResource(1, ImportIconResource);
  ImageFromResource(2, SpareIconResource);
  {
    ScratchMark mark;
    FolderCurrent(mark);
    mark.StoreIn(&StartDirectory);
  }
  if (MainWindowBuild()) RunEventLoop();
  WindowDestroy(MainWindow);
  RuntimeShutdown();
  HeapDestroy(RuntimeHeap);
  ExitProcess(0);
}
