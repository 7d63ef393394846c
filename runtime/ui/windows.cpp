// Numbered top-level windows and their window procedure. Each window has a class
// of its own and a Tab accelerator table; its procedure turns messages into events
// and hands control messages to the gadget library through the route it attached.
#include <string>
#include <vector>

#include "ui/ui_internal.h"

namespace {

// The gadget-list fields saved while another window is the current gadget list,
// published under "Vela_GadgetStack_<module>" on the window and freed with it.
struct GadgetListSave {
  HWND window;                // the window this record belongs to (not owned)
  GadgetListState saved;      // its gadget-list fields while it is not current (stack owned)
  WNDPROC previousProcedure;  // the procedure the gadget-list subclass forwards to; null when not subclassed
  GadgetListSave* next;       // the next window's record in WindowsLibrary::gadgetListSaves
};

struct WindowsLibrary {
  ObjectTable* table;         // WindowRecords
  HICON classIcon;            // icon resource 1 of the program; null when it has none
  HCURSOR classCursor;        // the standard arrow
  GadgetListState* gadgetList;  // the gadget library's fields, null until it attaches (not owned)
  GadgetRoute route;          // the gadget library's routing of control messages, or null
  GadgetListSave* gadgetListSaves;  // every window's GadgetListSave (owned)
};

WindowsLibrary* Library;

constexpr DWORD RuntimeBits = WindowCentreScreen | WindowCentreParent | WindowToolStyle | WindowNoGadgetList |
                              static_cast<DWORD>(WindowHidden);

std::wstring ClassName(ObjectId number) { return L"WindowClass_" + std::to_wstring(number); }

std::wstring GadgetStackProperty() {
  return L"Vela_GadgetStack_" + std::to_wstring(reinterpret_cast<intptr_t>(ModuleInstance));
}

void FreeWindow(ObjectId number) { WindowDestroy(number); }

void ActivateOwner(HWND window) {
  if (HWND owner = GetWindow(window, GW_OWNER)) SetActiveWindow(owner);
}

// ---- Messages. Each handler answers a value or NotHandled.

struct Message {
  HWND window;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  ObjectId number;        // runtime window the message belongs to, -1 for none
  WindowRecord* record;   // its record, or null
};

using Handler = LRESULT (*)(const Message&);

LRESULT RouteToGadget(HWND control, const Message& m) {
  if (!control || !Library->route) return NotHandled;
  return Library->route(control, m.window, m.message, m.wParam, m.lParam);
}

LRESULT OnMoveOrClose(const Message& m) {
  if (m.record && m.record->window == m.window) EventPush(static_cast<int32_t>(m.message), m.number, m.number, 0);
  return 0;
}

LRESULT OnSize(const Message& m) {
  if (m.number == -1) return 0;
  if (!m.record || m.record->window != m.window) return 1;
  switch (m.wParam) {
    case SIZE_RESTORED:
      if (m.record->minimisedOrMaximised) {
        m.record->minimisedOrMaximised = 0;
        EventPush(EventWindowRestored, 0, m.number, 0);
      }
      EventPush(EventWindowSized, 0, m.number, 0);
      break;
    case SIZE_MINIMIZED:
      m.record->minimisedOrMaximised = 1;
      EventPush(EventWindowMinimized, 0, m.number, 0);
      break;
    case SIZE_MAXIMIZED:
      m.record->minimisedOrMaximised = 1;
      EventPush(EventWindowMaximized, 0, m.number, 0);
      EventPush(EventWindowSized, 0, m.number, 0);
      break;
    default:
      EventPush(EventWindowSized, 0, m.number, 0);
  }
  return 0;
}

// The focus is kept across deactivation by hand, so default processing never runs:
// on the first activation it would move the focus to a place of its own choosing.
LRESULT OnActivate(const Message& m) {
  if (LOWORD(m.wParam)) {
    if (HWND focus = static_cast<HWND>(GetPropW(m.window, L"Vela_Focus"))) SetFocus(focus);
    EventPush(EventWindowActivated, 0, m.number, 0);
  } else {
    SetPropW(m.window, L"Vela_Focus", GetFocus());
  }
  return 1;
}

// Background brushes and erase hooks would answer here; without them the class
// background is painted by default processing.
LRESULT OnEraseBackground(const Message& m) {
  EventPush(EventWindowPaint, 0, m.number, 0);
  return NotHandled;
}

BOOL CALLBACK SendSysColorChange(HWND child, LPARAM) {
  SendMessageW(child, WM_SYSCOLORCHANGE, 0, 0);
  return TRUE;
}

LRESULT OnSysColorChange(const Message& m) {
  if (m.record) EnumChildWindows(m.window, SendSysColorChange, 0);
  return NotHandled;
}

// Without its header a notification names no sender: default processing has it.
LRESULT OnNotify(const Message& m) {
  const auto* header = reinterpret_cast<const NMHDR*>(m.lParam);
  return header ? RouteToGadget(header->hwndFrom, m) : NotHandled;
}

LRESULT OnControlMessage(const Message& m) { return RouteToGadget(reinterpret_cast<HWND>(m.lParam), m); }

LRESULT OnCommand(const Message& m) {
  auto control = reinterpret_cast<HWND>(m.lParam);
  WORD low = LOWORD(m.wParam);
  WORD high = HIWORD(m.wParam);
  if (control) {
    if (RouteToGadget(control, m) != NotHandled) return 0;
    ObjectId identifier = GetWindowLongPtrW(control, GWLP_ID);
    if (identifier == -10000)
      EventSetDirect(EventCommand, low, high);
    else
      EventSetDirect(EventGadget, identifier, high);
  } else if (high != 0 && low == CommandTabNext) {
    TabNavigate(0);
  } else if (high != 0 && low == CommandTabPrevious) {
    TabNavigate(1);
  } else {
    EventSetDirect(EventCommand, low, -1);
  }
  return 0;
}

LRESULT OnTimer(const Message& m) {
  if (m.record) EventSetDirect(EventTimerTick, static_cast<ObjectId>(m.wParam), -1);
  return 0;
}

LRESULT OnTrayIcon(const Message& m) {
  static const struct {
    UINT mouseMessage;
    int32_t kind;
  } Kinds[] = {{WM_LBUTTONDOWN, KindClick},
               {WM_RBUTTONDOWN, KindRightClick},
               {WM_LBUTTONDBLCLK, KindDoubleClick},
               {WM_RBUTTONDBLCLK, KindRightDoubleClick}};
  for (const auto& entry : Kinds)
    if (static_cast<UINT>(m.lParam) == entry.mouseMessage)
      EventPush(EventTrayIcon, static_cast<ObjectId>(m.wParam), m.number, entry.kind);
  PostMessageW(m.window, WM_NULL, 0, 0);
  return 0;
}

void ForgetOwnGadgetList(HWND window);

LRESULT OnNcDestroy(const Message& m) {
  ForgetOwnGadgetList(m.window);
  RemovePropW(m.window, L"Vela_Focus");
  return 1;
}

constexpr UINT GadgetPrivateMessage = 13120;

// Size limits (WM_GETMINMAXINFO) and drops on windows or gadgets would be further
// rows here; no window of this program sets limits or accepts drops.
const struct {
  UINT message;
  Handler handler;
} MessageHandlers[] = {
    {WM_MOVE, OnMoveOrClose},
    {WM_CLOSE, OnMoveOrClose},
    {WM_SIZE, OnSize},
    {WM_ACTIVATE, OnActivate},
    {WM_ERASEBKGND, OnEraseBackground},
    {WM_SYSCOLORCHANGE, OnSysColorChange},
    {WM_NOTIFY, OnNotify},
    {WM_HSCROLL, OnControlMessage},
    {WM_VSCROLL, OnControlMessage},
    {WM_CTLCOLOREDIT, OnControlMessage},
    {WM_CTLCOLORLISTBOX, OnControlMessage},
    {WM_CTLCOLORBTN, OnControlMessage},
    {WM_CTLCOLORSTATIC, OnControlMessage},
    {GadgetPrivateMessage, OnControlMessage},
    {WM_COMMAND, OnCommand},
    {WM_TIMER, OnTimer},
    {TrayIconMessage, OnTrayIcon},
    {WM_NCDESTROY, OnNcDestroy},
};

// ---- Gadget lists

// The records are found in memory; the window property only publishes them. Every
// message of a gadget-list window passes here, and reading a window property can
// cost a round trip to the window server.
GadgetListSave** GadgetListSaveLink(HWND window) {
  GadgetListSave** link = &Library->gadgetListSaves;
  while (*link && (*link)->window != window) link = &(*link)->next;
  return link;
}

GadgetListSave* FindGadgetListSave(HWND window) { return *GadgetListSaveLink(window); }

// The window is going: it stops being the current gadget list, and its record goes.
void ForgetGadgetList(GadgetListSave** link, HWND window) {
  GadgetListSave* save = *link;
  GadgetListState* list = Library->gadgetList;
  if (list && list->current == window) {
    list->current = nullptr;
    list->depth = 0;
  }
  *link = save->next;
  RuntimeFree(save->saved.stack);
  RuntimeFree(save);
  RemovePropW(window, GadgetStackProperty().c_str());
}

LRESULT CALLBACK GadgetListProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  GadgetListSave** link = GadgetListSaveLink(window);
  GadgetListSave* save = *link;
  if (!save) return DefWindowProcW(window, message, wParam, lParam);
  WNDPROC previous = save->previousProcedure;
  if (message == WM_NCDESTROY) ForgetGadgetList(link, window);
  return CallWindowProcW(previous, window, message, wParam, lParam);
}

// A runtime window's gadget list needs no subclass: WindowProcedure itself forgets
// it at WM_NCDESTROY, so the window's messages, every notification of its gadgets
// among them, reach WindowProcedure without passing GadgetListProcedure first.
void ForgetOwnGadgetList(HWND window) {
  GadgetListSave** link = GadgetListSaveLink(window);
  if (*link && !(*link)->previousProcedure) ForgetGadgetList(link, window);
}

void Detach(GadgetListState* list) { *list = GadgetListState{}; }

BOOL CALLBACK CollectTabStop(HWND child, LPARAM stops) {
  if (IsWindowEnabled(child) && IsWindowVisible(child) && (GetWindowLongPtrW(child, GWL_STYLE) & WS_TABSTOP))
    reinterpret_cast<std::vector<HWND>*>(stops)->push_back(child);
  return TRUE;
}

std::vector<HWND> TabStops(HWND scope) {
  std::vector<HWND> stops;
  EnumChildWindows(scope, CollectTabStop, reinterpret_cast<LPARAM>(&stops));
  return stops;
}

}  // namespace

bool WindowsInit() {
  Library = static_cast<WindowsLibrary*>(LibraryStateCreate(sizeof(WindowsLibrary)));
  if (!Library) return false;
  Library->table = ObjectTableCreate(sizeof(WindowRecord), 16, FreeWindow);
  Library->classIcon = LoadIconW(ModuleInstance, MAKEINTRESOURCEW(1));
  Library->classCursor = LoadCursorW(nullptr, IDC_ARROW);
  return Library->table != nullptr;
}

void WindowsEnd() {
  ObjectIterateBegin(Library->table);
  ObjectId number;
  while (ObjectIterateNext(Library->table, &number)) WindowDestroy(number);
}

void WindowsAttachGadgets(GadgetListState* list, GadgetRoute route) {
  Library->gadgetList = list;
  Library->route = route;
}

WindowRecord* WindowRecordOf(ObjectId number) {
  return static_cast<WindowRecord*>(ObjectFind(Library->table, number));
}

// The records are searched in memory rather than by reading "Vela_WindowID", which
// only publishes the number: this runs for every message of every runtime window,
// and reading a window property can cost a round trip to the window server.
ObjectId WindowNumberOf(HWND window) {
  for (HWND w = window; w; w = GetParent(w)) {
    ObjectId number;
    if (ObjectFindByHandle(Library->table, w, &number)) return number;
  }
  return -1;
}

intptr_t WindowCreate(ObjectId number, int x, int y, int width, int height, const wchar_t* title, int32_t flags,
                      HWND parent) {
  auto* record = static_cast<WindowRecord*>(ObjectAllocate(Library->table, number));
  if (!record) return 0;
  ObjectId id = number == DynamicNumber ? ObjectIdentifierOf(record) : number;
  std::wstring className = ClassName(id);

  WNDCLASSW windowClass = {};
  windowClass.style = CS_DBLCLKS;
  windowClass.lpfnWndProc = WindowProcedure;
  windowClass.hInstance = ModuleInstance;
  windowClass.hIcon = Library->classIcon;
  windowClass.hCursor = Library->classCursor;
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<intptr_t>(COLOR_BTNFACE + 1));
  windowClass.lpszClassName = className.c_str();
  RegisterClassW(&windowClass);

  DWORD bits = static_cast<DWORD>(flags);
  DWORD style = bits & ~RuntimeBits;
  DWORD extendedStyle = 0;
  if (bits & WindowToolStyle) {
    extendedStyle |= WS_EX_TOOLWINDOW;
    style = (style & 0xDEFCFFFF) | WS_CAPTION;
  }
  if ((bits & ~static_cast<DWORD>(WindowNoGadgetList) & 0xEFFFFFFC) == 0) style |= WS_CAPTION;

  RECT outer = {0, 0, width, height};
  AdjustWindowRectEx(&outer, style, FALSE, extendedStyle);
  int outerWidth = outer.right - outer.left;
  int outerHeight = outer.bottom - outer.top;

  bool centred = (bits & (WindowCentreScreen | WindowCentreParent)) != 0;
  if ((x == IgnoreCoordinate || y == IgnoreCoordinate) && !centred) x = y = CW_USEDEFAULT;
  if (bits & WindowCentreScreen) {
    int screenWidth = GetSystemMetrics(SM_CXSCREEN);
    int screenHeight = GetSystemMetrics(SM_CYSCREEN);
    if (outerWidth > screenWidth) outerWidth = screenWidth;
    if (outerHeight > screenHeight) outerHeight = screenHeight;
    x = (screenWidth - outerWidth) / 2;
    y = (screenHeight - outerHeight) / 2;
  } else if (bits & WindowCentreParent) {
    RECT area;
    HWND around = parent ? parent : GetActiveWindow();
    if (around && GetWindowRect(around, &area)) {
      x = area.left + ((area.right - area.left) - outerWidth) / 2;
      y = area.top + ((area.bottom - area.top) - outerHeight) / 2;
      if (x < 0) x = 0;
      if (y < 0) y = 0;
    }
  }

  HWND window = CreateWindowExW(extendedStyle, className.c_str(), title ? title : L"", style, x, y, outerWidth,
                                outerHeight, parent, nullptr, ModuleInstance, nullptr);
  if (!window) {
    UnregisterClassW(className.c_str(), ModuleInstance);
    ObjectRelease(Library->table, id);
    return 0;
  }
  record->window = window;
  SetPropW(window, L"Vela_WindowID", reinterpret_cast<HANDLE>(id + 1));

  // The Tab entries and the gadget list come before the window is shown, so that a
  // window the heap cannot complete goes again unseen, its number released.
  record->accelerators = static_cast<ACCEL*>(RuntimeAllocate(2 * sizeof(ACCEL)));
  if (record->accelerators) {
    record->accelerators[0] = ACCEL{FVIRTKEY | FNOINVERT, VK_TAB, CommandTabNext};
    record->accelerators[1] = ACCEL{FVIRTKEY | FNOINVERT | FSHIFT, VK_TAB, CommandTabPrevious};
    record->acceleratorTable = CreateAcceleratorTableW(record->accelerators, 2);
  }
  bool complete = record->accelerators != nullptr;
  if (complete && !(bits & WindowNoGadgetList)) {
    GadgetListOpen(window);
    complete = !Library->gadgetList || FindGadgetListSave(window);
  }
  if (!complete) {
    WindowDestroy(id);
    return 0;
  }

  if (!(bits & WindowHidden))
    ShowWindow(window, (style & WS_MAXIMIZE) ? SW_MAXIMIZE : (style & WS_MINIMIZE) ? SW_SHOWMINIMIZED : SW_SHOWNORMAL);
  record->minimisedOrMaximised = (style & (WS_MAXIMIZE | WS_MINIMIZE)) ? 1 : 0;
  return number == DynamicNumber ? id : reinterpret_cast<intptr_t>(window);
}

BOOL WindowShow(ObjectId number, int32_t hide) {
  WindowRecord* record = WindowRecordOf(number);
  if (!record) return 0;
  HWND window = record->window;
  if (hide) {
    ActivateOwner(window);
    return ShowWindow(window, SW_HIDE);
  }
  return ShowWindow(window, IsZoomed(window) ? SW_MAXIMIZE : IsIconic(window) ? SW_SHOWMINIMIZED : SW_SHOWNORMAL);
}

HWND WindowHandle(ObjectId number) {
  WindowRecord* record = WindowRecordOf(number);
  return record ? record->window : nullptr;
}

int32_t WindowDestroy(ObjectId number) {
  WindowRecord* record = WindowRecordOf(number);
  if (!record) return 0;
  HWND window = record->window;
  ActivateOwner(window);
  // From here on the window is no runtime window: its last messages carry no number.
  RemovePropW(window, L"Vela_WindowID");
  record->window = nullptr;
  // A drop target registered on the window would be revoked here.
  DestroyWindow(window);
  UnregisterClassW(ClassName(number).c_str(), ModuleInstance);
  if (record->accelerators) {
    RuntimeFree(record->accelerators);
    DestroyAcceleratorTable(record->acceleratorTable);
  }
  EventDiscardWindow(number);
  ObjectRelease(Library->table, number);
  return 1;
}

HWND GadgetListOpen(HWND window) {
  GadgetListState* list = Library->gadgetList;
  if (!list) return nullptr;
  HWND previous = list->depth > 0 ? list->stack[0] : list->current;
  if (!window) return previous;

  GadgetListSave* existing = FindGadgetListSave(window);
  GadgetListSave* previousSave = previous ? FindGadgetListSave(previous) : nullptr;
  // A new list's record, and its stack unless the current stack stays, are had
  // before anything changes, so that a refusal leaves the current list as it was.
  GadgetListSave* fresh = nullptr;
  HWND* stack = nullptr;
  if (!existing) {
    const bool needsStack = !list->stack || previousSave;
    fresh = static_cast<GadgetListSave*>(RuntimeAllocate(sizeof(GadgetListSave)));
    if (needsStack) stack = static_cast<HWND*>(RuntimeAllocate(10 * sizeof(HWND)));
    if (!fresh || (needsStack && !stack)) {
      RuntimeFree(fresh);
      RuntimeFree(stack);
      return nullptr;
    }
  }

  if (previousSave) {
    previousSave->saved = *list;
    Detach(list);
  }
  if (existing) {
    RuntimeFree(list->stack);
    *list = existing->saved;
    Detach(&existing->saved);
    return previous;
  }
  if (stack) {
    list->stack = stack;
    list->capacity = 10;
  }
  list->depth = 0;
  list->current = window;
  fresh->window = window;
  fresh->next = Library->gadgetListSaves;
  Library->gadgetListSaves = fresh;
  SetPropW(window, GadgetStackProperty().c_str(), fresh);
  if (reinterpret_cast<WNDPROC>(GetWindowLongPtrW(window, GWLP_WNDPROC)) != WindowProcedure)
    fresh->previousProcedure = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(GadgetListProcedure)));
  return previous;
}

void TabNavigate(int32_t backward) {
  HWND active = GetActiveWindow();
  if (!active) return;
  HWND scope = active;
  HWND focus = GetFocus();
  HWND current = (focus && IsChild(active, focus)) ? focus : nullptr;
  // Tab moves on from a composite control as a whole, not from its inner child.
  for (HWND w = current; w && w != active; w = GetParent(w)) {
    wchar_t className[51] = {};
    GetClassNameW(w, className, 51);
    LONG_PTR style = GetWindowLongPtrW(w, GWL_STYLE);
    if (wcscmp(className, L"MDI_ChildClass") == 0) {
      scope = w;
      if (w == focus) current = nullptr;
    } else if ((wcscmp(className, L"ComboBoxEx32") == 0 && (style & 0x1)) || wcscmp(className, L"SysIPAddress32") == 0) {
      current = w;
    }
  }

  std::vector<HWND> stops = TabStops(scope);
  if (stops.empty()) return;
  size_t count = stops.size();
  size_t index = count;
  for (size_t i = 0; i < count; ++i)
    if (stops[i] == current) index = i;

  if (!backward) {
    if (!current)
      SetFocus(stops[0]);
    else if (index < count)
      SetFocus(stops[(index + 1) % count]);
  } else {
    SetFocus(index == 0 || index == count ? stops[count - 1] : stops[index - 1]);
  }
}

// Window hooks and the size-tracking filter would run before the table below;
// this program's window has no sizing border and installs no hook.
LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  ObjectId number = WindowNumberOf(window);
  Message m = {window, message, wParam, lParam, number, number == -1 ? nullptr : WindowRecordOf(number)};
  EventAssembleWindow(number);

  LRESULT answer = NotHandled;
  for (const auto& entry : MessageHandlers) {
    if (entry.message == message) {
      answer = entry.handler(m);
      break;
    }
  }
  SetLastError(0);
  return answer != NotHandled ? answer : DefWindowProcW(window, message, wParam, lParam);
}
