// The import benchmark's out-of-process floor: a plain program, with the program's
// manifest and none of its runtime, that fills a shown report list with the rows
// the benchmark hands it and repaints once. Whatever slows the list for a whole
// process (which comctl32 it gets, the state of its heap) slows this list on its
// own terms, never by sharing a process with the import.
//   list_fill_floor.exe ROWS_FILE
// ROWS_FILE is UTF-8: a first line of five column titles and widths (title TAB width,
// TAB-separated), then one row per line, its five cells separated by TABs.
// Prints "<fill ms> <peak working set bytes> <working set bytes before the fill>";
// the rows are read and converted before the clock starts, and stay in memory.
#include <windows.h>
#include <commctrl.h>
#include <psapi.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr int Columns = 5;

std::wstring Widen(const std::string& utf8) {
  const int units = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring text(static_cast<size_t>(units), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), text.data(), units);
  return text;
}

std::vector<std::wstring> Cells(const std::string& line) {
  std::vector<std::wstring> cells;
  std::istringstream fields(line);
  for (std::string field; std::getline(fields, field, '\t');) cells.push_back(Widen(field));
  cells.resize(2 * Columns);
  return cells;
}

void Drain() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 2;
  std::ifstream file(argv[1], std::ios::binary);
  std::string line;
  if (!std::getline(file, line)) return 2;
  const std::vector<std::wstring> layout = Cells(line);
  std::vector<std::vector<std::wstring>> rows;
  while (std::getline(file, line)) rows.push_back(Cells(line));

  const INITCOMMONCONTROLSEX classes = {sizeof classes, ICC_LISTVIEW_CLASSES};
  InitCommonControlsEx(&classes);
  HDC display = CreateDCW(L"DISPLAY", nullptr, nullptr, nullptr);
  HFONT font = CreateFontW(-MulDiv(11, GetDeviceCaps(display, LOGPIXELSY), 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                           DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                           DEFAULT_PITCH | FF_DONTCARE, L"Arial");
  DeleteDC(display);
  HWND window = CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPED | WS_CAPTION | WS_VISIBLE, 0, 0, 750, 600, nullptr,
                                nullptr, nullptr, nullptr);
  HWND list = CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"",
                              WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS, 15,
                              15, 720, 505, window, nullptr, nullptr, nullptr);
  const DWORD extended = LVS_EX_DOUBLEBUFFER | LVS_EX_FULLROWSELECT;
  SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, extended, extended);
  for (int column = 0; column < Columns; ++column) {
    LVCOLUMNW header = {};
    header.mask = LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    header.pszText = const_cast<wchar_t*>(layout[2 * column].c_str());
    header.cx = _wtoi(layout[2 * column + 1].c_str());
    header.iSubItem = column;
    SendMessageW(list, LVM_INSERTCOLUMNW, column, reinterpret_cast<LPARAM>(&header));
  }
  SendMessageW(list, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  Drain();

  PROCESS_MEMORY_COUNTERS before = {};
  GetProcessMemoryInfo(GetCurrentProcess(), &before, sizeof before);
  const auto start = std::chrono::steady_clock::now();
  SendMessageW(list, WM_SETREDRAW, FALSE, 0);
  int row = 0;
  for (const std::vector<std::wstring>& cells : rows) {
    LVITEMW item = {};
    item.mask = LVIF_TEXT;
    item.iItem = row;
    item.pszText = const_cast<wchar_t*>(cells[0].c_str());
    row = static_cast<int>(SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item))) + 1;
    for (int column = 1; column < Columns; ++column) {
      LVITEMW cell = {};
      cell.iSubItem = column;
      cell.pszText = const_cast<wchar_t*>(cells[column].c_str());
      SendMessageW(list, LVM_SETITEMTEXTW, row - 1, reinterpret_cast<LPARAM>(&cell));
    }
  }
  SendMessageW(list, WM_SETREDRAW, TRUE, 0);
  RedrawWindow(list, nullptr, nullptr, RDW_ERASE | RDW_FRAME | RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  const double milliseconds = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();

  PROCESS_MEMORY_COUNTERS counters = {};
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
  const auto rowsShown = SendMessageW(list, LVM_GETITEMCOUNT, 0, 0);
  std::printf("%.1f %zu %zu\n", milliseconds, static_cast<size_t>(counters.PeakWorkingSetSize),
              static_cast<size_t>(before.WorkingSetSize));
  std::fflush(stdout);
  // The process ends with its window: closing it first would cost Wine seconds.
  return rowsShown == static_cast<LRESULT>(rows.size()) ? 0 : 1;
}
