// The current and the profile folder, written by the platform straight into the
// scratch. Each query reserves the platform's path limit at the result offset and
// gives back what the path does not use; a path that does not fit is a failure, so
// nothing is ever written past the reserved room.
#include <shlobj.h>

#include <cwchar>

#include "files/files.h"
#include "strings/strings.h"

namespace {

constexpr int32_t PathRoom = MAX_PATH;

using SpecialFolderLocation = HRESULT(WINAPI*)(HWND, int, PIDLIST_ABSOLUTE*);
using GetMalloc = HRESULT(WINAPI*)(IMalloc**);
using PathFromIdList = BOOL(WINAPI*)(PCIDLIST_ABSOLUTE, LPWSTR);

template <typename Function>
Function ProcAddress(HMODULE module, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// Ends the path of length units at folder with a backslash (unless it has one) and
// a terminator, and gives back the unused room. A length of 0 is the empty result.
void FinishFolder(wchar_t* folder, int32_t length) {
  if (length > 0 && folder[length - 1] != L'\\') folder[length++] = L'\\';
  folder[length] = L'\0';
  ScratchRelease(PathRoom - length);
}

// The profile folder's path written at folder, or 0. The shell is loaded for this
// call only, and the item list is freed through the shell's allocator.
int32_t ProfilePath(wchar_t* folder) {
  HMODULE shell = LoadLibraryW(L"Shell32.dll");
  if (!shell) return 0;
  int32_t length = 0;
  auto location = ProcAddress<SpecialFolderLocation>(shell, "SHGetSpecialFolderLocation");
  auto getMalloc = ProcAddress<GetMalloc>(shell, "SHGetMalloc");
  auto pathFromIdList = ProcAddress<PathFromIdList>(shell, "SHGetPathFromIDListW");
  PIDLIST_ABSOLUTE items = nullptr;
  if (location && getMalloc && pathFromIdList && location(nullptr, CSIDL_PROFILE, &items) == S_OK) {
    if (pathFromIdList(items, folder)) length = static_cast<int32_t>(wcslen(folder));
    IMalloc* allocator = nullptr;
    if (getMalloc(&allocator) == S_OK) {
      allocator->Free(items);
      allocator->Release();
    }
  }
  FreeLibrary(shell);
  return length;
}

}  // namespace

void FolderCurrent(int32_t result) {
  wchar_t* folder = ScratchReserve(PathRoom, result);
  const DWORD written = GetCurrentDirectoryW(PathRoom, folder);
  // A path that does not fit comes back as the room it would need, more than
  // PathRoom. One that fits has at most PathRoom - 1 units, so its backslash still
  // lies inside the room and its terminator on the reserved terminator's place.
  FinishFolder(folder, written < static_cast<DWORD>(PathRoom) ? static_cast<int32_t>(written) : 0);
}

void FolderHome(int32_t result) {
  wchar_t* folder = ScratchReserve(PathRoom, result);
  FinishFolder(folder, ProfilePath(folder));
}
