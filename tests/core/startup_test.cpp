// Start-up brings every library up; shutdown frees whatever the application left.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "core/startup.h"
#include "files/files.h"
#include "gadgets/gadgets.h"
#include "regex/regex.h"
#include "strings/strings.h"
#include "support/test_support.h"
#include "ui/ui.h"

namespace {

// A 1 x 1 pixel, 24-bit BMP file.
std::string TinyBitmap() {
  std::string bmp(58, '\0');
  auto put32 = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) bmp[at + i] = static_cast<char>(v >> (8 * i));
  };
  bmp[0] = 'B';
  bmp[1] = 'M';
  put32(2, 58);  // file size
  put32(10, 54); // pixel data offset
  put32(14, 40); // header size
  put32(18, 1);  // width
  put32(22, 1);  // height
  bmp[26] = 1;   // planes
  bmp[28] = 24;  // bits per pixel
  bmp[54] = '\x20';
  return bmp;
}

bool CanWriteExclusively(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  return true;
}

// What is still there when window 1 receives WM_DESTROY during shutdown.
std::function<std::string()> DescribeLeft;
std::string LeftAtWindowDestroy;
WNDPROC RuntimeProcedure;

LRESULT CALLBACK WatchingProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY) LeftAtWindowDestroy = DescribeLeft();
  return CallWindowProcW(RuntimeProcedure, window, message, wParam, lParam);
}

TEST(RuntimeShutdown, FreesEverythingTheApplicationLeftBehind) {
  RuntimeStartup();
  testing_support::TempFolder folder;
  const std::wstring dynamicPath = folder.Write(L"a.htm", "line\n");
  const std::wstring numberedPath = folder.Write(L"b.htm", "line\n");

  auto window = reinterpret_cast<HWND>(WindowCreate(1, 0, 0, 300, 200, L"", WindowHidden | WindowCentreScreen));
  ASSERT_TRUE(window);
  auto list = reinterpret_cast<HWND>(ListCreate(2, 5, 5, 200, 100, L"Column", 100, 0));
  ASSERT_TRUE(list);
  auto font = reinterpret_cast<HFONT>(FontLoad(2, L"Arial", 11, 0));
  GadgetSetFont(2, font);
  const std::string bmp = TinyBitmap();
  auto bitmap = reinterpret_cast<HGDIOBJ>(ImageFromMemory(1, bmp.data()));
  ASSERT_EQ(GetObjectType(bitmap), static_cast<DWORD>(OBJ_BITMAP));
  ASSERT_TRUE(FileOpenRead(DynamicNumber, dynamicPath.c_str()));
  ASSERT_TRUE(FileOpenRead(3, numberedPath.c_str()));
  const intptr_t regex = RegexCreate(DynamicNumber, L"a");
  ASSERT_TRUE(regex);
  ASSERT_TRUE(WindowCreate(2, 0, 0, 100, 100, L"", WindowHidden));
  WindowDestroy(2);  // one the application closed itself
  EXPECT_FALSE(CanWriteExclusively(dynamicPath));
  DescribeLeft = [&] {
    return std::string(ObjectFind(RegexTable, regex) ? "pattern " : "") + (GetObjectType(bitmap) ? "image " : "") +
           (GetObjectType(font) ? "font " : "") + (ObjectFind(FileTable, 3) ? "file" : "");
  };
  RuntimeProcedure = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(WatchingProcedure)));

  RuntimeShutdown();

  EXPECT_EQ(LeftAtWindowDestroy, "image font file") << "patterns go before the windows, graphics and files after";

  EXPECT_FALSE(IsWindow(window));
  EXPECT_FALSE(IsWindow(list));
  EXPECT_EQ(WindowHandle(1), nullptr);
  EXPECT_EQ(GetObjectType(font), 0u);
  EXPECT_EQ(GetObjectType(bitmap), 0u);
  EXPECT_TRUE(CanWriteExclusively(dynamicPath));
  EXPECT_TRUE(CanWriteExclusively(numberedPath));
  ScratchMark mark;
  RegexReplace(regex, L"aaa", L"b", mark);
  EXPECT_STREQ(mark.Text(), L"");  // the pattern is gone, so nothing is replaced
}

}  // namespace
