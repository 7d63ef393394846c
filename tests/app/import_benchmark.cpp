// Imports generated bookmark files of growing size into the shown main window and
// prints how many rows per second the import appends. Not part of the test run:
//   xvfb-run -a -s "-screen 0 1280x1024x24" ./scripts/with-wine.sh wine build/x86_64/tests/app/import_benchmark.exe
// The file is handed to the import directly: the dialog's own time is the user's.
#include <windows.h>
#include <commctrl.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "application.h"
#include "core/startup.h"
#include "gadgets/gadgets.h"
#include "support/test_support.h"

namespace {

std::string Generated(int bookmarks) {
  std::string text = "<DL><p>\n";
  for (int i = 0; i < bookmarks; ++i) {
    text += "    <DT><A HREF=\"https://example.org/page/" + std::to_string(i) + "\" ADD_DATE=\"1500000000\">Page " +
            std::to_string(i) + " &amp; more</A>\n";
    if (i % 3 == 0) text += "    <DD>Description of page " + std::to_string(i) + "\n";
  }
  return text + "</DL><p>\n";
}

double TimedImport(const std::wstring& path) {
  const auto start = std::chrono::steady_clock::now();
  BookmarkImportFile(path.c_str());
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main() {
  ModuleInstance = GetModuleHandleW(nullptr);
  RuntimeHeap = HeapCreate(0, 4096, 0);
  RuntimeStartup();
  if (!MainWindowBuild()) return 1;
  HWND list = GadgetLookup(BookmarkList)->window;

  testing_support::TempFolder folder;
  for (int bookmarks : {1000, 10000, 100000}) {
    const auto before = SendMessageW(list, LVM_GETITEMCOUNT, 0, 0);
    const double seconds = TimedImport(folder.Write(L"generated.htm", Generated(bookmarks)));
    const auto added = SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) - before;
    std::printf("%6d bookmarks: %6ld rows in %.2f s, %.0f rows/s\n", bookmarks, static_cast<long>(added), seconds,
                added / seconds);
    std::fflush(stdout);
  }
  WindowDestroy(MainWindow);
  RuntimeShutdown();
  return 0;
}
