// Where an import's time goes, beside the list control's own cost. For a generated
// file of N bookmarks (every third with a description line) it prints, as medians
// of several runs: the bare list fill (the same rows and texts into a shown list of
// the main window's styles, redraw suspended, one repaint), the pipeline alone
// (BookmarkImportFile with no list to fill), the whole BookmarkImportFile into the
// shown main window, and the destruction of that window beside the bare list's.
// The import's ratio to the bare fill is the median of the ratios of runs made one
// after the other, the two taking turns at going first, which the machine's drift
// between runs moves less than a ratio of medians. Beside them, as a floor of the
// same run: reading the file with ReadFile and counting its LFs.
// A bare list in this process slows with anything that slows the list for the whole
// process, and the two fills here share one heap, each leaving it to the other; so
// a second line, the one to compare builds by, sets processes of their own side by
// side, started in turn on every run. One is the program itself, a fresh process
// for each import, driven as a user would: its import button, the open-file dialog,
// until the list shows every row and the window is painted and idle. The same for a
// file of one bookmark, taken off, leaves the import net of the dialog's teardown.
// The other is list_fill_floor.exe, a plain program with the same manifest filling
// the same rows. Each one's peak working set is its whole process's, followed by its growth
// from the start of the measured work (the plain program's peak holds its own copy
// of the rows, the growth does not).
// Prints figures only; run by hand, without heap checking:
//   ./scripts/with-wine.sh wine build/x86_64/tests/app/import_benchmark.exe [bookmarks...]
//     [--runs N] [--only bare|pipeline|import|processes] [--program PATH]
// under xvfb-run as README.md shows. --program drives another build of the program.
// With --only, one kind runs alone, for its peak working set or a profile.
// In this process the file is handed to the import directly.
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
#include "support/dialog_driver.h"
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

// What a process of its own measured: its time in ms, its peak working set, and
// its working set when the measured work began.
struct ProcessFigures {
  double milliseconds = 0;
  double peakBytes = 0;
  double startBytes = 0;
};

// Runs a command line to its end, its output into a file (Wine's helper processes
// would keep a pipe open), and reads the three figures it prints; zeros when it fails.
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
  if (exitCode != 0 || std::sscanf(printed.c_str(), "%lf %lf %lf", &figures.milliseconds, &figures.peakBytes,
                                       &figures.startBytes) != 3)
    return {};
  return figures;
}

// Starts the program, imports the file through its window and dialog, and returns
// the time from pressing Open until the list shows all rows, painted, with the
// program idle again; its peak working set, and its working set when Open was
// pressed. Zeros when it fails.
ProcessFigures DriveProgram(const std::wstring& program, const std::wstring& file, int rows,
                            const std::wstring& folder) {
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  std::wstring commandLine = L"\"" + program + L"\"";
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup,
                      &process))
    return {};
  HWND window = nullptr;
  for (int waited = 0; waited < 30000 && !(window && IsWindowVisible(window)); waited += 50) {
    Sleep(50);
    window = testing_support::FindMainWindow(process.dwProcessId);
  }
  HWND list = window ? FindWindowExW(window, nullptr, L"SysListView32", nullptr) : nullptr;
  ProcessFigures figures;
  std::chrono::steady_clock::time_point pressed;
  PROCESS_MEMORY_COUNTERS counters = {};
  bool answered = false;
  if (list) {
    testing_support::DialogDriver driver(L"Select exported browser bookmarks file", file, [&](HWND) {
      GetProcessMemoryInfo(process.hProcess, &counters, sizeof counters);
      figures.startBytes = static_cast<double>(counters.WorkingSetSize);
      pressed = std::chrono::steady_clock::now();
    });
    PostMessageW(GetDlgItem(window, 4), BM_CLICK, 0, 0);
    answered = driver.Finish().appeared;
  }
  // A message sent to the busy program waits until it reads its queue again, which
  // it does only after the import; painting comes when its queue is empty. A list
  // that never shows every row gives up after ten minutes.
  const auto deadline = pressed + std::chrono::minutes(10);
  for (bool shown = false; answered && !shown && std::chrono::steady_clock::now() < deadline;) {
    DWORD_PTR count = 0;
    if (!SendMessageTimeoutW(list, LVM_GETITEMCOUNT, 0, 0, SMTO_NORMAL, 600000, &count)) break;
    shown = static_cast<int>(count) == rows && !GetUpdateRect(window, nullptr, FALSE) &&
            !GetUpdateRect(list, nullptr, FALSE);
    if (shown)
      figures.milliseconds =
          std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - pressed).count();
    else
      Sleep(1);
  }
  if (figures.milliseconds && GetProcessMemoryInfo(process.hProcess, &counters, sizeof counters))
    figures.peakBytes = static_cast<double>(counters.PeakWorkingSetSize);
  TerminateProcess(process.hProcess, 0);
  WaitForSingleObject(process.hProcess, INFINITE);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return figures;
}

std::wstring BesideThisProgram(const wchar_t* name) {
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path, length);
  return folder.substr(0, folder.find_last_of(L'\\') + 1) + name;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::vector<int> sizes;
  int runs = 5;
  std::wstring only, program = testing_support::Widen(PROGRAM_PATH);
  for (int i = 1; i < argc; ++i) {
    if (!std::wcscmp(argv[i], L"--runs") && i + 1 < argc) runs = std::max(1, _wtoi(argv[++i]));
    else if (!std::wcscmp(argv[i], L"--only") && i + 1 < argc) only = argv[++i];
    else if (!std::wcscmp(argv[i], L"--program") && i + 1 < argc) program = argv[++i];
    else sizes.push_back(_wtoi(argv[i]));
  }
  const bool bareRuns = only.empty() || only == L"bare", pipelineRuns = only.empty() || only == L"pipeline",
             importRuns = only.empty() || only == L"import", processRuns = only.empty() || only == L"processes";
  if (sizes.empty()) sizes = {50000, 300000};
  ModuleInstance = GetModuleHandleW(nullptr);
  RuntimeHeap = HeapCreate(0, 4096, 0);
  RuntimeStartup();
  FontLoad(2, L"Arial", 11, 0);
  const std::wstring owner = testing_support::ProfileOwner();
  testing_support::TempFolder folder;
  std::printf("median of %d runs, ms\n", runs);
  for (int size : sizes) {
    const std::vector<Bookmark> bookmarks = Bookmarks(size);
    const std::wstring path = folder.Write(L"generated.htm", FileOf(bookmarks));
    const std::wstring rowsPath = folder.Write(L"rows.txt", RowsFileOf(bookmarks, owner));
    const std::wstring onePath = folder.Write(L"one.htm", FileOf(Bookmarks(1)));
    const std::wstring output = folder.path() + L"\\figures.txt";
    std::vector<double> bare = {0}, pipeline = {0}, import = {0}, close = {0}, bareClose = {0}, ratio = {0},
                        floor = {0}, driven = {0}, drivenOne = {0}, drivenPeak = {0}, drivenGrowth = {0}, plain = {0},
                        plainPeak = {0}, plainGrowth = {0}, processRatio = {0};
    size_t lines = 0;
    for (int run = 0; run < runs; ++run) {
      floor.push_back(Milliseconds([&] { lines = CountLines(path); }));
      if (processRuns) {
        const ProcessFigures one = DriveProgram(program, onePath, 1, folder.path());
        const ProcessFigures all = DriveProgram(program, path, size, folder.path());
        const ProcessFigures plainFigures =
            RunForFigures(L"\"" + BesideThisProgram(L"list_fill_floor.exe") + L"\" \"" + rowsPath + L"\"", output);
        if (!one.milliseconds || !all.milliseconds || !plainFigures.milliseconds)
          std::printf("a process of its own failed\n");
        driven.push_back(all.milliseconds - one.milliseconds);
        drivenOne.push_back(one.milliseconds);
        drivenPeak.push_back(all.peakBytes / 1e6);
        drivenGrowth.push_back((all.peakBytes - all.startBytes) / 1e6);
        plain.push_back(plainFigures.milliseconds);
        plainPeak.push_back(plainFigures.peakBytes / 1e6);
        plainGrowth.push_back((plainFigures.peakBytes - plainFigures.startBytes) / 1e6);
        processRatio.push_back(plainFigures.milliseconds ? driven.back() / plainFigures.milliseconds : 0);
      }
      const auto bareStep = [&] {
        HWND window = nullptr;
        bare.push_back(Milliseconds([&] { window = BareFill(bookmarks, owner); }));
        bareClose.push_back(Milliseconds([&] { DestroyWindow(window); }));
      };
      const auto importStep = [&] {
        MainWindowBuild();
        Drain();
        import.push_back(Milliseconds([&] {
          BookmarkImportFile(path.c_str());
          Repaint();
        }));
        if (ListRowCount(BookmarkList) != size)
          std::printf("rows %d, expected %d\n", int(ListRowCount(BookmarkList)), size);
        close.push_back(Milliseconds([] { WindowDestroy(MainWindow); }));
        Drain();
      };
      if (pipelineRuns) pipeline.push_back(Milliseconds([&] { BookmarkImportFile(path.c_str()); }));
      // Each fill leaves the heap to the next, so the two take turns at going first.
      if (bareRuns && run % 2 == 0) bareStep();
      if (importRuns) importStep();
      if (bareRuns && run % 2 == 1) bareStep();
      if (bareRuns && importRuns) ratio.push_back(import.back() / bare.back());
    }
    std::printf("%7d bookmarks (%zu lines): read %5.1f  bare list %8.1f  pipeline %7.1f  import %8.1f (%.2f x bare)"
                "  close %8.1f (bare %8.1f)\n",
                size, lines, Median(floor), Median(bare), Median(pipeline), Median(import), Median(ratio),
                Median(close), Median(bareClose));
    if (processRuns)
      std::printf("%7d bookmarks, own processes: the program driven %8.1f (net of %6.1f for one bookmark;"
                  " peak %6.1f MB, %+6.1f)  plain program %8.1f (peak %6.1f MB, %+6.1f)  program %.2f x plain\n",
                  size, Median(driven), Median(drivenOne), Median(drivenPeak), Median(drivenGrowth), Median(plain),
                  Median(plainPeak), Median(plainGrowth), Median(processRatio));
    std::fflush(stdout);
  }
  std::printf("peak working set of this process %.1f MB\n", PeakWorkingSet() / 1e6);
  RuntimeShutdown();
  return 0;
}
