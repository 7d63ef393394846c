#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "files/files.h"
#include "strings/strings.h"
#include "support/test_support.h"

namespace {

const wchar_t Canary = 0xA5A5;

// Runs a folder query at a mark that lies above other scratch data, with the
// scratch beyond the result's reserved room filled with a canary, and checks that
// the query touched neither side and left ScratchOffset on its terminator.
std::wstring Query(void (*query)(int32_t)) {
  ScratchMark outer;
  AppendText(L"keep");
  const int32_t mark = ScratchOffset + 2;
  const int32_t roomEnd = mark + 2 * (MAX_PATH + 1);
  wchar_t* spare = ScratchReserve(MAX_PATH + 1 + 64, mark);
  for (int i = 0; i < MAX_PATH + 1 + 64; ++i) spare[i] = Canary;
  ScratchOffset = mark;
  query(mark);
  const std::wstring result = ScratchAddress(mark);
  EXPECT_EQ(ScratchOffset, mark + static_cast<int32_t>(2 * result.size()));
  EXPECT_STREQ(ScratchAddress(outer), L"keep");
  const wchar_t* after = ScratchAddress(roomEnd);
  for (int i = 0; i < 64; ++i) EXPECT_EQ(after[i], Canary) << "unit " << i << " past the room";
  return result;
}

std::wstring CurrentFolder() { return Query(FolderCurrent); }

// Puts the process's current directory back when the test ends.
class CurrentDirectoryGuard {
 public:
  CurrentDirectoryGuard() { GetCurrentDirectoryW(MAX_PATH, saved_); }
  ~CurrentDirectoryGuard() { SetCurrentDirectoryW(saved_); }
  CurrentDirectoryGuard(const CurrentDirectoryGuard&) = delete;
  CurrentDirectoryGuard& operator=(const CurrentDirectoryGuard&) = delete;

 private:
  wchar_t saved_[MAX_PATH];
};

TEST(Folders, CurrentEndsInOneBackslash) {
  testing_support::TempFolder temp;
  CurrentDirectoryGuard guard;  // restores first: a folder cannot go while it is current
  const std::wstring nested = temp.path() + L"\\inner folder";
  ASSERT_TRUE(CreateDirectoryW(nested.c_str(), nullptr));
  const struct {
    std::wstring set;
    std::wstring expected;
  } cases[] = {
      {L"C:\\", L"C:\\"},
      {L"C:\\windows", L"C:\\windows\\"},
      {temp.path(), temp.path() + L"\\"},
      {nested, nested + L"\\"},
      {nested + L"\\", nested + L"\\"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing_support::Narrow(c.set));
    ASSERT_TRUE(SetCurrentDirectoryW(c.set.c_str()));
    EXPECT_EQ(CurrentFolder(), c.expected);
  }
}

// A current directory as long as the room allows: its backslash still fits, and
// nothing is written past the room.
TEST(Folders, CurrentAtTheLengthLimit) {
  testing_support::TempFolder temp;
  CurrentDirectoryGuard guard;  // restores first: a folder cannot go while it is current
  const size_t target = MAX_PATH - 2;
  std::wstring path = temp.path();
  for (wchar_t letter = L'a'; path.size() < target; ++letter) {
    const size_t remaining = target - path.size();
    const size_t length = remaining - 1 <= 20 ? remaining - 1 : std::min<size_t>(20, remaining - 3);
    path += L"\\" + std::wstring(length, letter);
    ASSERT_TRUE(CreateDirectoryW(path.c_str(), nullptr)) << path.size();
  }
  if (!SetCurrentDirectoryW(path.c_str())) GTEST_SKIP() << "the platform refuses a current directory this long";
  const std::wstring folder = CurrentFolder();
  EXPECT_EQ(folder, path + L"\\");
  EXPECT_GE(folder.size(), static_cast<size_t>(MAX_PATH - 2));
}

TEST(Folders, HomeIsTheProfileWithABackslash) {
  const std::wstring home = Query(FolderHome);
  wchar_t profile[MAX_PATH] = {};
  ASSERT_GT(GetEnvironmentVariableW(L"USERPROFILE", profile, MAX_PATH), 0u);
  EXPECT_EQ(home, std::wstring(profile) + L"\\");

  // The profile form C:\users\<name>\: drive, profiles folder, user folder.
  ASSERT_GE(home.size(), 11u);
  EXPECT_EQ(_wcsnicmp(home.c_str(), L"C:\\users\\", 9), 0) << testing_support::Narrow(home);
  const std::wstring name = home.substr(9, home.size() - 10);
  EXPECT_FALSE(name.empty());
  EXPECT_EQ(name.find(L'\\'), std::wstring::npos);
  EXPECT_EQ(home.back(), L'\\');
}

TEST(Folders, HomeIsTheSameOnEveryCall) {
  const std::wstring first = Query(FolderHome);
  const std::wstring second = Query(FolderHome);
  EXPECT_EQ(first, second);
}

}  // namespace
