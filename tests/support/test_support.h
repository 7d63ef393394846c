// Helpers shared by the test executables: temporary folders and files, and the
// location of the browser exports that live beside the repository.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

namespace testing_support {

// A fresh folder under the system's temporary folder, removed with its files.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::wstring& path() const { return path_; }  // without trailing backslash
  std::wstring Write(const std::wstring& name, const std::string& bytes) const;  // full path

 private:
  std::wstring path_;
};

// Registers a test environment that runs these library initialisers in order
// before the first test, as the program's start-up does.
testing::Environment* StartLibraries(std::initializer_list<bool (*)()> initialisers);

// HeapValidate over the whole heap; a failure names the heap. Under Wine an overrun
// into a block's slack is found only when WINEDEBUG holds warn+heap.
testing::AssertionResult HeapIntact(HANDLE heap, const char* name);
// After every test, fails it when RuntimeHeap, StringHeap or the process heap is damaged.
void InstallHeapCheck();

// Folder of the real browser exports, or empty when it is not beside the checkout.
std::wstring SharedBookmarksDir();
// Folder of the repository's own small fixtures.
std::wstring FixturesDir();

// The last component of the user's profile folder, as the shell reports it.
std::wstring ProfileOwner();

// The program's main window in the given process (the top-level window that
// carries window number 1), or null while there is none.
HWND FindMainWindow(DWORD processId);

std::string ReadWholeFile(const std::wstring& path);
std::wstring Widen(const std::string& utf8);
std::string Narrow(const std::wstring& text);

}  // namespace testing_support

// Skips the current test when the shared exports are missing, saying so.
#define REQUIRE_SHARED_BOOKMARKS()                                                   \
  do {                                                                               \
    if (testing_support::SharedBookmarksDir().empty())                              \
      GTEST_SKIP() << "../shared/testdata/bookmarks is not beside this checkout";   \
  } while (0)
