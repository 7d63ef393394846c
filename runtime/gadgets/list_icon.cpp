// The list-icon gadget over the "SysListView32" control in report view. Each
// operation checks nothing beyond the gadget and sends the control's messages; the
// gadget keeps only longestText (the buffer size for reading a cell back), the
// optional per-row colours and user value (RowExtra, in the row's item data) and
// the chain of those blocks.
#include "gadgets/gadgets.h"

#include <commctrl.h>
#include <shlwapi.h>

#include "strings/strings.h"

int32_t CommonControlsVersion;
int32_t ThemesActive;

namespace {

// The list's kind fields. No list of this program shows row images, so field 1
// holds the first RowExtra of the list's chain instead: a list without any (every
// list an import fills) skips the sweeps over its rows. SetRowExtra alone changes
// the chain. Field 3 stays 0: the control draws its own grid lines, and no list of
// this program shows a third check state.
enum ListField { LongestText = 0, FirstRowExtra = 1, GridColour = 2 };

COLORREF ListDefaultTextColour;
COLORREF ListDefaultBackColour;

// RowExtra: a user value, then per column a text colour + 1 and a background
// colour + 1 (0: not set). The user value is pointer-sized so that item data may
// hold an address on 64-bit builds too. Every index into colours is checked
// against columnCount: the block follows the list's columns, but stays shorter
// when the heap refused to grow it, and a column past it simply has no colours.
// The blocks of a list are chained as well, so that FreeList reaches them after
// the destroyed control has dropped its rows, and the rows' item data with them.
struct RowExtra {
  RowExtra* previous;
  RowExtra* next;
  intptr_t userValue;
  int32_t columnCount;  // colour pairs the block holds
  int32_t colours[1];   // 2 per column, in column order
};

constexpr int32_t ColourText = 1;
constexpr int32_t ColourBack = 2;
constexpr int32_t ColourGrid = 3;

size_t RowExtraSize(int columns) { return offsetof(RowExtra, colours) + 8 * static_cast<size_t>(columns); }

// The stored colour + 1 of a column for ColourText or ColourBack; 0 when none is stored.
int32_t StoredColour(const RowExtra* extra, int column, int32_t type) {
  if (column < 0 || column >= extra->columnCount) return 0;
  return extra->colours[2 * column + (type - 1)];
}

void StoreColour(RowExtra* extra, int column, int32_t type, int32_t colourPlusOne) {
  if (column >= 0 && column < extra->columnCount) extra->colours[2 * column + (type - 1)] = colourPlusOne;
}

// The block with an empty pair at column k and the pairs from k on moved up one.
// When the heap refuses the larger block, the pairs from k on are dropped instead,
// since they would describe the wrong columns.
RowExtra* WithColumnInserted(RowExtra* extra, int k) {
  const int stored = extra->columnCount;
  auto* grown = static_cast<RowExtra*>(RuntimeReallocate(extra, RowExtraSize(stored + 1)));
  if (!grown) {
    if (k < stored) extra->columnCount = k;
    return extra;
  }
  if (k < stored) {
    memmove(&grown->colours[2 * (k + 1)], &grown->colours[2 * k], 8 * static_cast<size_t>(stored - k));
    grown->colours[2 * k] = grown->colours[2 * k + 1] = 0;
  }
  grown->columnCount = stored + 1;
  return grown;
}

// The block without the pair of a column, the later pairs moved down one. A refused
// shrink keeps the larger block, which serves as well.
RowExtra* WithColumnRemoved(RowExtra* extra, int column) {
  const int stored = extra->columnCount;
  if (column < 0 || column >= stored) return extra;
  memmove(&extra->colours[2 * column], &extra->colours[2 * (column + 1)], 8 * static_cast<size_t>(stored - 1 - column));
  extra->columnCount = stored - 1;
  auto* shrunk = static_cast<RowExtra*>(RuntimeReallocate(extra, RowExtraSize(stored - 1)));
  return shrunk ? shrunk : extra;
}

HWND Control(const GadgetRecord* gadget) { return gadget->window; }

LRESULT Send(const GadgetRecord* gadget, UINT message, WPARAM wParam, LPARAM lParam) {
  return SendMessageW(Control(gadget), message, wParam, lParam);
}

int RowCount(const GadgetRecord* gadget) { return static_cast<int>(Send(gadget, LVM_GETITEMCOUNT, 0, 0)); }

int ColumnCount(const GadgetRecord* gadget) {
  auto header = reinterpret_cast<HWND>(Send(gadget, LVM_GETHEADER, 0, 0));
  return static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0));
}

RowExtra* FirstExtra(const GadgetRecord* gadget) { return reinterpret_cast<RowExtra*>(gadget->kindField[FirstRowExtra]); }

bool HasRowExtras(const GadgetRecord* gadget) { return FirstExtra(gadget) != nullptr; }

// Points the chain at extra where it pointed at a block extra replaces (its links
// are already extra's own) or, with previous and next set, takes extra in.
void Relink(GadgetRecord* gadget, RowExtra* extra) {
  if (extra->previous)
    extra->previous->next = extra;
  else
    gadget->kindField[FirstRowExtra] = reinterpret_cast<intptr_t>(extra);
  if (extra->next) extra->next->previous = extra;
}

void Unlink(GadgetRecord* gadget, const RowExtra* extra) {
  if (extra->previous)
    extra->previous->next = extra->next;
  else
    gadget->kindField[FirstRowExtra] = reinterpret_cast<intptr_t>(extra->next);
  if (extra->next) extra->next->previous = extra->previous;
}

// The row's block; null, without asking the control, when no row of the list has one.
RowExtra* RowExtraOf(const GadgetRecord* gadget, int row) {
  if (!HasRowExtras(gadget)) return nullptr;
  LVITEMW item = {};
  item.mask = LVIF_PARAM;
  item.iItem = row;
  if (!Send(gadget, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item))) return nullptr;
  return reinterpret_cast<RowExtra*>(item.lParam);
}

// Puts extra (null for none) in place of the row's block before, in the row and in
// the chain; false when the row does not exist. A block that replaces another is
// that one moved by the heap, or the same block, and carries its links.
bool SetRowExtra(GadgetRecord* gadget, int row, const RowExtra* before, RowExtra* extra) {
  LVITEMW item = {};
  item.mask = LVIF_PARAM;
  item.iItem = row;
  item.lParam = reinterpret_cast<LPARAM>(extra);
  if (!Send(gadget, LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item))) return false;
  if (!extra) {
    Unlink(gadget, before);
  } else if (!before) {
    extra->previous = nullptr;
    extra->next = FirstExtra(gadget);
    Relink(gadget, extra);
  } else if (extra != before) {
    Relink(gadget, extra);
  }
  return true;
}

void FreeRowExtra(GadgetRecord* gadget, int row) {
  RowExtra* extra = RowExtraOf(gadget, row);
  if (extra && SetRowExtra(gadget, row, extra, nullptr)) RuntimeFree(extra);
}

// The row's block, created or grown to hold the list's columns; null when the row
// does not exist or the heap refuses (a row keeps the block it had).
RowExtra* RowExtraForWriting(GadgetRecord* gadget, int row) {
  const int columns = ColumnCount(gadget);
  RowExtra* extra = RowExtraOf(gadget, row);
  if (extra && extra->columnCount >= columns) return extra;
  auto* grown = static_cast<RowExtra*>(RuntimeReallocate(extra, RowExtraSize(columns)));
  if (!grown) return nullptr;
  grown->columnCount = columns;
  if (!SetRowExtra(gadget, row, extra, grown)) {
    RuntimeFree(grown);
    return nullptr;
  }
  return grown;
}

// Frees every block of the chain and leaves the rows' item data alone: the rows
// are gone by then.
void FreeRowExtras(GadgetRecord* gadget) {
  for (RowExtra* extra = FirstExtra(gadget); extra;) {
    RowExtra* next = extra->next;
    RuntimeFree(extra);
    extra = next;
  }
  gadget->kindField[FirstRowExtra] = 0;
}

void RaiseLongest(GadgetRecord* gadget, size_t length) {
  if (static_cast<intptr_t>(length) > gadget->kindField[LongestText])
    gadget->kindField[LongestText] = static_cast<intptr_t>(length);
}

const wchar_t* OrEmpty(const wchar_t* text) { return text ? text : L""; }

// Cuts the next cell off a RowText copy in place: ends the cell at its LF and
// answers its length; next is where the following cell starts, or null when
// nothing remains after it. The one scan gives the length that longestText needs.
size_t SplitCell(wchar_t* cell, wchar_t** next) {
  wchar_t* end = cell;
  while (*end && *end != L'\n') ++end;
  *next = *end && end[1] ? end + 1 : nullptr;
  *end = 0;
  return static_cast<size_t>(end - cell);
}

// A RowText this long or shorter is split in a copy on the stack; only a longer
// one costs a heap block, so a typical row is added without a heap call.
constexpr size_t RowCopyUnits = 1024;

// Writes the cells of a RowText into a row, starting with column 0 when inserting
// (the row is then created) or setting every cell of an existing row.
int WriteRow(GadgetRecord* gadget, int row, const wchar_t* rowText, bool insert) {
  const wchar_t* text = OrEmpty(rowText);
  const size_t units = wcslen(text) + 1;
  wchar_t local[RowCopyUnits];
  wchar_t* copy = units <= RowCopyUnits ? local : static_cast<wchar_t*>(RuntimeAllocate(units * sizeof(wchar_t)));
  wchar_t* cell = copy;
  wchar_t* next = nullptr;
  size_t length = 0;
  if (copy) {
    memcpy(copy, text, units * sizeof(wchar_t));
    length = SplitCell(cell, &next);
  } else {
    cell = const_cast<wchar_t*>(L"");
  }

  LVITEMW item = {};
  item.mask = LVIF_TEXT | LVIF_PARAM;
  item.iItem = row;
  item.pszText = cell;
  RaiseLongest(gadget, length);
  if (insert)
    row = static_cast<int>(Send(gadget, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
  else
    Send(gadget, LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
  for (int column = 1; next && row >= 0; ++column) {
    cell = next;
    RaiseLongest(gadget, SplitCell(cell, &next));
    LVITEMW sub = {};
    sub.iSubItem = column;
    sub.pszText = cell;
    Send(gadget, LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&sub));
  }
  if (copy != local) RuntimeFree(copy);
  return row;
}

int FirstSelected(const GadgetRecord* gadget) {
  return static_cast<int>(Send(gadget, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

void Repaint(const GadgetRecord* gadget) {
  RedrawWindow(Control(gadget), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME);
}

// ---- Slots

intptr_t AddColumn(GadgetRecord* gadget, int32_t position, const wchar_t* title, int32_t width) {
  LVCOLUMNW column = {};
  column.mask = LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
  column.cx = width;
  column.pszText = const_cast<wchar_t*>(OrEmpty(title));
  column.iSubItem = position;
  int k = static_cast<int>(Send(gadget, LVM_INSERTCOLUMNW, position, reinterpret_cast<LPARAM>(&column)));
  if (k == -1) return -1;
  for (int row = HasRowExtras(gadget) ? RowCount(gadget) - 1 : -1; row >= 0; --row)
    if (RowExtra* extra = RowExtraOf(gadget, row)) SetRowExtra(gadget, row, extra, WithColumnInserted(extra, k));
  return k;
}

intptr_t RemoveColumn(GadgetRecord* gadget, int32_t column) {
  if (!Send(gadget, LVM_DELETECOLUMN, column, 0)) return 0;
  for (int row = HasRowExtras(gadget) ? RowCount(gadget) - 1 : -1; row >= 0; --row)
    if (RowExtra* extra = RowExtraOf(gadget, row)) SetRowExtra(gadget, row, extra, WithColumnRemoved(extra, column));
  return 1;
}

// Position -1 appends. The row is inserted at an index past every row the list
// can hold, which the control appends, answering the index the row got: that
// spares asking the control for its row count on every append.
constexpr int32_t PastTheLastRow = INT32_MAX;

intptr_t AddRow(GadgetRecord* gadget, int32_t position, const wchar_t* rowText, intptr_t) {
  if (position == -1) position = PastTheLastRow;
  WriteRow(gadget, position, rowText, true);
  return 0;
}

intptr_t CountRows(GadgetRecord* gadget) { return RowCount(gadget); }

intptr_t SetCellText(GadgetRecord* gadget, int32_t row, const wchar_t* text, int32_t column) {
  text = OrEmpty(text);
  if (row == -1) {
    HDITEMW header = {};
    header.mask = HDI_TEXT;
    header.pszText = const_cast<wchar_t*>(text);
    header.cchTextMax = static_cast<int>(wcslen(text));
    auto control = reinterpret_cast<HWND>(Send(gadget, LVM_GETHEADER, 0, 0));
    return SendMessageW(control, HDM_SETITEMW, column, reinterpret_cast<LPARAM>(&header));
  }
  const size_t length = wcslen(text);
  LVITEMW item = {};
  item.mask = LVIF_TEXT;
  item.iItem = row;
  item.iSubItem = column;
  item.pszText = const_cast<wchar_t*>(text);
  item.cchTextMax = static_cast<int>(length);
  RaiseLongest(gadget, length);
  return Send(gadget, LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item));
}

void GetItemText(GadgetRecord* gadget, int32_t row, int32_t column, int32_t result) {
  int32_t size = row == -1 ? 4096 : static_cast<int32_t>(gadget->kindField[LongestText]) + 1;
  wchar_t* buffer = ScratchReserve(size, result);
  buffer[0] = 0;
  int32_t length;
  if (row == -1) {
    LVCOLUMNW title = {};
    title.mask = LVCF_TEXT;
    title.pszText = buffer;
    title.cchTextMax = size;
    Send(gadget, LVM_GETCOLUMNW, column, reinterpret_cast<LPARAM>(&title));
    length = static_cast<int32_t>(wcslen(buffer));
  } else {
    LVITEMW item = {};
    item.iSubItem = column;
    item.pszText = buffer;
    item.cchTextMax = size;
    length = static_cast<int32_t>(Send(gadget, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item)));
  }
  ScratchRelease(size - length);
}

void GetText(GadgetRecord* gadget, int32_t result) {
  int row = FirstSelected(gadget);
  if (row == -1)
    ScratchEmptyResult(result);
  else
    GetItemText(gadget, row, 0, result);
}

void SetText(GadgetRecord* gadget, const wchar_t* rowText) {
  int row = FirstSelected(gadget);
  if (row != -1) WriteRow(gadget, row, rowText, false);
}

intptr_t GetState(GadgetRecord* gadget) { return FirstSelected(gadget); }

void SetSelection(GadgetRecord* gadget, int row, bool selected) {
  LVITEMW item = {};
  item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  item.state = selected ? LVIS_SELECTED | LVIS_FOCUSED : 0;
  Send(gadget, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

void SetState(GadgetRecord* gadget, intptr_t row) {
  for (int selected = FirstSelected(gadget); selected != -1; selected = FirstSelected(gadget))
    SetSelection(gadget, selected, false);
  if (row == -1) return;
  SetSelection(gadget, static_cast<int>(row), true);
  Send(gadget, LVM_ENSUREVISIBLE, static_cast<WPARAM>(row), TRUE);
}

intptr_t RemoveItem(GadgetRecord* gadget, int32_t row) {
  FreeRowExtra(gadget, row);
  return Send(gadget, LVM_DELETEITEM, row, 0);
}

void ClearItems(GadgetRecord* gadget) {
  Send(gadget, LVM_DELETEALLITEMS, 0, 0);
  FreeRowExtras(gadget);
  gadget->kindField[LongestText] = 0;
}

bool HasCheckBoxes(const GadgetRecord* gadget) {
  return (Send(gadget, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0) & LVS_EX_CHECKBOXES) != 0;
}

intptr_t GetItemState(GadgetRecord* gadget, int32_t row) {
  auto state = static_cast<UINT>(Send(gadget, LVM_GETITEMSTATE, row, LVIS_SELECTED | LVIS_STATEIMAGEMASK));
  intptr_t result = (state & LVIS_SELECTED) ? 1 : 0;
  if (HasCheckBoxes(gadget) && ((state & LVIS_STATEIMAGEMASK) >> 12) == 2) result |= 2;
  return result;
}

void SetItemState(GadgetRecord* gadget, int32_t row, intptr_t state) {
  SetSelection(gadget, row, (state & 1) != 0);
  LVITEMW item = {};
  item.stateMask = LVIS_STATEIMAGEMASK;
  item.state = INDEXTOSTATEIMAGEMASK((state & 2) ? 2 : 1);
  Send(gadget, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
}

constexpr int32_t AttributeDisplayMode = 2;

intptr_t GetAttribute(GadgetRecord* gadget, int32_t attribute) {
  if (attribute != AttributeDisplayMode) return 0;
  static const struct {
    LONG_PTR view;
    intptr_t mode;
  } Modes[] = {{LVS_ICON, 0}, {LVS_SMALLICON, 1}, {LVS_LIST, 2}, {LVS_REPORT, 3}};
  LONG_PTR view = GetWindowLongPtrW(Control(gadget), GWL_STYLE) & LVS_TYPEMASK;
  for (const auto& entry : Modes)
    if (entry.view == view) return entry.mode;
  return 0;
}

void SetAttribute(GadgetRecord* gadget, int32_t attribute, intptr_t mode) {
  if (attribute != AttributeDisplayMode) return;
  LONG_PTR view = mode == 1 ? LVS_SMALLICON : mode == 2 ? LVS_LIST : mode == 3 ? LVS_REPORT : LVS_ICON;
  LONG_PTR style = GetWindowLongPtrW(Control(gadget), GWL_STYLE);
  SetWindowLongPtrW(Control(gadget), GWL_STYLE, (style & ~static_cast<LONG_PTR>(LVS_TYPEMASK)) | view);
  RedrawWindow(Control(gadget), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
}

constexpr int32_t AttributeColumnWidth = 1;

intptr_t GetItemAttribute(GadgetRecord* gadget, int32_t, int32_t attribute, int32_t column) {
  return attribute == AttributeColumnWidth ? Send(gadget, LVM_GETCOLUMNWIDTH, column, 0) : 0;
}

void SetItemAttribute(GadgetRecord* gadget, int32_t, int32_t attribute, intptr_t width, int32_t column) {
  if (attribute == AttributeColumnWidth) Send(gadget, LVM_SETCOLUMNWIDTH, column, MAKELPARAM(width & 0xFFFF, 0));
}

void SetColour(GadgetRecord* gadget, int32_t type, int32_t colour) {
  if (type == ColourText) {
    Send(gadget, LVM_SETTEXTCOLOR, 0, colour == -1 ? ListDefaultTextColour : static_cast<COLORREF>(colour));
  } else if (type == ColourBack) {
    COLORREF back = colour == -1 ? ListDefaultBackColour : static_cast<COLORREF>(colour);
    Send(gadget, LVM_SETBKCOLOR, 0, back);
    Send(gadget, LVM_SETTEXTBKCOLOR, 0, back);
  } else if (type == ColourGrid) {
    gadget->kindField[GridColour] = colour;
  }
  Repaint(gadget);
}

int32_t GetColour(GadgetRecord* gadget, int32_t type) {
  if (type == ColourText) return static_cast<int32_t>(Send(gadget, LVM_GETTEXTCOLOR, 0, 0));
  if (type == ColourBack) return static_cast<int32_t>(Send(gadget, LVM_GETBKCOLOR, 0, 0));
  if (type == ColourGrid) return static_cast<int32_t>(gadget->kindField[GridColour]);
  return -1;
}

// Row or column -1 means all of them; any other value outside the list is ignored.
void SetItemColour(GadgetRecord* gadget, int32_t row, int32_t type, int32_t colour, int32_t column) {
  if (type != ColourText && type != ColourBack) return;
  int rows = RowCount(gadget);
  int columns = ColumnCount(gadget);
  if (row < -1 || row >= rows || column < -1 || column >= columns) return;
  int firstRow = row == -1 ? 0 : row, lastRow = row == -1 ? rows - 1 : row;
  int firstColumn = column == -1 ? 0 : column, lastColumn = column == -1 ? columns - 1 : column;
  // 0 means "not set", so -1 clears; the addition wraps rather than overflows.
  const auto stored = static_cast<int32_t>(static_cast<uint32_t>(colour) + 1);
  for (int r = firstRow; r <= lastRow; ++r) {
    RowExtra* extra = RowExtraForWriting(gadget, r);
    for (int c = firstColumn; extra && c <= lastColumn; ++c) StoreColour(extra, c, type, stored);
  }
  Repaint(gadget);
}

int32_t GetItemColour(GadgetRecord* gadget, int32_t row, int32_t type, int32_t column) {
  RowExtra* extra = RowExtraOf(gadget, row);
  if (!extra || (type != ColourText && type != ColourBack)) return -1;
  return StoredColour(extra, column, type) - 1;
}

void SetItemData(GadgetRecord* gadget, int32_t row, intptr_t value) {
  if (row < 0 || row >= RowCount(gadget)) return;
  if (RowExtra* extra = RowExtraForWriting(gadget, row)) extra->userValue = value;
}

intptr_t GetItemData(GadgetRecord* gadget, int32_t row) {
  RowExtra* extra = RowExtraOf(gadget, row);
  return extra ? extra->userValue : 0;
}

void FreeList(GadgetRecord* gadget) {
  FreeRowExtras(gadget);
  RemovePropW(Control(gadget), L"Vela_LastSelected");
}

// ---- Notifications

using NotificationHandler = LRESULT (*)(GadgetRecord* gadget, NMHDR* header);

LRESULT Post(GadgetRecord* gadget, int32_t kind) {
  GadgetPostEvent(Control(gadget), kind);
  return 0;
}

// A click that leaves no row selected reports the change first, once.
void SelectionCheck(GadgetRecord* gadget) {
  HWND control = Control(gadget);
  if (FirstSelected(gadget) == -1 && reinterpret_cast<intptr_t>(GetPropW(control, L"Vela_LastSelected")) != -1) {
    SetPropW(control, L"Vela_LastSelected", reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1)));
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
    SetPropW(Control(gadget), L"Vela_LastSelected", reinterpret_cast<HANDLE>(static_cast<intptr_t>(change->iItem)));
    return Post(gadget, KindChange);
  }
  UINT oldImage = (change->uOldState & LVIS_STATEIMAGEMASK) >> 12;
  UINT newImage = (change->uNewState & LVIS_STATEIMAGEMASK) >> 12;
  if ((oldImage != 0 && oldImage != newImage) || (change->uOldState & LVIS_SELECTED)) return Post(gadget, KindChange);
  return 0;
}

LRESULT OnCustomDraw(GadgetRecord* gadget, NMHDR* header) {
  auto* draw = reinterpret_cast<NMLVCUSTOMDRAW*>(header);
  switch (draw->nmcd.dwDrawStage) {
    case CDDS_PREPAINT:
      return IsWindowEnabled(Control(gadget)) ? CDRF_NOTIFYITEMDRAW | CDRF_NOTIFYPOSTPAINT : CDRF_DODEFAULT;
    case CDDS_ITEMPREPAINT: {
      auto* extra = reinterpret_cast<RowExtra*>(draw->nmcd.lItemlParam);
      if (!extra) return 0;
      if (GetWindowLongPtrW(Control(gadget), GWL_STYLE) & 1) return CDRF_NOTIFYSUBITEMDRAW;
      if (int32_t text = StoredColour(extra, 0, ColourText)) draw->clrText = static_cast<COLORREF>(text - 1);
      if (int32_t back = StoredColour(extra, 0, ColourBack)) draw->clrTextBk = static_cast<COLORREF>(back - 1);
      return 0;
    }
    case CDDS_ITEMPREPAINT | CDDS_SUBITEM: {
      auto* extra = reinterpret_cast<RowExtra*>(draw->nmcd.lItemlParam);
      if (!extra) return 0;
      const int32_t text = StoredColour(extra, draw->iSubItem, ColourText);
      const int32_t back = StoredColour(extra, draw->iSubItem, ColourBack);
      draw->clrText = text ? static_cast<COLORREF>(text - 1) : static_cast<COLORREF>(Send(gadget, LVM_GETTEXTCOLOR, 0, 0));
      draw->clrTextBk = back ? static_cast<COLORREF>(back - 1) : static_cast<COLORREF>(Send(gadget, LVM_GETBKCOLOR, 0, 0));
      return 0;
    }
    case CDDS_POSTPAINT:
      // Grid lines are the control's own (LVS_EX_GRIDLINES); nothing to draw after it.
      return 0;
    default:
      return NotHandled;
  }
}

// The rows are about to go, at LVM_DELETEALLITEMS or when the control is destroyed.
// Nothing here reads LVN_DELETEITEM (the list frees its RowExtra blocks itself), so
// TRUE declines it: the parent is spared one notification per row.
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

LRESULT Notify(GadgetRecord* gadget, HWND, UINT message, WPARAM, LPARAM lParam) {
  if (message != WM_NOTIFY || !lParam) return NotHandled;
  auto* header = reinterpret_cast<NMHDR*>(lParam);
  for (const auto& entry : NotificationHandlers)
    if (entry.code == header->code) return entry.handler(gadget, header);
  return NotHandled;
}

const GadgetClass* ListClass() {
  static const GadgetClass listClass = [] {
    GadgetClass c = {};
    c.kind = GadgetKindList;
    c.notify = Notify;
    c.free = FreeList;
    c.getState = GetState;
    c.setState = SetState;
    c.getText = GetText;
    c.setText = SetText;
    c.addItem = AddRow;
    c.removeItem = RemoveItem;
    c.clearItems = ClearItems;
    c.countItems = CountRows;
    c.getItemState = GetItemState;
    c.setItemState = SetItemState;
    c.getItemText = GetItemText;
    c.setItemText = SetCellText;
    c.addColumn = AddColumn;
    c.removeColumn = RemoveColumn;
    c.getAttribute = GetAttribute;
    c.setAttribute = SetAttribute;
    c.getItemAttribute = GetItemAttribute;
    c.setItemAttribute = SetItemAttribute;
    c.setColour = SetColour;
    c.getColour = GetColour;
    c.setItemColour = SetItemColour;
    c.getItemColour = GetItemColour;
    c.setItemData = SetItemData;
    c.getItemData = GetItemData;
    return c;
  }();
  return &listClass;
}

}  // namespace

int32_t ThemeProbe() {
  if (CommonControlsVersion) return CommonControlsVersion;
  if (HMODULE commonControls = LoadLibraryW(L"COMCTL32.DLL")) {
    auto getVersion = reinterpret_cast<DLLGETVERSIONPROC>(
        reinterpret_cast<void (*)()>(GetProcAddress(commonControls, "DllGetVersion")));
    if (getVersion) {
      DLLVERSIONINFO version = {};
      version.cbSize = sizeof(version);
      if (getVersion(&version) >= 0)
        CommonControlsVersion = static_cast<int32_t>((version.dwMajorVersion << 16) | (version.dwMinorVersion & 0xFFFF));
    } else {
      CommonControlsVersion = 1;
    }
    FreeLibrary(commonControls);
  }
  // Kept loaded: the themed drawing of other gadgets looks its functions up here.
  if (HMODULE themes = LoadLibraryW(L"uxtheme.dll")) {
    using IsAppThemedProc = BOOL(WINAPI*)();
    auto isAppThemed =
        reinterpret_cast<IsAppThemedProc>(reinterpret_cast<void (*)()>(GetProcAddress(themes, "IsAppThemed")));
    if (isAppThemed) ThemesActive = isAppThemed() && CommonControlsVersion >= 0x60000;
  }
  return CommonControlsVersion;
}

intptr_t ListCreate(ObjectId number, int x, int y, int width, int height, const wchar_t* firstTitle,
                    int32_t firstWidth, int32_t flags) {
  DWORD style = static_cast<DWORD>(flags) | 0x50010041;
  if (flags & ListMultiSelect)
    style &= ~static_cast<DWORD>(LVS_SINGLESEL);
  else
    style |= LVS_SINGLESEL;
  DWORD extended = LVS_EX_DOUBLEBUFFER;
  if (flags & ListFullRowSelect) extended |= LVS_EX_FULLROWSELECT;
  if (flags & ListHeaderDragDrop) extended |= LVS_EX_HEADERDRAGDROP;
  if (flags & ListCheckBoxes) extended |= LVS_EX_CHECKBOXES;
  if (flags & ListGridLines) extended |= LVS_EX_GRIDLINES;

  HWND window = CreateWindowExW(WS_EX_CLIENTEDGE, L"SysListView32", L"", style, x, y, width, height,
                                GadgetListCurrent(), nullptr, ModuleInstance, nullptr);
  if (!window) return 0;
  GadgetRecord* record = GadgetAllocate(number);
  if (!record) {
    DestroyWindow(window);
    return 0;
  }

  static bool first = true;
  if (first) {
    first = false;
    ThemeProbe();
    ListDefaultTextColour = static_cast<COLORREF>(SendMessageW(window, LVM_GETTEXTCOLOR, 0, 0));
    ListDefaultBackColour = static_cast<COLORREF>(SendMessageW(window, LVM_GETBKCOLOR, 0, 0));
  }
  SendMessageW(window, LVM_SETEXTENDEDLISTVIEWSTYLE, extended, extended);

  record->kindField[GridColour] = -1;
  intptr_t result = GadgetRegister(number, record, window, ListClass());
  AddColumn(record, 0, firstTitle, firstWidth);
  return result;
}

intptr_t ListAddColumn(ObjectId number, int32_t position, const wchar_t* title, int32_t width) {
  GadgetRecord* gadget = GadgetLookup(number);
  if (!gadget) return 0;
  return gadget->gadgetClass->addColumn ? gadget->gadgetClass->addColumn(gadget, position, title, width) : 0;
}

intptr_t ListAddRow(ObjectId number, int32_t position, const wchar_t* rowText) {
  GadgetRecord* gadget = GadgetLookup(number);
  if (!gadget) return 0;
  const GadgetClass* kind = gadget->gadgetClass;
  if (kind->addItemWithFlags) return kind->addItemWithFlags(gadget, position, rowText, 0, 0);
  return kind->addItem ? kind->addItem(gadget, position, rowText, 0) : 0;
}

intptr_t ListRowCount(ObjectId number) {
  GadgetRecord* gadget = GadgetLookup(number);
  return gadget && gadget->gadgetClass->countItems ? gadget->gadgetClass->countItems(gadget) : 0;
}

intptr_t ListSetCellText(ObjectId number, int32_t row, const wchar_t* text, int32_t column) {
  GadgetRecord* gadget = GadgetLookup(number);
  return gadget && gadget->gadgetClass->setItemText ? gadget->gadgetClass->setItemText(gadget, row, text, column) : 0;
}
