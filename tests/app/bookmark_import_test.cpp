// The import command against the real dialog, the real list and real files:
// bookmark files in, the rows the list then shows out.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <oleacc.h>

#include <array>
#include <iterator>
#include <utility>
#include <string>
#include <vector>

#include "application.h"
#include "core/startup.h"
#include "gadgets/gadgets.h"
#include "regex/regex.h"
#include "support/accessible_name.h"
#include "support/dialog_driver.h"
#include "support/test_support.h"

namespace {

using testing_support::DialogDriver;
using testing_support::TempFolder;

constexpr wchar_t DialogTitle[] = L"Select exported browser bookmarks file";

struct Row {
  std::wstring url, title, description, category, owner;
  bool operator==(const Row& other) const {
    return url == other.url && title == other.title && description == other.description &&
           category == other.category && owner == other.owner;
  }
};

std::ostream& operator<<(std::ostream& out, const Row& row) {
  using testing_support::Narrow;
  return out << "{" << Narrow(row.url) << " | " << Narrow(row.title) << " | " << Narrow(row.description) << " | "
             << Narrow(row.category) << " | " << Narrow(row.owner) << "}";
}

HWND ListWindow() { return GadgetLookup(BookmarkList)->window; }

int RowCount() { return static_cast<int>(SendMessageW(ListWindow(), LVM_GETITEMCOUNT, 0, 0)); }

std::wstring Cell(int row, int column) {
  std::vector<wchar_t> text(8192);
  LVITEMW item = {};
  item.iSubItem = column;
  item.pszText = text.data();
  item.cchTextMax = static_cast<int>(text.size());
  SendMessageW(ListWindow(), LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
  return text.data();
}

std::vector<Row> RowsFrom(int first) {
  std::vector<Row> rows;
  for (int r = first; r < RowCount(); ++r) rows.push_back({Cell(r, 0), Cell(r, 1), Cell(r, 2), Cell(r, 3), Cell(r, 4)});
  return rows;
}

// Runs the import with the dialog answered by answer (empty: cancel); returns
// the rows it added.
std::vector<Row> Import(const std::wstring& answer) {
  const int before = RowCount();
  DialogDriver driver(DialogTitle, answer);
  BookmarkImport();
  EXPECT_TRUE(driver.Finish().appeared);
  EXPECT_EQ(ScratchOffset, 0);
  return RowsFrom(before);
}

class Import : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    RuntimeStartup();
    ASSERT_TRUE(MainWindowBuild());
  }

  std::wstring Write(const std::wstring& name, const std::string& bytes) { return folder.Write(name, bytes); }

  Row Bookmark(const std::wstring& url, const std::wstring& title, const std::wstring& description = L"") const {
    return {url, title, description, L"InterNet BookMark", owner};
  }

  TempFolder folder;
  const std::wstring owner = testing_support::ProfileOwner();
};

TEST_F(Import, WorkedExampleGivesItsTwoRows) {
  const std::vector<Row> rows = ::Import(testing_support::FixturesDir() + L"\\worked_example.html");
  EXPECT_EQ(rows, (std::vector<Row>{
                      Bookmark(L"file:///C:/notes/a.txt", L"Alpha & Beta", L"First <note>"),
                      Bookmark(L"file:///C:/notes/b.url", L"Shortcut B"),
                  }));
}

// Past the platform's old limit of 259 characters, in folders named in three scripts.
// Handed over as the dialog would return it: Wine's own dialog copies a typed path
// into a buffer of 260 characters and crashes on a longer one.
TEST_F(Import, AFileWhosePathIsThreeHundredCharactersLong) {
  std::wstring path = folder.path();
  while (path.size() + 11 < 300) {
    std::wstring name = L"\\\u0437\u0430\u043a\u043b\u0430\u0434\u043a\u0438 \u4e66\u7b7e \U0001F516 folder";
    name.resize(std::min(name.size(), 300 - 11 - path.size()));
    path += name;
    ASSERT_TRUE(CreateDirectoryW((L"\\\\?\\" + path).c_str(), nullptr));
  }
  const std::wstring file = path + L"\\export.htm";
  const std::string bytes = testing_support::ReadWholeFile(testing_support::FixturesDir() + L"\\worked_example.html");
  HANDLE handle = CreateFileW((L"\\\\?\\" + file).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  ASSERT_NE(handle, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(handle);
  ASSERT_EQ(file.size(), 300u);
  const int before = RowCount();
  BookmarkImportFile(file.c_str());
  EXPECT_EQ(RowsFrom(before).size(), 2u);
}

TEST_F(Import, LineRulesOfTheFormat) {
  const std::wstring path = Write(L"edges.htm",
                                  "<dt><a href=\"lower\">lower-case markers</a>\n"
                                  "<dd>lower-case description\n"
                                  "<DT><A  HREF=\"two spaces\">not a bookmark</A>\n"
                                  "<DT><A HREF=noquote>No quote</A>\n"
                                  "<DT><A HREF=\"one quote>Once</A>\n"
                                  "<DT><A HREF=\"gt\">a > b</A>\n"
                                  "<DT><A HREF=\"a&amp;b\">&amp;lt;tag&amp;gt; &gt; x</A>\n"
                                  "<DT><A HREF=\"u1\">Link.Url</A>\n"
                                  "<DT><A HREF=\"u2\">.URL</A>\n"
                                  "<DT><A HREF=\"u3\">x.url.url</A>\n"
                                  "<A HREF=\"order\">markers in either order</A><DT>\n"
                                  "<DT><A HREF=\"gap\">described after a gap</A>\n"
                                  "\n"
                                  "<DD>ignored: not right after its bookmark\n"
                                  "<DT><A HREF=\"dd\">described</A>\n"
                                  "<DD>  used &quot;once&quot;  \n"
                                  "<DD>ignored: second description\n"
                                  "<DT><A HREF=\"p\">followed by a bookmark</A>\n"
                                  "<DT><A HREF=\"q\">with a marker</A><DD>, not p's description\n"
                                  "<DT><H3>Folder</H3>\n"
                                  "<DD>ignored: after a folder\n"
                                  "<DT><A HREF=\"last\">ends on a bookmark</A>\n");
  EXPECT_EQ(::Import(path), (std::vector<Row>{
                                Bookmark(L"", L"No quote"),
                                Bookmark(L"one quote>Once</A>", L"Once"),
                                Bookmark(L"gt", L"b"),
                                Bookmark(L"a&amp;b", L"<tag> > x"),
                                Bookmark(L"u1", L"Link"),
                                Bookmark(L"u2", L""),
                                Bookmark(L"u3", L"x.url"),
                                Bookmark(L"order", L"markers in either order"),
                                Bookmark(L"gap", L"described after a gap"),
                                Bookmark(L"dd", L"described", L"used \"once\""),
                                Bookmark(L"p", L"followed by a bookmark"),
                                Bookmark(L"q", L"with a marker, not p's description"),
                                Bookmark(L"last", L"ends on a bookmark"),
                            }));

  // A new import starts fresh: a description on its first line belongs to no row.
  const int before = RowCount();
  EXPECT_TRUE(::Import(Write(L"dd-first.htm", "<DD>not for the previous import\n")).empty());
  EXPECT_EQ(Cell(before - 1, 2), L"");
}

TEST_F(Import, NothingIsAddedWithoutBookmarks) {
  EXPECT_TRUE(::Import(Write(L"empty.htm", "")).empty());
  EXPECT_TRUE(::Import(Write(L"folders.htm", "<DL><p>\r\n<DT><H3>Only folders</H3>\r\n</DL>")).empty());
  EXPECT_TRUE(::Import(L"").empty());  // cancelled
  EXPECT_TRUE(::Import(folder.path() + L"\\missing.htm").empty());
}

TEST_F(Import, ImportingTwiceAppendsEveryRowTwice) {
  const std::wstring path = Write(L"twice.htm", "<DT><A HREF=\"x\">X</A>\r\n<DD>about x\r\n<DT><A HREF=\"y\">Y</A>");
  const std::vector<Row> expected = {Bookmark(L"x", L"X", L"about x"), Bookmark(L"y", L"Y")};
  EXPECT_EQ(::Import(path), expected);
  EXPECT_EQ(::Import(path), expected);
}

TEST_F(Import, TheFileIsReleasedWhenTheImportEnds) {
  const std::wstring path = Write(L"released.htm", "<DT><A HREF=\"x\">X</A>\n");
  ASSERT_EQ(::Import(path).size(), 1u);
  // A browser exporting again to the same file must be able to replace it.
  HANDLE writer = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  EXPECT_NE(writer, INVALID_HANDLE_VALUE);
  CloseHandle(writer);
  EXPECT_TRUE(DeleteFileW(path.c_str()));
}

TEST_F(Import, TheListRepaintsAfterTheImport) {
  HWND list = ListWindow();
  ::Import(Write(L"one.htm", "<DT><A HREF=\"x\">X</A>\n"));
  // Redrawing is back on: a change invalidates the list again.
  ValidateRect(list, nullptr);
  LVITEMW cell = {};
  cell.iSubItem = 1;
  cell.pszText = const_cast<wchar_t*>(L"changed");
  SendMessageW(list, LVM_SETITEMTEXTW, RowCount() - 1, reinterpret_cast<LPARAM>(&cell));
  RECT dirty;
  EXPECT_TRUE(GetUpdateRect(list, &dirty, FALSE));
}

// The rows an export must give, compared whole, as a golden file beside the tests
// (app/golden/<export>.txt): one row a line, its URL, title, description and category
// TAB-separated, with TAB, LF, CR and backslash written \t, \n, \r and \\. The owner is
// the machine's own, so it is checked on every row instead.
std::string GoldenLine(const Row& row) {
  std::string line;
  for (const std::wstring* cell : {&row.url, &row.title, &row.description, &row.category}) {
    if (cell != &row.url) line += '\t';
    for (const char c : testing_support::Narrow(*cell)) {
      if (c == '\t') line += "\\t";
      else if (c == '\n') line += "\\n";
      else if (c == '\r') line += "\\r";
      else if (c == '\\') line += "\\\\";
      else line += c;
    }
  }
  return line;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  for (size_t start = 0, end; start < text.size(); start = end + 1) {
    end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
  }
  return lines;
}

void ExpectGoldenRows(const std::wstring& folder, const wchar_t* file) {
  SCOPED_TRACE(testing_support::Narrow(file));
  const std::vector<Row> rows = ::Import(folder + L"\\" + file);
  std::vector<std::string> got;
  for (const Row& row : rows) {
    got.push_back(GoldenLine(row));
    EXPECT_EQ(row.owner, testing_support::ProfileOwner()) << got.back();
  }
  const std::wstring golden = testing_support::FixturesDir() + L"\\..\\app\\golden\\" + file + L".txt";
  ASSERT_NE(GetFileAttributesW(golden.c_str()), INVALID_FILE_ATTRIBUTES) << "no golden file";
  const std::vector<std::string> expected = Lines(testing_support::ReadWholeFile(golden));
  size_t row = 0;
  while (row < got.size() && row < expected.size() && got[row] == expected[row]) ++row;
  if (row < got.size() || row < expected.size())
    ADD_FAILURE() << "first difference at row " << row + 1 << " of " << expected.size() << " expected, " << got.size()
                  << " imported\n  expected: " << (row < expected.size() ? expected[row] : "(no row)")
                  << "\n  imported: " << (row < got.size() ? got[row] : "(no row)");
}

TEST_F(Import, FixturesGiveTheirGoldenRows) {
  for (const wchar_t* file : {L"worked_example.html", L"second_export.htm"})
    ExpectGoldenRows(testing_support::FixturesDir(), file);
}

TEST_F(Import, RealBrowserExportsGiveTheirGoldenRows) {
  REQUIRE_SHARED_BOOKMARKS();
  for (const wchar_t* file :
       {L"chrome-personal-2010-crlf.htm", L"chromium-fixture-empty-folder.html", L"chromium-fixture-epiphany.html",
        L"chromium-fixture-redditsaver.html", L"delicious-export-large.html", L"firefox-fixture-corrupt.html",
        L"firefox-fixture-preplaces.html", L"firefox-fixture-singleframe.html", L"firefox-personal-zh.html",
        L"ie-favorites-zh.htm", L"pocket-export-reformatted.html", L"safari-personal-readinglist.html"})
    ExpectGoldenRows(testing_support::SharedBookmarksDir(), file);
}

// The list's messages during an import: 'r' redraw off, 'R' redraw on, 'w' a row
// inserted under the wait cursor, 'i' under any other.
std::string ListMessages;
WNDPROC ListProcedure;

LRESULT CALLBACK RecordingListProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_SETREDRAW) ListMessages += wParam ? 'R' : 'r';
  if (message == LVM_INSERTITEMW) ListMessages += GetCursor() == LoadCursorW(nullptr, IDC_WAIT) ? 'w' : 'i';
  return CallWindowProcW(ListProcedure, window, message, wParam, lParam);
}

int LivePatterns() {
  int count = 0;
  ObjectId value;
  for (ObjectIterateBegin(RegexTable); ObjectIterateNext(RegexTable, &value);) ++count;
  return count;
}

TEST_F(Import, PausesRedrawAndShowsTheWaitCursorAroundItsRowsAndLeavesNoPatternBehind) {
  const std::wstring path = Write(L"pause.htm", "<DT><A HREF=\"a\">A</A>\n<DD>about a\n<DT><A HREF=\"b\">B</A>\n");
  const int patterns = LivePatterns();
  HCURSOR before = LoadCursorW(nullptr, IDC_IBEAM);
  SetCursor(before);
  ListMessages.clear();
  ListProcedure = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(ListWindow(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(RecordingListProcedure)));
  BookmarkImportFile(path.c_str());
  SetWindowLongPtrW(ListWindow(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ListProcedure));
  EXPECT_EQ(ListMessages, "rwwR");
  EXPECT_EQ(GetCursor(), before);
  EXPECT_EQ(LivePatterns(), patterns);
}

std::wstring AccessibleName(HWND control) {
  IAccessible* object = nullptr;
  if (FAILED(AccessibleObjectFromWindow(control, OBJID_CLIENT, IID_IAccessible, reinterpret_cast<void**>(&object))))
    return L"(no object)";
  std::wstring name = testing_support::AccessibleNameOf(object);
  object->Release();
  return name;
}

BOOL CALLBACK KeepToolTip(HWND window, LPARAM found) {
  wchar_t name[32] = {};
  GetClassNameW(window, name, 32);
  if (wcscmp(name, TOOLTIPS_CLASSW) == 0 && GetWindow(window, GW_OWNER) == WindowHandle(MainWindow))
    *reinterpret_cast<HWND*>(found) = window;
  return TRUE;
}

// What a screen reader announces, what the pointer resting on the import button
// shows, and the icon of the title bar and the taskbar.
TEST_F(Import, ControlsHaveNamesTheImportButtonATipAndTheWindowItsIcon) {
  CoInitialize(nullptr);
  const std::pair<ObjectId, std::wstring> names[] = {
      {ImportButton, L"Import bookmarks"}, {SpareButton, L"Spare button, does nothing"}, {BookmarkList, L"Bookmarks"}};
  for (const auto& [gadget, name] : names) EXPECT_EQ(AccessibleName(GadgetLookup(gadget)->window), name) << gadget;

  HWND tip = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), KeepToolTip, reinterpret_cast<LPARAM>(&tip));
  ASSERT_NE(tip, nullptr);
  wchar_t text[80] = {};
  TTTOOLINFOW tool = {};
  tool.cbSize = sizeof tool;
  tool.hwnd = WindowHandle(MainWindow);
  tool.uId = reinterpret_cast<UINT_PTR>(GadgetLookup(ImportButton)->window);
  tool.lpszText = text;
  SendMessageW(tip, TTM_GETTEXTW, std::size(text), reinterpret_cast<LPARAM>(&tool));
  EXPECT_STREQ(text, L"Import bookmarks from a browser's HTML export");

  const HICON programIcon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1));
  ASSERT_NE(programIcon, nullptr);
  EXPECT_EQ(reinterpret_cast<HICON>(GetClassLongPtrW(WindowHandle(MainWindow), GCLP_HICON)), programIcon);
}

// The embedded manifest: common controls 6, Windows 7 to 11, GDI scaling.
TEST_F(Import, ManifestAsksForCommonControlsSixTheSupportedSystemsAndGdiScaling) {
  HRSRC resource = FindResourceW(nullptr, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));  // RT_MANIFEST
  ASSERT_NE(resource, nullptr);
  const std::string manifest(static_cast<const char*>(LockResource(LoadResource(nullptr, resource))),
                             SizeofResource(nullptr, resource));
  for (const char* entry : {"name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"",
                            "35138b9a-5d96-4fbd-8e2d-a2440225f93a", "4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38",
                            "1f676c76-80e1-4239-95bb-83d0f6d0da78", "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a",
                            "<gdiScaling xmlns=\"http://schemas.microsoft.com/SMI/2017/WindowsSettings\">true</gdiScaling>"})
    EXPECT_NE(manifest.find(entry), std::string::npos) << entry;
}

// Read from the live window, not retyped: the columns come from the app's own table.
TEST_F(Import, MainWindowIsBuiltAsLaidOut) {
  HWND window = WindowHandle(MainWindow);
  RECT box;
  GetClientRect(window, &box);
  EXPECT_EQ(std::make_pair(box.right, box.bottom), std::make_pair(750L, 600L));
  const std::pair<ObjectId, std::array<LONG, 4>> layout[] = {
      {ListFrame, {5, 0, 740, 530}},     {BookmarkList, {15, 15, 720, 505}}, {ButtonFrame, {5, 530, 740, 65}},
      {ImportButton, {15, 545, 40, 40}}, {SpareButton, {695, 545, 40, 40}}};
  for (const auto& [gadget, expected] : layout) {
    ASSERT_NE(GadgetLookup(gadget), nullptr) << gadget;
    GetWindowRect(GadgetLookup(gadget)->window, &box);
    MapWindowPoints(HWND_DESKTOP, window, reinterpret_cast<POINT*>(&box), 2);
    const std::array<LONG, 4> placed = {box.left, box.top, box.right - box.left, box.bottom - box.top};
    EXPECT_EQ(placed, expected) << gadget;
  }
  const auto style = static_cast<DWORD>(GetWindowLongW(ListWindow(), GWL_STYLE));
  EXPECT_EQ(style & (LVS_TYPEMASK | LVS_SINGLESEL | LVS_SHOWSELALWAYS), DWORD{LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS});
  EXPECT_TRUE(SendMessageW(ListWindow(), LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0) & LVS_EX_FULLROWSELECT);
  auto header = reinterpret_cast<HWND>(SendMessageW(ListWindow(), LVM_GETHEADER, 0, 0));
  ASSERT_EQ(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0), static_cast<LRESULT>(std::size(BookmarkColumns)));
  for (int column = 0; column < static_cast<int>(std::size(BookmarkColumns)); ++column) {
    wchar_t title[64] = {};
    LVCOLUMNW read = {};
    read.mask = LVCF_TEXT | LVCF_WIDTH;
    read.pszText = title;
    read.cchTextMax = 64;
    SendMessageW(ListWindow(), LVM_GETCOLUMNW, column, reinterpret_cast<LPARAM>(&read));
    EXPECT_EQ(std::wstring(title) + L" " + std::to_wstring(read.cx),
              std::wstring(BookmarkColumns[column].title) + L" " + std::to_wstring(BookmarkColumns[column].width));
  }
  LOGFONTW font = {};
  GetObjectW(reinterpret_cast<HFONT>(SendMessageW(ListWindow(), WM_GETFONT, 0, 0)), sizeof font, &font);
  HDC screen = GetDC(nullptr);
  EXPECT_EQ(std::wstring(font.lfFaceName) + L" " + std::to_wstring(font.lfHeight),
            L"Arial " + std::to_wstring(-MulDiv(11, GetDeviceCaps(screen, LOGPIXELSY), 72)));
  ReleaseDC(nullptr, screen);
}

}  // namespace
