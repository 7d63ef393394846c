#include <gtest/gtest.h>

#include "strings/strings.h"
#include "support/dialog_driver.h"
#include "support/test_support.h"
#include "ui/ui.h"

namespace {

using testing_support::DialogDriver;
using testing_support::DialogView;
using testing_support::TempFolder;

constexpr wchar_t Title[] = L"Pick a test file";
constexpr wchar_t HtmPattern[] = L"HTM (*.htm;*.html)|*.htm;*.html";

struct Outcome {
  std::wstring path;
  DialogView view;
};

// Runs the dialog on this thread while a driver thread answers it.
Outcome Request(const wchar_t* defaultPath, const wchar_t* patterns, int32_t position, const std::wstring& answer,
                std::function<void(HWND)> inspect = {}) {
  DialogDriver driver(Title, answer, std::move(inspect));
  Outcome outcome;
  {
    ScratchMark mark;
    RequestOpenFile(Title, defaultPath, patterns, position, mark);
    EXPECT_EQ(ScratchOffset, mark + 2 * TextLength(mark.Text()));
    outcome.path = mark.Text();
  }
  outcome.view = driver.Finish();
  EXPECT_TRUE(outcome.view.appeared);
  return outcome;
}

HWND MakeTopLevel(DWORD extendedStyle) {
  static const ATOM windowClass = [] {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"RequesterTestWindow";
    return RegisterClassW(&wc);
  }();
  (void)windowClass;
  return CreateWindowExW(extendedStyle, L"RequesterTestWindow", L"test", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10,
                         200, 100, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
}

class Requester : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    StringsInit();
    RequesterInit();
  }
  TempFolder folder;
};

TEST_F(Requester, DefaultSplitsIntoStartingFolderAndProposedName) {
  folder.Write(L"chosen.htm", "x");
  const std::wstring defaultPath = folder.path() + L"\\bookmarks.htm";
  Outcome outcome = Request(defaultPath.c_str(), HtmPattern, 0, L"chosen.htm");
  EXPECT_EQ(outcome.view.proposedName, L"bookmarks.htm");
  EXPECT_EQ(outcome.path, folder.path() + L"\\chosen.htm");  // the typed name is taken in the starting folder
}

TEST_F(Requester, DefaultEndingInBackslashOpensTheFolderWithAnEmptyName) {
  folder.Write(L"chosen.html", "x");
  const std::wstring defaultPath = folder.path() + L"\\";
  Outcome outcome = Request(defaultPath.c_str(), HtmPattern, 1, L"chosen.html");
  EXPECT_EQ(outcome.view.proposedName, L"");
  EXPECT_EQ(outcome.path, folder.path() + L"\\chosen.html");
}

TEST_F(Requester, InvalidOrFolderlessDefaultsGiveTheNameThatPassesTheCheck) {
  struct Case {
    std::wstring defaultPath;
    std::wstring proposedName;
  } cases[] = {
      {L"bookmarks.htm", L"bookmarks.htm"},           // no backslash: all of it is the name
      {L"\\bookmarks.htm", L""},                      // only a leading backslash: the name check fails
      {folder.path() + L"\\a*b.htm", L""},            // wildcard in the name
      {folder.path() + L"\\c:d.htm", L""},            // colon in the name
  };
  for (const Case& c : cases) {
    Outcome outcome = Request(c.defaultPath.c_str(), HtmPattern, 0, L"");
    EXPECT_EQ(outcome.view.proposedName, c.proposedName) << c.defaultPath;
    EXPECT_EQ(outcome.path, L"");
  }
}

TEST_F(Requester, PatternPositionCountsFromZero) {
  Outcome second = Request(nullptr, L"Text|*.txt|All|*.*", 1, L"");
  EXPECT_EQ(second.view.selectedFilter, 1);
  EXPECT_EQ(second.view.filterText, L"All");

  // Position 1 of a single pair: the dialog can only offer that pair.
  Outcome only = Request(nullptr, HtmPattern, 1, L"");
  EXPECT_EQ(only.view.selectedFilter, 0);
  EXPECT_EQ(only.view.filterText, L"HTM (*.htm;*.html)");
}

TEST_F(Requester, ATypedNameOfAMissingFileInAnExistingFolderIsAccepted) {
  const std::wstring defaultPath = folder.path() + L"\\";
  Outcome outcome = Request(defaultPath.c_str(), HtmPattern, 0, L"missing.htm");
  EXPECT_EQ(outcome.path, folder.path() + L"\\missing.htm");
  EXPECT_EQ(RequesterSelectedPattern(), 1);
}

// Counts and refuses the windows this thread would create, so no dialog waits for an answer.
int WindowsRefused = 0;
LRESULT CALLBACK RefuseWindows(int code, WPARAM, LPARAM) { return code == HCBT_CREATEWND ? ++WindowsRefused : 0; }

TEST_F(Requester, ARefusedBufferGivesTheEmptyResultWithoutADialog) {
  // A heap that stops at 64 KB refuses the directory buffer of a 100,000-character default.
  const HANDLE ownHeap = RuntimeHeap;
  RuntimeHeap = HeapCreate(0, 0, 64 * 1024);
  HHOOK hook = SetWindowsHookExW(WH_CBT, RefuseWindows, nullptr, GetCurrentThreadId());
  ScratchMark mark;
  RequestOpenFile(Title, std::wstring(100000, L'a').c_str(), HtmPattern, 0, mark);
  UnhookWindowsHookEx(hook);
  HeapDestroy(RuntimeHeap);
  RuntimeHeap = ownHeap;
  EXPECT_STREQ(L"", mark.Text());
  EXPECT_EQ(0, WindowsRefused) << "the dialog was opened";
}

TEST_F(Requester, OtherWindowsAreDisabledDuringTheDialogAndRestoredAfterIt) {
  HWND front = MakeTopLevel(0);
  HWND topmost = MakeTopLevel(WS_EX_TOPMOST);
  SetForegroundWindow(front);
  ASSERT_EQ(GetForegroundWindow(), front);

  bool frontEnabledDuring = true, topmostEnabledDuring = true, topmostFlagDuring = true;
  Outcome outcome = Request(nullptr, HtmPattern, 0, L"", [&](HWND) {
    frontEnabledDuring = IsWindowEnabled(front);
    topmostEnabledDuring = IsWindowEnabled(topmost);
    topmostFlagDuring = (GetWindowLongW(topmost, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
  });
  EXPECT_EQ(outcome.path, L"");
  EXPECT_FALSE(frontEnabledDuring);  // the owner, disabled by the dialog itself
  EXPECT_FALSE(topmostEnabledDuring);
  EXPECT_FALSE(topmostFlagDuring);
  EXPECT_TRUE(IsWindowEnabled(front));
  EXPECT_TRUE(IsWindowEnabled(topmost));
  EXPECT_TRUE(GetWindowLongW(topmost, GWL_EXSTYLE) & WS_EX_TOPMOST);
  DestroyWindow(front);
  DestroyWindow(topmost);
}

}  // namespace
