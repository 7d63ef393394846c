// The list-icon gadget over the real comctl32 list view: styles, RowText splitting,
// cells and headers, per-row extras across column changes, and click events.
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
  EXPECT_EQ(GadgetKindList, GadgetLookup(2)->gadgetClass->kind);
}

TEST_F(ListTest, OtherFlagsMapToStylesAndExtendedStyles) {
  struct {
    int32_t flags;
    LONG_PTR style;
    LRESULT extended;
  } cases[] = {
      {0, 0x50010045, 0x10000},
      {ListMultiSelect, 0x50010041, 0x10000},
      {ListCheckBoxes, 0x50010045, 0x10004},
      {ListHeaderDragDrop, 0x50010045, 0x10010},
      {ListFullRowSelect | ListMultiSelect | ListAlwaysShowSelection, 0x50010049, 0x10020},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.flags);
    auto other = reinterpret_cast<HWND>(ListCreate(7, 0, 0, 100, 100, L"A", 50, c.flags));
    ASSERT_TRUE(other);
    EXPECT_EQ(c.style, GetWindowLongPtrW(other, GWL_STYLE)) << std::hex << GetWindowLongPtrW(other, GWL_STYLE);
    EXPECT_EQ(c.extended, SendMessageW(other, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
  }
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
    EXPECT_EQ(0, ListAddRow(2, -1, c.rowText));
    EXPECT_EQ(row + 1, ListRowCount(2));
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

TEST_F(ListTest, SetCellTextFillsCellsOrHeaders) {
  ListAddRow(2, -1, L"u\nt\n\nc\no");
  EXPECT_NE(0, ListSetCellText(2, ListRowCount(2) - 1, L"described", 2));
  EXPECT_EQ(L"described", Cell(list, 0, 2));
  EXPECT_EQ(0, ListSetCellText(2, 5, L"nowhere", 0));

  EXPECT_NE(0, ListSetCellText(2, -1, L"Notes", 2));
  wchar_t title[32] = {};
  LVCOLUMNW column = {};
  column.mask = LVCF_TEXT;
  column.pszText = title;
  column.cchTextMax = 32;
  SendMessageW(list, LVM_GETCOLUMNW, 2, reinterpret_cast<LPARAM>(&column));
  EXPECT_STREQ(L"Notes", title);
  EXPECT_EQ(L"described", Cell(list, 0, 2));
}

TEST_F(ListTest, ReadingBackUsesTheLongestTextWritten) {
  std::wstring longText(300, L'w');
  ListAddRow(2, -1, (L"short\n" + longText).c_str());
  GadgetRecord* gadget = GadgetLookup(2);
  EXPECT_EQ(300, gadget->kindField[0]);
  ScratchMark mark;
  gadget->gadgetClass->getItemText(gadget, 0, 1, mark);
  EXPECT_EQ(longText, mark.Text());
  EXPECT_EQ(mark + 600, ScratchOffset);
}

TEST_F(ListTest, OperationsOnMissingGadgetsAnswerZero) {
  EXPECT_EQ(0, ListRowCount(9));
  EXPECT_EQ(0, ListAddRow(9, -1, L"a"));
  EXPECT_EQ(0, ListSetCellText(9, 0, L"a", 0));
  EXPECT_EQ(0, ListAddColumn(9, 0, L"a", 10));
  // A frame has none of the list's slots.
  EXPECT_EQ(0, ListRowCount(1));
  ListAddRow(2, -1, L"a");
  WindowDestroy(1);
  EXPECT_EQ(0, ListRowCount(2));
}

TEST_F(ListTest, RowExtrasFollowInsertedAndRemovedColumns) {
  ListAddRow(2, -1, L"a");
  ListAddRow(2, -1, L"b");
  GadgetRecord* gadget = GadgetLookup(2);
  const GadgetClass* kind = gadget->gadgetClass;
  kind->setItemColour(gadget, 0, 1, 0x0000FF, 1);
  kind->setItemColour(gadget, 0, 2, 0x00FF00, 3);
  kind->setItemData(gadget, 0, 1234);
  EXPECT_EQ(0x0000FF, kind->getItemColour(gadget, 0, 1, 1));
  EXPECT_EQ(-1, kind->getItemColour(gadget, 1, 1, 1));

  EXPECT_EQ(1, ListAddColumn(2, 1, L"New", 50));
  EXPECT_EQ(-1, kind->getItemColour(gadget, 0, 1, 1));
  EXPECT_EQ(0x0000FF, kind->getItemColour(gadget, 0, 1, 2));
  EXPECT_EQ(0x00FF00, kind->getItemColour(gadget, 0, 2, 4));
  EXPECT_EQ(1234, kind->getItemData(gadget, 0));
  EXPECT_EQ(0, kind->getItemData(gadget, 1));

  EXPECT_EQ(1, kind->removeColumn(gadget, 1));
  EXPECT_EQ(0x0000FF, kind->getItemColour(gadget, 0, 1, 1));
  EXPECT_EQ(0x00FF00, kind->getItemColour(gadget, 0, 2, 3));
  EXPECT_EQ(-1, kind->getItemColour(gadget, 0, 1, 5));
}

int BusyBlocks(HANDLE heap) {
  int count = 0;
  for (PROCESS_HEAP_ENTRY entry = {}; HeapWalk(heap, &entry);) count += (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) != 0;
  return count;
}

TEST_F(ListTest, RowsAndColumnsOutsideTheListTouchNoRowExtra) {
  ListAddRow(2, -1, L"a");
  GadgetRecord* gadget = GadgetLookup(2);
  const GadgetClass* kind = gadget->gadgetClass;
  kind->setItemData(gadget, 0, 7);  // row 0 gets its block now
  const int blocks = BusyBlocks(RuntimeHeap);
  for (int32_t row : {-2, INT32_MIN, INT32_MAX, 5})
    for (int32_t type : {1, 2}) kind->setItemColour(gadget, row, type, 0x00FF00, 0);
  EXPECT_EQ(blocks, BusyBlocks(RuntimeHeap)) << "a block for a row outside the list";
  for (int32_t column : {-2, INT32_MIN, INT32_MAX, 5})
    for (int32_t type : {1, 2}) kind->setItemColour(gadget, 0, type, 0x00FF00, column);
  EXPECT_EQ(-1, kind->getItemColour(gadget, 0, 1, 0));
  // A column the row's block does not hold draws with the list's own colours.
  LVITEMW item = {};
  item.mask = LVIF_PARAM;
  SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
  NMLVCUSTOMDRAW draw = {};
  draw.nmcd.hdr = {list, 2, static_cast<UINT>(NM_CUSTOMDRAW)};
  draw.nmcd.dwDrawStage = CDDS_ITEMPREPAINT | CDDS_SUBITEM;
  draw.nmcd.lItemlParam = item.lParam;
  for (int subItem : {5, -1, 0x40000000}) {
    draw.iSubItem = subItem;
    SendMessageW(window, WM_NOTIFY, 2, reinterpret_cast<LPARAM>(&draw));
    EXPECT_EQ(SendMessageW(list, LVM_GETTEXTCOLOR, 0, 0), static_cast<LRESULT>(draw.clrText)) << subItem;
    EXPECT_EQ(SendMessageW(list, LVM_GETBKCOLOR, 0, 0), static_cast<LRESULT>(draw.clrTextBk)) << subItem;
  }
}

std::vector<void*> RowBlocks(HWND list) {
  std::vector<void*> blocks;
  LVITEMW item = {};
  item.mask = LVIF_PARAM;
  for (item.iItem = 0; SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)); ++item.iItem)
    if (item.lParam) blocks.push_back(reinterpret_cast<void*>(item.lParam));
  return blocks;
}

// With the heap checking on, a freed block waits in a queue, which HeapValidate
// still takes for a block in use; HeapSize does not.
bool Live(void* block) {
  return HeapValidate(RuntimeHeap, 0, block) && HeapSize(RuntimeHeap, 0, block) != static_cast<SIZE_T>(-1);
}

TEST_F(ListTest, RowExtrasGoWithTheirRowsAndWithTheControl) {
  GadgetRecord* gadget = GadgetLookup(2);
  const GadgetClass* kind = gadget->gadgetClass;
  for (const wchar_t* text : {L"a", L"b"}) ListAddRow(2, -1, text);
  kind->setItemData(gadget, 0, 7);
  kind->setItemColour(gadget, 1, 1, 0x0000FF, 0);
  std::vector<void*> blocks = RowBlocks(list);
  ASSERT_EQ(2u, blocks.size());
  kind->clearItems(gadget);
  for (void* block : blocks) EXPECT_FALSE(Live(block)) << "a block outlives its cleared row";

  for (const wchar_t* text : {L"a", L"b", L"c", L"d"}) ListAddRow(2, -1, text);
  for (int row = 0; row < 4; ++row) kind->setItemData(gadget, row, row + 1);
  // The heap moves blocks as they grow; what frees them must follow.
  for (int32_t column : {1, 2, 3}) ListAddColumn(2, column, L"New", 50);
  kind->setItemColour(gadget, 3, 1, 0x0000FF, 7);
  blocks = RowBlocks(list);
  ASSERT_EQ(4u, blocks.size());
  EXPECT_EQ(1, kind->removeItem(gadget, 1));
  EXPECT_EQ(3, kind->getItemData(gadget, 1));
  EXPECT_FALSE(Live(blocks[1])) << "a block outlives its removed row";
  blocks.erase(blocks.begin() + 1);
  for (void* block : blocks) EXPECT_TRUE(Live(block));
  NMLISTVIEW all = {};  // sent as the rows go: TRUE declines a notification per row
  all.hdr = {list, 2, static_cast<UINT>(LVN_DELETEALLITEMS)};
  all.iItem = -1;
  EXPECT_EQ(TRUE, SendMessageW(window, WM_NOTIFY, 2, reinterpret_cast<LPARAM>(&all)));
  DestroyWindow(list);
  for (void* block : blocks) EXPECT_FALSE(Live(block)) << "a block outlives the control";
}

TEST_F(ListTest, SelectionStateAndTextFollowTheSelectedRow) {
  ListAddRow(2, -1, L"a\nA");
  ListAddRow(2, -1, L"b\nB");
  GadgetRecord* gadget = GadgetLookup(2);
  const GadgetClass* kind = gadget->gadgetClass;
  EXPECT_EQ(-1, kind->getState(gadget));
  kind->setState(gadget, 1);
  EXPECT_EQ(1, kind->getState(gadget));
  EXPECT_EQ(1, kind->getItemState(gadget, 1));
  {
    ScratchMark mark;
    kind->getText(gadget, mark);
    EXPECT_STREQ(L"b", mark.Text());
  }
  kind->setText(gadget, L"x\nX");
  EXPECT_EQ((std::vector<std::wstring>{L"x", L"X"}), Row(list, 1, 2));
  kind->setState(gadget, -1);
  EXPECT_EQ(-1, kind->getState(gadget));
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
  WindowShow(1, 0);
  Collect();
  Click(list, RowPoint(list, 1));
  std::vector<Event> events = Collect();
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(WM_LBUTTONDOWN, events[0].code);
  EXPECT_EQ((std::vector<Event>{{EventGadget, 2, KindChange}, {EventGadget, 2, KindClick}}), GadgetEvents(events));
  EXPECT_EQ(1, reinterpret_cast<intptr_t>(GetPropW(list, L"Vela_LastSelected")));
  EXPECT_EQ(1, GadgetLookup(2)->gadgetClass->getState(GadgetLookup(2)));
}

TEST_F(ListTest, ClickLeavingNoSelectionReportsTheChangeOnce) {
  WindowShow(1, 0);
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
  WindowShow(1, 0);
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
  ListSetCellText(2, 0, L"first description", 2);
  WindowShow(1, 0);
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
