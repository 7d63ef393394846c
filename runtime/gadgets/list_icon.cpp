// The list-icon gadget over the "SysListView32" control in report view. Each
// operation checks the gadget and sends the control's messages; the gadget itself
// keeps nothing. The control carries "Vela_LastSelected", the row last reported
// selected, so that a click that leaves no row selected reports the change once.
#include "gadgets/gadgets.h"

#include <commctrl.h>

#include "strings/strings.h"

namespace {

constexpr wchar_t LastSelectedProperty[] = L"Vela_LastSelected";

// Every list is a single-selection report view that shares its image lists.
constexpr DWORD ListStyle = WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SHAREIMAGELISTS;

LRESULT Send(const GadgetRecord* gadget, UINT message, WPARAM wParam, LPARAM lParam) {
  return SendMessageW(gadget->window, message, wParam, lParam);
}

const wchar_t* OrEmpty(const wchar_t* text) { return text ? text : L""; }

// Cuts the next cell off a RowText copy in place: ends the cell at its LF; next is
// where the following cell starts, or null when nothing remains after it.
void SplitCell(wchar_t* cell, wchar_t** next) {
  wchar_t* end = cell;
  while (*end && *end != L'\n') ++end;
  *next = *end && end[1] ? end + 1 : nullptr;
  *end = 0;
}

// A RowText this long or shorter is split in a copy on the stack; only a longer
// one costs a heap block, so a typical row is added without a heap call.
constexpr size_t RowCopyUnits = 1024;

// Inserts a row at position and writes the cells of a RowText into it, column 0
// first. When the heap refuses the copy of a long RowText, the row is inserted empty.
void InsertRow(GadgetRecord* gadget, int position, const wchar_t* rowText) {
  const wchar_t* text = OrEmpty(rowText);
  const size_t units = wcslen(text) + 1;
  wchar_t local[RowCopyUnits];
  wchar_t* copy = units <= RowCopyUnits ? local : static_cast<wchar_t*>(RuntimeAllocate(units * sizeof(wchar_t)));
  wchar_t* cell = copy;
  wchar_t* next = nullptr;
  if (copy) {
    memcpy(copy, text, units * sizeof(wchar_t));
    SplitCell(cell, &next);
  } else {
    cell = const_cast<wchar_t*>(L"");
  }

  LVITEMW item = {};
  item.mask = LVIF_TEXT;
  item.iItem = position;
  item.pszText = cell;
  const int row = static_cast<int>(Send(gadget, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
  for (int column = 1; next && row >= 0; ++column) {
    cell = next;
    SplitCell(cell, &next);
    LVITEMW sub = {};
    sub.iSubItem = column;
    sub.pszText = cell;
    Send(gadget, LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&sub));
  }
  if (copy != local) RuntimeFree(copy);
}

intptr_t InsertColumn(GadgetRecord* gadget, int32_t position, const wchar_t* title, int32_t width) {
  LVCOLUMNW column = {};
  column.mask = LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
  column.cx = width;
  column.pszText = const_cast<wchar_t*>(OrEmpty(title));
  column.iSubItem = position;
  return Send(gadget, LVM_INSERTCOLUMNW, position, reinterpret_cast<LPARAM>(&column));
}

bool IsList(const GadgetRecord* gadget);

GadgetRecord* ListLookup(ObjectId number) {
  GadgetRecord* gadget = GadgetLookup(number);
  return gadget && IsList(gadget) ? gadget : nullptr;
}

int FirstSelected(const GadgetRecord* gadget) {
  return static_cast<int>(Send(gadget, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

void FreeList(GadgetRecord* gadget) { RemovePropW(gadget->window, LastSelectedProperty); }

// ---- Notifications

using NotificationHandler = LRESULT (*)(GadgetRecord* gadget, NMHDR* header);

LRESULT Post(GadgetRecord* gadget, int32_t kind) {
  GadgetPostEvent(gadget->window, kind);
  return 0;
}

void RememberSelected(GadgetRecord* gadget, intptr_t row) {
  SetPropW(gadget->window, LastSelectedProperty, reinterpret_cast<HANDLE>(row));
}

// A click that leaves no row selected reports the change first, once.
void SelectionCheck(GadgetRecord* gadget) {
  if (FirstSelected(gadget) == -1 && reinterpret_cast<intptr_t>(GetPropW(gadget->window, LastSelectedProperty)) != -1) {
    RememberSelected(gadget, -1);
    Post(gadget, KindChange);
  }
}

LRESULT OnClick(GadgetRecord* gadget, NMHDR*) {
  SelectionCheck(gadget);
  return Post(gadget, KindClick);
}

LRESULT OnRightClick(GadgetRecord* gadget, NMHDR*) {
  SelectionCheck(gadget);
  return Post(gadget, KindRightClick);
}

LRESULT OnDoubleClick(GadgetRecord* gadget, NMHDR*) { return Post(gadget, KindDoubleClick); }
LRESULT OnRightDoubleClick(GadgetRecord* gadget, NMHDR*) { return Post(gadget, KindRightDoubleClick); }
LRESULT OnBeginDrag(GadgetRecord* gadget, NMHDR*) { return Post(gadget, KindDragStart); }

LRESULT OnItemChanged(GadgetRecord* gadget, NMHDR* header) {
  auto* change = reinterpret_cast<NMLISTVIEW*>(header);
  if (change->uNewState & LVIS_SELECTED) {
    RememberSelected(gadget, change->iItem);
    return Post(gadget, KindChange);
  }
  return change->uOldState & LVIS_SELECTED ? Post(gadget, KindChange) : 0;
}

// An enabled list asks to be told of every item and of the end of the painting, as
// a list that colours its rows must; no row of this program has colours of its own,
// so every item is drawn as the control draws it.
LRESULT OnCustomDraw(GadgetRecord* gadget, NMHDR* header) {
  switch (reinterpret_cast<NMLVCUSTOMDRAW*>(header)->nmcd.dwDrawStage) {
    case CDDS_PREPAINT:
      return IsWindowEnabled(gadget->window) ? CDRF_NOTIFYITEMDRAW | CDRF_NOTIFYPOSTPAINT : CDRF_DODEFAULT;
    case CDDS_ITEMPREPAINT:
    case CDDS_ITEMPREPAINT | CDDS_SUBITEM:
    case CDDS_POSTPAINT:
      return CDRF_DODEFAULT;
    default:
      return NotHandled;
  }
}

// The rows are about to go, when the control is destroyed. Nothing here reads
// LVN_DELETEITEM, so TRUE declines it: the parent is spared one notification per row.
LRESULT OnDeleteAllItems(GadgetRecord*, NMHDR*) { return TRUE; }

const struct {
  UINT code;
  NotificationHandler handler;
} NotificationHandlers[] = {
    {NM_CLICK, OnClick},
    {NM_RCLICK, OnRightClick},
    {NM_DBLCLK, OnDoubleClick},
    {NM_RDBLCLK, OnRightDoubleClick},
    {LVN_ITEMCHANGED, OnItemChanged},
    {LVN_BEGINDRAG, OnBeginDrag},
    {NM_CUSTOMDRAW, OnCustomDraw},
    {LVN_DELETEALLITEMS, OnDeleteAllItems},
};

LRESULT Notify(GadgetRecord* gadget, NMHDR* header) {
  for (const auto& entry : NotificationHandlers)
    if (entry.code == header->code) return entry.handler(gadget, header);
  return NotHandled;
}

constexpr GadgetClass ListClass = {Notify, FreeList};

bool IsList(const GadgetRecord* gadget) { return gadget->gadgetClass == &ListClass; }

}  // namespace

intptr_t ListCreate(ObjectId number, int x, int y, int width, int height, const wchar_t* firstTitle,
                    int32_t firstWidth, int32_t flags) {
  const DWORD extended = LVS_EX_DOUBLEBUFFER | (flags & ListFullRowSelect ? LVS_EX_FULLROWSELECT : 0);
  GadgetRecord* record = GadgetAllocate(number);
  if (!record) return 0;
  HWND window = CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"", ListStyle | (flags & ListAlwaysShowSelection),
                                x, y, width, height, GadgetListCurrent(), nullptr, ModuleInstance, nullptr);
  const intptr_t result = GadgetRegister(number, record, window, &ListClass);
  if (!result) return 0;
  SendMessageW(window, LVM_SETEXTENDEDLISTVIEWSTYLE, extended, extended);
  InsertColumn(record, 0, firstTitle, firstWidth);
  return result;
}

intptr_t ListAddColumn(ObjectId number, int32_t position, const wchar_t* title, int32_t width) {
  GadgetRecord* gadget = ListLookup(number);
  return gadget ? InsertColumn(gadget, position, title, width) : 0;
}

// Position -1 appends. The row is then inserted at an index past every row the
// list can hold, which the control appends: that spares asking the control for its
// row count on every append.
void ListAddRow(ObjectId number, int32_t position, const wchar_t* rowText) {
  if (GadgetRecord* gadget = ListLookup(number)) InsertRow(gadget, position == -1 ? INT32_MAX : position, rowText);
}

intptr_t ListRowCount(ObjectId number) {
  GadgetRecord* gadget = ListLookup(number);
  return gadget ? Send(gadget, LVM_GETITEMCOUNT, 0, 0) : 0;
}
