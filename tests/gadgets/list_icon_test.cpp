// The list-icon gadget over the real comctl32 list view: styles, RowText splitting,
// columns, and the events of clicks.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "gadgets/gadgets.h"

#include <commctrl.h>

#include "strings/strings.h"
#include "support/test_support.h"

namespace {

const auto* const Libraries = testing_support::StartLibraries({StringsInit, EventsInit, WindowsInit, GadgetInit});

struct Event {
  int32_t code;
  ObjectId gadget;
  int32_t kind;
  bool operator==(const Event& o) const { return code == o.code && gadget == o.gadget && kind == o.kind; }
};
std::ostream& operator<<(std::ostream& out, const Event& e) {
  return out << "{" << e.code << ", " << e.gadget << ", " << e.kind << "}";
}

std::vector<Event> Collect() {
  std::vector<Event> events;
  while (int32_t code = EventWaitTimeout(0)) events.push_back({code, EventGadgetNumber(), EventKind()});
  return events;
}

std::vector<Event> GadgetEvents(const std::vector<Event>& events) {
  std::vector<Event> gadget;
  for (const Event& e : events)
    if (e.code == EventGadget) gadget.push_back(e);
  return gadget;
}

std::wstring Cell(HWND list, int row, int column) {
  wchar_t text[256] = {};
  LVITEMW item = {};
  item.iSubItem = column;
  item.pszText = text;
  item.cchTextMax = 256;
  SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
  return text;
}

std::vector<std::wstring> Row(HWND list, int row, int columns = 5) {
  std::vector<std::wstring> cells;
  for (int c = 0; c < columns; ++c) cells.push_back(Cell(list, row, c));
  return cells;
}

int RowCount(HWND list) { return static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)); }

constexpr int32_t ApplicationFlags = 0x40000008;

class ListTest : public testing::Test {
 protected:
  void SetUp() override {
    window = reinterpret_cast<HWND>(WindowCreate(1, 0, 0, 750, 600, nullptr, 0x10CA0001));
    ASSERT_TRUE(window);
    FrameCreate(1, 5, 0, 740, 530, nullptr);
    list = reinterpret_cast<HWND>(ListCreate(2, 15, 15, 720, 505, L"Bookmark", 200, ApplicationFlags));
    ASSERT_TRUE(list);
    static const struct {
      const wchar_t* title;
      int32_t width;
    } Columns[] = {{L"Title", 200}, {L"Description", 200}, {L"Category", 100}, {L"Owner", 100}};
    for (int i = 0; i < 4; ++i) ListAddColumn(2, i + 1, Columns[i].title, Columns[i].width);
    FrameCreate(3, 5, 530, 740, 65, nullptr);
  }
  void TearDown() override {
    WindowsEnd();
    Collect();
  }
  HWND window = nullptr;
  HWND list = nullptr;
};

TEST_F(ListTest, ApplicationFlagsGiveTheirStyles) {
  // The five columns are wider than the list, so the control adds its own scroll bar.
  LONG_PTR style = GetWindowLongPtrW(list, GWL_STYLE) & ~static_cast<LONG_PTR>(WS_HSCROLL | WS_VSCROLL);
  EXPECT_EQ(0x5001004D, style) << std::hex << style;
  EXPECT_EQ(0x00010020, SendMessageW(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
  EXPECT_TRUE(GetWindowLongPtrW(list, GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
  EXPECT_EQ(2, GetWindowLongPtrW(list, GWLP_ID));
}

TEST_F(ListTest, RowTextIsSplitAtLineFeeds) {
  const std::wstring cell(250, L'w');  // six of them make a RowText of over a thousand units
  const std::wstring longRow = cell + L"\n" + cell + L"\n" + cell + L"\n" + cell + L"\n" + cell + L"\n" + cell;
  struct {
    const wchar_t* rowText;
    std::vector<std::wstring> cells;
  } cases[] = {
      {L"a", {L"a", L"", L"", L"", L""}},
      {L"a\n", {L"a", L"", L"", L"", L""}},
      {L"a\n\nc", {L"a", L"", L"c", L"", L""}},
      {L"\nb", {L"", L"b", L"", L"", L""}},
      {L"", {L"", L"", L"", L"", L""}},
      {nullptr, {L"", L"", L"", L"", L""}},
      {L"x\r\ny", {L"x\r", L"y", L"", L"", L""}},
      {L"1\n2\n3\n4\n5\n6\n7", {L"1", L"2", L"3", L"4", L"5"}},
      {L"http://a.example/\nTitle\n\nInterNet BookMark\nroot",
       {L"http://a.example/", L"Title", L"", L"InterNet BookMark", L"root"}},
      {longRow.c_str(), {cell, cell, cell, cell, cell}},
  };
  int row = 0;
  for (const auto& c : cases) {
    std::wstring before = c.rowText ? c.rowText : L"";
    ListAddRow(2, -1, c.rowText);
    EXPECT_EQ(row + 1, RowCount(list));
    EXPECT_EQ(c.cells, Row(list, row));
    if (c.rowText) {
      EXPECT_EQ(before, c.rowText);
    }
    ++row;
  }
}

TEST_F(ListTest, RowsInsertAtAPositionOrAppend) {
  ListAddRow(2, -1, L"first");
  ListAddRow(2, -1, L"third");
  ListAddRow(2, 1, L"second");
  EXPECT_EQ(L"first", Cell(list, 0, 0));
  EXPECT_EQ(L"second", Cell(list, 1, 0));
  EXPECT_EQ(L"third", Cell(list, 2, 0));
}

TEST_F(ListTest, OperationsOnMissingListsDoNothing) {
  ListAddRow(9, -1, L"a");
  EXPECT_EQ(0, ListAddColumn(9, 0, L"a", 10));
  // A frame is no list.
  ListAddRow(1, -1, L"a");
  EXPECT_EQ(0, ListAddColumn(1, 0, L"a", 10));
  EXPECT_EQ(5, ListAddColumn(2, 5, L"Sixth", 10));
  EXPECT_EQ(0, RowCount(list));
  WindowDestroy(1);
  EXPECT_EQ(0, ListAddColumn(2, 0, L"a", 10));
}

POINT RowPoint(HWND list, int row) {
  RECT area = {LVIR_BOUNDS, 0, 0, 0};
  SendMessageW(list, LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(&area));
  return {area.left + 30, (area.top + area.bottom) / 2};
}

void Click(HWND list, POINT at) {
  PostMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(at.x, at.y));
  PostMessageW(list, WM_LBUTTONUP, 0, MAKELPARAM(at.x, at.y));
}

TEST_F(ListTest, ClickOnARowGivesTheRawMessageThenChangeAndClick) {
  ListAddRow(2, -1, L"a");
  ListAddRow(2, -1, L"b");
  WindowShow(1);
  Collect();
  Click(list, RowPoint(list, 1));
  std::vector<Event> events = Collect();
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(WM_LBUTTONDOWN, events[0].code);
  EXPECT_EQ((std::vector<Event>{{EventGadget, 2, KindChange}, {EventGadget, 2, KindClick}}), GadgetEvents(events));
  EXPECT_EQ(1, reinterpret_cast<intptr_t>(GetPropW(list, L"Vela_LastSelected")));
}

TEST_F(ListTest, ClickLeavingNoSelectionReportsTheChangeOnce) {
  WindowShow(1);
  Collect();
  POINT empty = {300, 400};
  // Never selected: the absent property reads as 0, so the first click reports a change.
  Click(list, empty);
  EXPECT_EQ((std::vector<Event>{{EventGadget, 2, KindChange}, {EventGadget, 2, KindClick}}), GadgetEvents(Collect()));
  EXPECT_EQ(-1, reinterpret_cast<intptr_t>(GetPropW(list, L"Vela_LastSelected")));
  Click(list, empty);
  EXPECT_EQ((std::vector<Event>{{EventGadget, 2, KindClick}}), GadgetEvents(Collect()));
}

TEST_F(ListTest, DoubleClickAddsItsKind) {
  ListAddRow(2, -1, L"a");
  WindowShow(1);
  Collect();
  POINT at = RowPoint(list, 0);
  Click(list, at);
  PostMessageW(list, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(at.x, at.y));
  PostMessageW(list, WM_LBUTTONUP, 0, MAKELPARAM(at.x, at.y));
  std::vector<Event> events = GadgetEvents(Collect());
  EXPECT_NE(events.end(), std::find(events.begin(), events.end(), Event{EventGadget, 2, KindDoubleClick}));
}

TEST_F(ListTest, NotificationsFromForeignChildrenAreNotRouted) {
  HWND foreign = CreateWindowExW(0, L"Static", L"", WS_CHILD, 0, 0, 10, 10, window, reinterpret_cast<HMENU>(2),
                                 ModuleInstance, nullptr);
  NMHDR header = {foreign, 2, static_cast<UINT>(NM_CLICK)};
  SendMessageW(window, WM_NOTIFY, 2, reinterpret_cast<LPARAM>(&header));
  EXPECT_TRUE(GadgetEvents(Collect()).empty());
  header.hwndFrom = list;
  SendMessageW(window, WM_NOTIFY, 2, reinterpret_cast<LPARAM>(&header));
  EXPECT_FALSE(GadgetEvents(Collect()).empty());
}

TEST_F(ListTest, ApplicationLayoutShowsFramesAndFiveColumns) {
  for (int i = 0; i < 12; ++i) {
    std::wstring row = L"http://site" + std::to_wstring(i) + L".example/\nSite number " + std::to_wstring(i) +
                       L"\n\nInterNet BookMark\nroot";
    ListAddRow(2, -1, row.c_str());
  }
  WindowShow(1);
  Collect();

  const int widths[] = {200, 200, 200, 100, 100};
  for (int c = 0; c < 5; ++c) EXPECT_EQ(widths[c], SendMessageW(list, LVM_GETCOLUMNWIDTH, c, 0));
  RECT area;
  GetWindowRect(list, &area);
  MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&area), 2);
  EXPECT_EQ(15, area.left);
  EXPECT_EQ(15, area.top);
  EXPECT_EQ(720, area.right - area.left);
  EXPECT_EQ(505, area.bottom - area.top);
}

}  // namespace
