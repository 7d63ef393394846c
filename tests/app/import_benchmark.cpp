// Where an import's time goes, beside the list control's own cost. For a generated
// file of N bookmarks (every third with a description line) it prints, as medians
// of several runs: the bare list fill (the same rows and texts into a shown list of
// the main window's styles, redraw suspended, one repaint), the pipeline alone
// (BookmarkImportFile with no list to fill), the whole BookmarkImportFile into the
// shown main window, and the destruction of that window beside the bare list's.
// The import's ratio to the bare fill is the median of the ratios of runs made one
// after the other, which the machine's drift between runs moves less than a ratio
// of medians. Beside them, as a floor of the same run: reading the file with
// ReadFile and counting its LFs.
// A bare list in this process slows with anything that slows the list for the whole
// process, so a second line compares processes of their own, started in turn on
// every run: this program importing the file alone (--import-alone), and
// list_fill_floor.exe, a plain program with the same manifest filling the same rows;
// with each one's peak working set, which for the import is the import's alone.
// Prints figures only; run by hand, without heap checking:
//   ./scripts/with-wine.sh wine build/x86_64/tests/app/import_benchmark.exe [bookmarks...]
//     [--runs N] [--only bare|pipeline|import|processes]
// under xvfb-run as README.md shows.
// With --only, one kind runs alone, for its peak working set or a profile.
// The file is handed to the import directly: the dialog's own time is the user's.
#include <windows.h>
#include <commctrl.h>
#include <psapi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <iterator>
#include <string>
#include <vector>

#include "application.h"
#include "core/startup.h"
#include "gadgets/gadgets.h"
#include "support/test_support.h"

namespace {

struct Bookmark {
  std::wstring url, title, description;
};

std::vector<Bookmark> Bookmarks(int count) {
  std::vector<Bookmark> bookmarks;
  for (int i = 0; i < count; ++i) {
    const std::wstring n = std::to_wstring(i);
    bookmarks.push_back({L"https://example.org/page/" + n, L"Page " + n + L" & more",
                         i % 3 == 0 ? L"Description of page " + n : L""});
  }
  return bookmarks;
}

// The rows as list_fill_floor.exe reads them: the column layout, then the cells.
std::string RowsFileOf(const std::vector<Bookmark>& bookmarks, const std::wstring& owner) {
  using testing_support::Narrow;
  std::string text;
  for (const ColumnLayout& column : BookmarkColumns)
    text += Narrow(column.title) + "\t" + std::to_string(column.width) + (&column == std::end(BookmarkColumns) - 1 ? "\n" : "\t");
  for (const Bookmark& b : bookmarks)
    text += Narrow(b.url) + "\t" + Narrow(b.title) + "\t" + Narrow(b.description) + "\t" + Narrow(BookmarkCategory) +
            "\t" + Narrow(owner) + "\n";
  return text;
}

std::string FileOf(const std::vector<Bookmark>& bookmarks) {
  using testing_support::Narrow;
  std::string text = "<!DOCTYPE NETSCAPE-Bookmark-file-1>\n<DL><p>\n";
  for (const Bookmark& b : bookmarks) {
    std::string title = Narrow(b.title);
    title.replace(title.find('&'), 1, "&amp;");
    text += "    <DT><A HREF=\"" + Narrow(b.url) + "\" ADD_DATE=\"1500000000\">" + title + "</A>\n";
    if (!b.description.empty()) text += "    <DD>" + Narrow(b.description) + "\n";
  }
  return text + "</DL><p>\n";
}

template <typename Step>
double Milliseconds(Step step) {
  const auto start = std::chrono::steady_clock::now();
  step();
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

// The first value is a placeholder for a kind that did not run.
double Median(std::vector<double> values) {
  if (values.size() > 1) values.erase(values.begin());
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// The floor: the file read whole and its lines counted, with nothing else done.
size_t CountLines(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  std::vector<char> block(64 * 1024);
  size_t lines = 0;
  DWORD got = 0;
  while (ReadFile(file, block.data(), static_cast<DWORD>(block.size()), &got, nullptr) && got > 0)
    lines += static_cast<size_t>(std::count(block.data(), block.data() + got, '\n'));
  CloseHandle(file);
  return lines;
}

void Drain() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
}

// A plain window holding a list made as the main window's is, filled the way any
// program would: insert the row, set its four other cells. Returns the window.
HWND BareFill(const std::vector<Bookmark>& bookmarks, const std::wstring& owner) {
  HWND window = CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPED | WS_CAPTION | WS_VISIBLE, 0, 0, 750, 600, nullptr,
                                nullptr, nullptr, nullptr);
  HWND list = CreateWindowExW(WS_EX_CLIENTEDGE, L"SysListView32", L"",
                              WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS, 15,
                              15, 720, 505, window, nullptr, nullptr, nullptr);
  const DWORD extended = LVS_EX_DOUBLEBUFFER | LVS_EX_FULLROWSELECT;
  SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, extended, extended);
  for (int column = 0; column < 5; ++column) {
    LVCOLUMNW header = {};
    header.mask = LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    header.cx = BookmarkColumns[column].width;
    header.pszText = const_cast<wchar_t*>(BookmarkColumns[column].title);
    header.iSubItem = column;
    SendMessageW(list, LVM_INSERTCOLUMNW, column, reinterpret_cast<LPARAM>(&header));
  }
  SendMessageW(list, WM_SETFONT, reinterpret_cast<WPARAM>(FontHandle(2)), TRUE);
  Drain();
  SendMessageW(list, WM_SETREDRAW, FALSE, 0);
  int row = 0;
  for (const Bookmark& b : bookmarks) {
    const wchar_t* cells[] = {b.url.c_str(), b.title.c_str(), b.description.c_str(), L"InterNet BookMark",
                              owner.c_str()};
    LVITEMW item = {};
    item.mask = LVIF_TEXT;
    item.iItem = row;
    item.pszText = const_cast<wchar_t*>(cells[0]);
    row = static_cast<int>(SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item))) + 1;
    for (int column = 1; column < 5; ++column) {
      LVITEMW cell = {};
      cell.iSubItem = column;
      cell.pszText = const_cast<wchar_t*>(cells[column]);
      SendMessageW(list, LVM_SETITEMTEXTW, row - 1, reinterpret_cast<LPARAM>(&cell));
    }
  }
  SendMessageW(list, WM_SETREDRAW, TRUE, 0);
  RedrawWindow(list, nullptr, nullptr, RDW_ERASE | RDW_FRAME | RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  return window;
}

void Repaint() { RedrawWindow(WindowHandle(MainWindow), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN); }

size_t PeakWorkingSet() {
  PROCESS_MEMORY_COUNTERS counters = {};
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
  return counters.PeakWorkingSetSize;
}

// What a process of its own measured: its time in ms and its peak working set.
struct ProcessFigures {
  double milliseconds = 0;
  double peakBytes = 0;
};

// Runs a command line to its end, its output into a file (Wine's helper processes
// would keep a pipe open), and reads the two figures it prints; zeros when it fails.
ProcessFigures RunForFigures(std::wstring commandLine, const std::wstring& outputPath) {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE output = CreateFileW(outputPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = output;
  startup.hStdError = output;
  PROCESS_INFORMATION process = {};
  const bool started =
      CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process);
  CloseHandle(output);
  ProcessFigures figures;
  if (!started) return figures;
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD exitCode = 1;
  GetExitCodeProcess(process.hProcess, &exitCode);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  const std::string printed = testing_support::ReadWholeFile(outputPath);
  if (exitCode != 0 || std::sscanf(printed.c_str(), "%lf %lf", &figures.milliseconds, &figures.peakBytes) != 2)
    return {};
  return figures;
}

std::wstring BesideThisProgram(const wchar_t* name) {
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path, length);
  return folder.substr(0, folder.find_last_of(L'\\') + 1) + name;
}

// --import-alone: one import into the shown main window and nothing else in this
// process, printed as list_fill_floor.exe prints its fill. Exit code 1 when rows
// are missing.
int ImportAlone(const wchar_t* path, int rows) {
  MainWindowBuild();
  Drain();
  const double milliseconds = Milliseconds([&] {
    BookmarkImportFile(path);
    Repaint();
  });
  std::printf("%.1f %zu\n", milliseconds, PeakWorkingSet());
  std::fflush(stdout);
  // Closing the window would cost Wine seconds; the process ends with it.
  ExitProcess(ListRowCount(BookmarkList) == rows ? 0 : 1);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::vector<int> sizes;
  int runs = 5;
  std::wstring only, aloneFile;
  for (int i = 1; i < argc; ++i) {
    if (!std::wcscmp(argv[i], L"--runs") && i + 1 < argc) runs = std::max(1, _wtoi(argv[++i]));
    else if (!std::wcscmp(argv[i], L"--only") && i + 1 < argc) only = argv[++i];
    else if (!std::wcscmp(argv[i], L"--import-alone") && i + 1 < argc) aloneFile = argv[++i];
    else sizes.push_back(_wtoi(argv[i]));
  }
  const bool bareRuns = only.empty() || only == L"bare", pipelineRuns = only.empty() || only == L"pipeline",
             importRuns = only.empty() || only == L"import", processRuns = only.empty() || only == L"processes";
  if (sizes.empty()) sizes = {50000, 300000};
  ModuleInstance = GetModuleHandleW(nullptr);
  RuntimeHeap = HeapCreate(0, 4096, 0);
  RuntimeStartup();
  if (!aloneFile.empty()) return ImportAlone(aloneFile.c_str(), sizes.front());
  FontLoad(2, L"Arial", 11, 0);
  const std::wstring owner = testing_support::ProfileOwner();
  testing_support::TempFolder folder;
  std::printf("median of %d runs, ms\n", runs);
  for (int size : sizes) {
    const std::vector<Bookmark> bookmarks = Bookmarks(size);
    const std::wstring path = folder.Write(L"generated.htm", FileOf(bookmarks));
    const std::wstring rowsPath = folder.Write(L"rows.txt", RowsFileOf(bookmarks, owner));
    const std::wstring output = folder.path() + L"\\figures.txt";
    std::vector<double> bare = {0}, pipeline = {0}, import = {0}, close = {0}, bareClose = {0}, ratio = {0},
                        floor = {0}, alone = {0}, plain = {0}, processRatio = {0}, alonePeak = {0}, plainPeak = {0};
    size_t lines = 0;
    for (int run = 0; run < runs; ++run) {
      floor.push_back(Milliseconds([&] { lines = CountLines(path); }));
      if (processRuns) {
        const ProcessFigures importFigures =
            RunForFigures(L"\"" + BesideThisProgram(L"import_benchmark.exe") + L"\" " + std::to_wstring(size) +
                              L" --import-alone \"" + path + L"\"",
                          output);
        const ProcessFigures plainFigures =
            RunForFigures(L"\"" + BesideThisProgram(L"list_fill_floor.exe") + L"\" \"" + rowsPath + L"\"", output);
        if (!importFigures.milliseconds || !plainFigures.milliseconds) std::printf("a process of its own failed\n");
        alone.push_back(importFigures.milliseconds);
        alonePeak.push_back(importFigures.peakBytes / 1e6);
        plain.push_back(plainFigures.milliseconds);
        plainPeak.push_back(plainFigures.peakBytes / 1e6);
        processRatio.push_back(plainFigures.milliseconds ? importFigures.milliseconds / plainFigures.milliseconds : 0);
      }
      if (bareRuns) {
        HWND window = nullptr;
        bare.push_back(Milliseconds([&] { window = BareFill(bookmarks, owner); }));
        bareClose.push_back(Milliseconds([&] { DestroyWindow(window); }));
      }
      if (pipelineRuns) pipeline.push_back(Milliseconds([&] { BookmarkImportFile(path.c_str()); }));
      if (!importRuns) continue;
      MainWindowBuild();
      Drain();
      import.push_back(Milliseconds([&] {
        BookmarkImportFile(path.c_str());
        Repaint();
      }));
      if (ListRowCount(BookmarkList) != size) std::printf("rows %d, expected %d\n", int(ListRowCount(BookmarkList)), size);
      close.push_back(Milliseconds([] { WindowDestroy(MainWindow); }));
      Drain();
      if (bareRuns) ratio.push_back(import.back() / bare.back());
    }
    std::printf("%7d bookmarks (%zu lines): read %5.1f  bare list %8.1f  pipeline %7.1f  import %8.1f (%.2f x bare)"
                "  close %8.1f (bare %8.1f)\n",
                size, lines, Median(floor), Median(bare), Median(pipeline), Median(import), Median(ratio),
                Median(close), Median(bareClose));
    if (processRuns)
      std::printf("%7d bookmarks, own processes: import %8.1f (peak %6.1f MB)  plain program %8.1f (peak %6.1f MB)"
                  "  import %.2f x plain\n",
                  size, Median(alone), Median(alonePeak), Median(plain), Median(plainPeak), Median(processRatio));
    std::fflush(stdout);
  }
  std::printf("peak working set of this process %.1f MB\n", PeakWorkingSet() / 1e6);
  RuntimeShutdown();
  return 0;
}
