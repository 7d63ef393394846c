// The open-file dialog. The runtime's pattern list ("description|filter|...") and
// default path become the dialog's buffers; every other window of the thread is
// disabled while the dialog runs, so that it is modal over the whole program.
#include "ui/ui.h"

#include <commdlg.h>
#include <objbase.h>

#include <vector>

#include "strings/strings.h"

namespace {

constexpr int32_t NameUnits = 260;  // the proposed file name at most, terminator included
// The longest path the platform allows, terminator included: a smaller buffer than
// the chosen path makes the dialog fail on Windows, and hang under Wine.
constexpr int32_t FileBufferUnits = 32768;
constexpr DWORD OpenFlags = OFN_EXPLORER | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR | OFN_HIDEREADONLY;

int32_t SelectedPattern;  // the dialog's filter index after the last successful choice

// Zeroed units on RuntimeHeap, released when the owner goes out of scope.
class HeapUnits {
 public:
  explicit HeapUnits(size_t units) : units_(static_cast<wchar_t*>(RuntimeAllocate(units * sizeof(wchar_t)))) {}
  ~HeapUnits() { RuntimeFree(units_); }
  HeapUnits(const HeapUnits&) = delete;
  HeapUnits& operator=(const HeapUnits&) = delete;
  wchar_t* get() const { return units_; }

 private:
  wchar_t* units_;
};

bool IsValidFileName(const wchar_t* name) {
  if (!*name) return false;
  for (const wchar_t* c = name; *c; ++c)
    if (*c < 0x20 || wcschr(L"\"\\/:*?<>|", *c)) return false;
  return true;
}

void CopyAtMost(wchar_t* destination, const wchar_t* source, size_t units) {
  size_t n = 0;
  for (; n < units && source[n]; ++n) destination[n] = source[n];
  destination[n] = 0;
}

// Splits the default into the starting folder (without its trailing backslash)
// and the proposed name, which is dropped when it is not a valid file name.
void SplitDefault(const wchar_t* defaultPath, wchar_t* directory, wchar_t* fileName) {
  wcscpy(directory, defaultPath);
  wchar_t* backslash = wcsrchr(directory, L'\\');
  if (backslash && backslash != directory) {
    *backslash = 0;
    CopyAtMost(fileName, backslash + 1, NameUnits - 1);
  } else {
    CopyAtMost(fileName, defaultPath, NameUnits - 1);
    directory[0] = 0;
  }
  if (!IsValidFileName(fileName)) fileName[0] = 0;
}

HWND OwnWindowOrNone(HWND window) {
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  return process == GetCurrentProcessId() ? window : nullptr;
}

struct DisabledWindow {
  HWND window;
  bool wasTopmost;
};

// Disables the thread's other visible, enabled top-level windows for the life of
// the dialog and gives them back afterwards, topmost ones topmost again.
class ModalScope {
 public:
  explicit ModalScope(HWND foreground) : foreground_(foreground) {
    EnumWindows(&ModalScope::DisableOne, reinterpret_cast<LPARAM>(this));
  }
  ~ModalScope() {
    for (const DisabledWindow& entry : disabled_) {
      EnableWindow(entry.window, TRUE);
      if (entry.wasTopmost)
        SetWindowPos(entry.window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    }
  }
  ModalScope(const ModalScope&) = delete;
  ModalScope& operator=(const ModalScope&) = delete;

 private:
  static BOOL CALLBACK DisableOne(HWND window, LPARAM scope) {
    auto* self = reinterpret_cast<ModalScope*>(scope);
    if (GetWindowThreadProcessId(window, nullptr) != GetCurrentThreadId() || !IsWindowVisible(window) ||
        !IsWindowEnabled(window) || window == self->foreground_)
      return TRUE;
    const bool topmost = (GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
    if (topmost) SetWindowPos(window, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    self->disabled_.push_back({window, topmost});
    EnableWindow(window, FALSE);
    return TRUE;
  }

  HWND foreground_;
  std::vector<DisabledWindow> disabled_;
};

// Runs the dialog over fileBuffer (FileBufferUnits zeroed units), which receives the
// chosen path; false when the user cancelled, or when a buffer could not be had,
// in which case no dialog is shown.
bool RunOpenDialog(const wchar_t* title, const wchar_t* defaultPath, const wchar_t* patterns, int32_t position,
                   wchar_t* fileBuffer) {
  const wchar_t* patternList = patterns ? patterns : L"";
  HeapUnits filter(wcslen(patternList) + 3);
  if (!filter.get()) return false;
  wcscpy(filter.get(), patternList);
  for (wchar_t* c = filter.get(); *c; ++c)
    if (*c == L'|') *c = 0;

  HeapUnits directory(defaultPath ? wcslen(defaultPath) + 2 : 1);
  if (!directory.get()) return false;
  if (defaultPath) SplitDefault(defaultPath, directory.get(), fileBuffer);

  OPENFILENAMEW dialog = {};
  dialog.lStructSize = OPENFILENAME_SIZE_VERSION_400W;
  const HWND foreground = GetForegroundWindow();
  dialog.hwndOwner = OwnWindowOrNone(foreground);
  dialog.lpstrFilter = filter.get();
  dialog.nFilterIndex = position + 1;
  dialog.lpstrFile = fileBuffer;
  dialog.nMaxFile = FileBufferUnits;
  dialog.lpstrInitialDir = defaultPath ? directory.get() : nullptr;
  dialog.lpstrTitle = title;
  dialog.Flags = OpenFlags;

  BOOL chosen;
  {
    ModalScope modal(foreground);
    chosen = GetOpenFileNameW(&dialog);
  }
  if (chosen) SelectedPattern = static_cast<int32_t>(dialog.nFilterIndex);
  return chosen != FALSE;
}

}  // namespace

bool RequesterInit() {
  CoInitialize(nullptr);
  return true;
}

void RequestOpenFile(const wchar_t* title, const wchar_t* defaultPath, const wchar_t* patterns, int32_t position,
                     int32_t result) {
  SelectedPattern = 0;
  // Every buffer is freed before the call returns, so none outlives the heap it came from.
  HeapUnits fileBuffer(FileBufferUnits);
  const bool chosen = fileBuffer.get() && RunOpenDialog(title, defaultPath, patterns, position, fileBuffer.get());
  const wchar_t* path = chosen ? fileBuffer.get() : L"";
  const auto length = static_cast<int32_t>(wcsnlen(path, FileBufferUnits - 1));
  CopyAtMost(ScratchReserve(length, result), path, static_cast<size_t>(length));
}

int32_t RequesterSelectedPattern() { return SelectedPattern; }
