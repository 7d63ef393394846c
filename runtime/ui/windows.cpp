// Numbered top-level windows and their window procedure. Each window has a class
// of its own and a Tab accelerator table; its procedure turns messages into events
// and hands notifications to the gadget library through the route it attached.
#include <string>
#include <vector>

#include "ui/ui_internal.h"

namespace {

struct WindowsLibrary {
  ObjectTable* table;         // WindowRecords
  HICON classIcon;            // icon resource 1 of the program; null when it has none
  HCURSOR classCursor;        // the standard arrow
  GadgetRoute route;          // the gadget library's routing of notifications, or null
  HWND gadgetList;            // the window in which new gadgets are created, or null (not owned)
};

WindowsLibrary* Library;

constexpr DWORD RuntimeBits = WindowCentreScreen | static_cast<DWORD>(WindowHidden);

std::wstring ClassName(ObjectId number) { return L"WindowClass_" + std::to_wstring(number); }

// Published on every runtime window for other programs; the runtime itself keeps
// the current gadget list in memory.
std::wstring GadgetStackProperty() {
  return L"Vela_GadgetStack_" + std::to_wstring(reinterpret_cast<intptr_t>(ModuleInstance));
}

void FreeWindow(ObjectId number) { WindowDestroy(number); }

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
  auto* header = reinterpret_cast<NMHDR*>(m.lParam);
  return header && header->hwndFrom && Library->route ? Library->route(header) : NotHandled;
}

// No gadget class handles a command: a control's becomes a gadget event, its
// notification code the kind.
LRESULT OnCommand(const Message& m) {
  auto control = reinterpret_cast<HWND>(m.lParam);
  WORD low = LOWORD(m.wParam);
  WORD high = HIWORD(m.wParam);
  if (control) {
    EventSetDirect(EventGadget, GetWindowLongPtrW(control, GWLP_ID), high);
  } else if (high != 0 && low == CommandTabNext) {
    TabNavigate(0);
  } else if (high != 0 && low == CommandTabPrevious) {
    TabNavigate(1);
  } else {
    EventSetDirect(EventCommand, low, -1);
  }
  return 0;
}

// The window stops being the current gadget list.
LRESULT OnNcDestroy(const Message& m) {
  if (Library->gadgetList == m.window) Library->gadgetList = nullptr;
  RemovePropW(m.window, GadgetStackProperty().c_str());
  RemovePropW(m.window, L"Vela_Focus");
  return 1;
}

// Size limits (WM_GETMINMAXINFO), timers, notification-area icons and drops on
// windows or gadgets would be further rows here; no window of this program sets
// limits, timers or icons, or accepts drops.
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
    {WM_COMMAND, OnCommand},
    {WM_NCDESTROY, OnNcDestroy},
};

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

void WindowsAttachGadgets(GadgetRoute route) { Library->route = route; }

HWND GadgetListCurrent() { return Library->gadgetList; }

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

intptr_t WindowCreate(ObjectId number, int x, int y, int width, int height, const wchar_t* title, int32_t flags) {
  auto* record = static_cast<WindowRecord*>(ObjectAllocate(Library->table, number));
  if (!record) return 0;
  const std::wstring className = ClassName(number == DynamicNumber ? ObjectIdentifierOf(record) : number);

  WNDCLASSW windowClass = {};
  windowClass.style = CS_DBLCLKS;
  windowClass.lpfnWndProc = WindowProcedure;
  windowClass.hInstance = ModuleInstance;
  windowClass.hIcon = Library->classIcon;
  windowClass.hCursor = Library->classCursor;
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<intptr_t>(COLOR_BTNFACE + 1));
  windowClass.lpszClassName = className.c_str();
  RegisterClassW(&windowClass);

  const auto bits = static_cast<DWORD>(flags);
  const DWORD style = bits & ~RuntimeBits;
  RECT outer = {0, 0, width, height};
  AdjustWindowRectEx(&outer, style, FALSE, 0);
  int outerWidth = outer.right - outer.left;
  int outerHeight = outer.bottom - outer.top;
  if (bits & WindowCentreScreen) {
    const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
    const int screenHeight = GetSystemMetrics(SM_CYSCREEN);
    if (outerWidth > screenWidth) outerWidth = screenWidth;
    if (outerHeight > screenHeight) outerHeight = screenHeight;
    x = (screenWidth - outerWidth) / 2;
    y = (screenHeight - outerHeight) / 2;
  }

  record->window = CreateWindowExW(0, className.c_str(), title ? title : L"", style, x, y, outerWidth, outerHeight,
                                   nullptr, nullptr, ModuleInstance, nullptr);
  const intptr_t answer = ObjectCreated(Library->table, number, record);
  if (!answer) {
    UnregisterClassW(className.c_str(), ModuleInstance);
    return 0;
  }
  const ObjectId id = number == DynamicNumber ? answer : number;
  HWND window = record->window;
  SetPropW(window, L"Vela_WindowID", reinterpret_cast<HANDLE>(id + 1));

  // The Tab entries come before the window is shown, so that a window the heap
  // cannot complete goes again unseen, its number released.
  record->accelerators = static_cast<ACCEL*>(RuntimeAllocate(2 * sizeof(ACCEL)));
  if (!record->accelerators) {
    WindowDestroy(id);
    return 0;
  }
  record->accelerators[0] = ACCEL{FVIRTKEY | FNOINVERT, VK_TAB, CommandTabNext};
  record->accelerators[1] = ACCEL{FVIRTKEY | FNOINVERT | FSHIFT, VK_TAB, CommandTabPrevious};
  record->acceleratorTable = CreateAcceleratorTableW(record->accelerators, 2);
  // Every new window becomes the current gadget list.
  Library->gadgetList = window;
  SetPropW(window, GadgetStackProperty().c_str(), record);

  if (!(bits & WindowHidden))
    ShowWindow(window, (style & WS_MAXIMIZE) ? SW_MAXIMIZE : (style & WS_MINIMIZE) ? SW_SHOWMINIMIZED : SW_SHOWNORMAL);
  record->minimisedOrMaximised = (style & (WS_MAXIMIZE | WS_MINIMIZE)) ? 1 : 0;
  return answer;
}

BOOL WindowShow(ObjectId number) {
  WindowRecord* record = WindowRecordOf(number);
  if (!record) return 0;
  return ShowWindow(record->window, SW_SHOWNORMAL);
}

HWND WindowHandle(ObjectId number) {
  WindowRecord* record = WindowRecordOf(number);
  return record ? record->window : nullptr;
}

int32_t WindowDestroy(ObjectId number) {
  WindowRecord* record = WindowRecordOf(number);
  if (!record) return 0;
  HWND window = record->window;
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

void TabNavigate(int32_t backward) {
  HWND active = GetActiveWindow();
  if (!active) return;
  HWND focus = GetFocus();
  HWND current = (focus && IsChild(active, focus)) ? focus : nullptr;

  std::vector<HWND> stops = TabStops(active);
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
