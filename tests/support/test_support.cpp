#include "support/test_support.h"

#include <shlobj.h>

#include <atomic>
#include <set>
#include <utility>
#include <vector>

#include "core/core.h"
#include "strings/strings.h"

namespace testing_support {

namespace {

void RemoveTree(const std::wstring& folder) {
  WIN32_FIND_DATAW entry;
  HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &entry);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = entry.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring full = folder + L"\\" + name;
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) RemoveTree(full);
      else DeleteFileW(full.c_str());
    } while (FindNextFileW(search, &entry));
    FindClose(search);
  }
  RemoveDirectoryW(folder.c_str());
}

bool IsFolder(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

TempFolder::TempFolder() {
  static std::atomic<int> counter{0};
  wchar_t base[MAX_PATH];
  GetTempPathW(MAX_PATH, base);
  // A folder left by an earlier run under the same process id is skipped, not reused.
  do {
    path_ = std::wstring(base) + L"bmtest_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
            std::to_wstring(counter++);
  } while (!CreateDirectoryW(path_.c_str(), nullptr) && GetLastError() == ERROR_ALREADY_EXISTS);
}

TempFolder::~TempFolder() { RemoveTree(path_); }

std::wstring TempFolder::Write(const std::wstring& name, const std::string& bytes) const {
  const std::wstring full = path_ + L"\\" + name;
  HANDLE file = CreateFileW(full.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD written = 0;
  WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
  return full;
}

namespace {

// The build hands folders over with forward slashes; the dialog and users type backslashes.
std::wstring WindowsPath(const char* path) {
  std::wstring wide = Widen(path);
  for (wchar_t& c : wide)
    if (c == L'/') c = L'\\';
  return wide;
}

}  // namespace

testing::Environment* StartLibraries(std::initializer_list<bool (*)()> initialisers) {
  class Libraries : public testing::Environment {
   public:
    explicit Libraries(std::initializer_list<bool (*)()> steps) : steps_(steps) {}
    void SetUp() override {
      for (auto step : steps_) step();
    }

   private:
    std::vector<bool (*)()> steps_;
  };
  return testing::AddGlobalTestEnvironment(new Libraries(initialisers));
}

testing::AssertionResult HeapIntact(HANDLE heap, const char* name) {
  if (HeapValidate(heap, 0, nullptr)) return testing::AssertionSuccess();
  return testing::AssertionFailure() << "HeapValidate finds " << name << " damaged";
}

void InstallHeapCheck() {
  // A heap overrun is silent until a later heap call faults elsewhere, so the test
  // that did it is the one to fail. Listeners hear OnTestEnd in reverse order: this
  // one runs before the printer's, which then reports the test as failed.
  class HeapCheck : public testing::EmptyTestEventListener {
    void OnTestEnd(const testing::TestInfo& test) override {
      const std::pair<HANDLE, const char*> heaps[] = {
          {RuntimeHeap, "RuntimeHeap"}, {StringHeap, "StringHeap"}, {GetProcessHeap(), "process heap"}};
      for (const auto& [heap, name] : heaps) {
        // A damaged heap stays damaged: only the first test after it is blamed.
        if (!heap || damaged_.count(heap)) continue;
        if (testing::AssertionResult intact = HeapIntact(heap, name); !intact) {
          damaged_.insert(heap);
          ADD_FAILURE_AT(test.file(), test.line()) << intact.message() << " at the end of this test";
        }
      }
    }
    std::set<HANDLE> damaged_;
  };
  testing::UnitTest::GetInstance()->listeners().Append(new HeapCheck);
}

std::wstring SharedBookmarksDir() {
  const std::wstring dir = WindowsPath(SHARED_BOOKMARKS_DIR);
  return IsFolder(dir) ? dir : std::wstring();
}

std::wstring FixturesDir() { return WindowsPath(FIXTURES_DIR); }

std::wstring ProfileOwner() {
  wchar_t profile[MAX_PATH] = {};
  SHGetFolderPathW(nullptr, CSIDL_PROFILE, nullptr, SHGFP_TYPE_CURRENT, profile);
  const std::wstring path = profile;
  return path.substr(path.find_last_of(L'\\') + 1);
}

namespace {

struct MainWindowSearch {
  DWORD processId;
  HWND found;
};

BOOL CALLBACK KeepIfMainWindow(HWND window, LPARAM context) {
  auto* search = reinterpret_cast<MainWindowSearch*>(context);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner != search->processId || reinterpret_cast<intptr_t>(GetPropW(window, L"Vela_WindowID")) != 2) return TRUE;
  search->found = window;
  return FALSE;
}

}  // namespace

HWND FindMainWindow(DWORD processId) {
  MainWindowSearch search = {processId, nullptr};
  EnumWindows(KeepIfMainWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

std::string ReadWholeFile(const std::wstring& path) {
  std::string bytes;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return bytes;
  char chunk[65536];
  DWORD got = 0;
  while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0) bytes.append(chunk, got);
  CloseHandle(file);
  return bytes;
}

std::wstring Widen(const std::string& utf8) {
  if (utf8.empty()) return {};
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(n, L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), n);
  return wide;
}

std::string Narrow(const std::wstring& text) {
  if (text.empty()) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string bytes(n, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), n, nullptr, nullptr);
  return bytes;
}

}  // namespace testing_support
