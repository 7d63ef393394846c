// Runs the real program in its own process and uses it as a user would: through
// its window, its buttons and the open-file dialog, reading the list back from
// the outside.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "support/dialog_driver.h"
#include "support/test_support.h"

namespace {

using testing_support::DialogDriver;
using testing_support::FindMainWindow;
using testing_support::FixturesDir;
using testing_support::TempFolder;

constexpr wchar_t DialogTitle[] = L"Select exported browser bookmarks file";
constexpr int Columns = 5;

// Memory inside the program's process, for the list messages that carry pointers.
class RemoteMemory {
 public:
  RemoteMemory(HANDLE process, size_t size)
      : process_(process), address_(VirtualAllocEx(process, nullptr, size, MEM_COMMIT, PAGE_READWRITE)) {}
  ~RemoteMemory() { VirtualFreeEx(process_, address_, 0, MEM_RELEASE); }
  RemoteMemory(const RemoteMemory&) = delete;
  RemoteMemory& operator=(const RemoteMemory&) = delete;

  char* at(size_t offset) const { return static_cast<char*>(address_) + offset; }
  void Write(size_t offset, const void* data, size_t size) const {
    WriteProcessMemory(process_, at(offset), data, size, nullptr);
  }
  void Read(size_t offset, void* data, size_t size) const {
    ReadProcessMemory(process_, at(offset), data, size, nullptr);
  }

 private:
  HANDLE process_;
  void* address_;
};

constexpr size_t TextUnits = 1024;

// Sends a message whose item carries a text buffer: the item and the buffer live
// in the program's memory, and the text comes back from there.
template <typename Item>
std::wstring RemoteText(HANDLE process, HWND window, UINT message, WPARAM wParam, Item item) {
  RemoteMemory memory(process, sizeof(Item) + TextUnits * sizeof(wchar_t));
  item.pszText = reinterpret_cast<wchar_t*>(memory.at(sizeof(Item)));
  item.cchTextMax = TextUnits;
  memory.Write(0, &item, sizeof item);
  SendMessageW(window, message, wParam, reinterpret_cast<LPARAM>(memory.at(0)));
  std::vector<wchar_t> text(TextUnits);
  memory.Read(sizeof(Item), text.data(), TextUnits * sizeof(wchar_t));
  return text.data();
}

std::wstring RemoteCellText(HANDLE process, HWND list, int row, int column) {
  LVITEMW item = {};
  item.iSubItem = column;
  return RemoteText(process, list, LVM_GETITEMTEXTW, row, item);
}

std::wstring RemoteHeaderText(HANDLE process, HWND header, int column) {
  HDITEMW item = {};
  item.mask = HDI_TEXT;
  return RemoteText(process, header, HDM_GETITEMW, column, item);
}

using Row = std::vector<std::wstring>;

class Program : public ::testing::Test {
 protected:
  void SetUp() override {
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    std::wstring commandLine = L"\"" + testing_support::Widen(PROGRAM_PATH) + L"\"";
    ASSERT_TRUE(CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               workFolder.path().c_str(), &startup, &process));
    for (int waited = 0; waited < 20000 && !(window && IsWindowVisible(window)); waited += 50) {
      Sleep(50);
      window = FindMainWindow(process.dwProcessId);
    }
    ASSERT_TRUE(window && IsWindowVisible(window)) << "main window did not appear";
    list = FindWindowExW(window, nullptr, L"SysListView32", nullptr);
    ASSERT_TRUE(list);
  }

  void TearDown() override {
    if (WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }

  int RowCount() const { return static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)); }

  std::vector<Row> Rows() const {
    std::vector<Row> rows;
    for (int r = 0; r < RowCount(); ++r) {
      Row row;
      for (int c = 0; c < Columns; ++c) row.push_back(RemoteCellText(process.hProcess, list, r, c));
      rows.push_back(row);
    }
    return rows;
  }

  // Clicks the import button and answers its dialog; returns whether the main
  // window was disabled while the dialog was open.
  bool Import(const std::wstring& answer) {
    bool mainEnabledDuringDialog = true;
    DialogDriver driver(DialogTitle, answer, [&](HWND) { mainEnabledDuringDialog = IsWindowEnabled(window); });
    PostMessageW(GetDlgItem(window, 4), BM_CLICK, 0, 0);
    EXPECT_TRUE(driver.Finish().appeared);
    // The import runs once the dialog has returned; it is done when the window answers again.
    for (int waited = 0; waited < 20000 && !IsWindowEnabled(window); waited += 50) Sleep(50);
    DWORD_PTR answered = 0;
    SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 20000, &answered);
    return !mainEnabledDuringDialog;
  }

  TempFolder workFolder;
  PROCESS_INFORMATION process = {};
  HWND window = nullptr;
  HWND list = nullptr;
};

TEST_F(Program, ImportsAccumulateAndClosingEndsWithExitCodeZero) {
  HWND header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
  ASSERT_EQ(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0), Columns);
  const wchar_t* titles[] = {L"Bookmark", L"Title", L"Description", L"Category", L"Owner"};
  for (int c = 0; c < Columns; ++c) EXPECT_EQ(RemoteHeaderText(process.hProcess, header, c), titles[c]);
  EXPECT_EQ(RowCount(), 0);

  const std::wstring owner = testing_support::ProfileOwner();
  EXPECT_TRUE(Import(FixturesDir() + L"\\worked_example.html"));
  const std::vector<Row> first = {
      {L"file:///C:/notes/a.txt", L"Alpha & Beta", L"First <note>", L"InterNet BookMark", owner},
      {L"file:///C:/notes/b.url", L"Shortcut B", L"", L"InterNet BookMark", owner},
  };
  EXPECT_EQ(Rows(), first);

  Import(FixturesDir() + L"\\second_export.htm");
  std::vector<Row> both = first;
  both.push_back({L"https://example.org/one", L"One 'quoted'", L"Line one", L"InterNet BookMark", owner});
  both.push_back({L"https://example.org/two?a=1&amp;b=2", L"Two", L"", L"InterNet BookMark", owner});
  EXPECT_EQ(Rows(), both);

  Import(L"");  // cancelled
  EXPECT_EQ(Rows(), both);
  EXPECT_TRUE(IsWindowEnabled(window));

  PostMessageW(window, WM_CLOSE, 0, 0);
  ASSERT_EQ(WaitForSingleObject(process.hProcess, 20000), WAIT_OBJECT_0);
  DWORD exitCode = 1;
  GetExitCodeProcess(process.hProcess, &exitCode);
  EXPECT_EQ(exitCode, 0u);
}

}  // namespace
