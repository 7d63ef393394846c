// Imports generated bookmark files of growing size into the shown main window and
// prints how many rows per second the import appends. Not part of the test run:
//   xvfb-run -a -s "-screen 0 1280x1024x24" ./scripts/with-wine.sh wine build/x86_64/tests/app/import_benchmark.exe
// Every import includes the open-file dialog, which under Wine takes about two
// seconds to return after it closes; an import of an empty file measures that
// and is subtracted.
#include <windows.h>
#include <commctrl.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "application.h"
#include "core/startup.h"
#include "gadgets/gadgets.h"
#include "support/dialog_driver.h"
#include "support/test_support.h"

namespace {

constexpr wchar_t DialogTitle[] = L"Select exported browser bookmarks file";

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
  testing_support::DialogDriver driver(DialogTitle, path);
  const auto start = std::chrono::steady_clock::now();
  BookmarkImport();
  const auto end = std::chrono::steady_clock::now();
  driver.Finish();
  return std::chrono::duration<double>(end - start).count();
}

}  // namespace

int main() {
  ModuleInstance = GetModuleHandleW(nullptr);
  RuntimeHeap = HeapCreate(0, 4096, 0);
  RuntimeStartup();
  if (!MainWindowBuild()) return 1;
  HWND list = GadgetLookup(BookmarkList)->window;

  testing_support::TempFolder folder;
  const double dialogOnly = TimedImport(folder.Write(L"empty.htm", ""));
  std::printf("dialog alone: %.2f s\n", dialogOnly);
  for (int bookmarks : {1000, 10000, 100000}) {
    const auto before = SendMessageW(list, LVM_GETITEMCOUNT, 0, 0);
    const double seconds = TimedImport(folder.Write(L"generated.htm", Generated(bookmarks)));
    const auto added = SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) - before;
    const double reading = seconds - dialogOnly;
    std::printf("%6d bookmarks: %6ld rows in %.2f s with the dialog, %.2f s without: %.0f rows/s\n", bookmarks,
                static_cast<long>(added), seconds, reading, added / (reading > 0 ? reading : seconds));
    std::fflush(stdout);
  }
  WindowDestroy(MainWindow);
  RuntimeShutdown();
  return 0;
}
