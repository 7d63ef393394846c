// What every gadget kind shares: the gadget table, registration of a new control,
// GadgetProcedure's clean-up when the control dies, and the routing of the parent
// window's control messages to the kind's notify slot.
#include "gadgets/gadgets.h"

#include <commctrl.h>

GadgetContext* GadgetState;

namespace {

ObjectTable* GadgetTable;
HFONT DefaultGadgetFont;

// Destroying the control is enough: its WM_NCDESTROY empties the record.
void FreeGadget(ObjectId number) {
  if (GadgetRecord* gadget = GadgetLookup(number)) DestroyWindow(gadget->window);
}

bool CreateContext(void* block) {
  auto* context = static_cast<GadgetContext*>(block);
  context->list.stack = static_cast<HWND*>(RuntimeAllocate(10 * sizeof(HWND)));
  context->list.capacity = 10;
  context->currentFont = DefaultGadgetFont;
  return context->list.stack != nullptr;
}

// The control must be the very window of the gadget under its identifier, so a
// foreign child whose identifier happens to match a gadget's number is never handed
// to the gadget. That also says it carries "Vela_ID" equal to its identifier, which
// is not read here: every list notification passes this way, and reading a window
// property can cost a round trip to the window server.
LRESULT RouteControlMessage(HWND control, HWND parent, UINT message, WPARAM wParam, LPARAM lParam) {
  if (!control) return NotHandled;
  GadgetRecord* gadget = GadgetOfControl(control);
  if (!gadget || !gadget->gadgetClass->notify) return NotHandled;
  return gadget->gadgetClass->notify(gadget, parent, message, wParam, lParam);
}

HFONT ResolveFont(HFONT font) { return font == GadgetDefaultFont ? DefaultGadgetFont : font; }

}  // namespace

bool GadgetInit() {
  DefaultGadgetFont = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  GadgetTable = ObjectTableCreate(sizeof(GadgetRecord), 50, FreeGadget);
  GadgetState = static_cast<GadgetContext*>(LibraryStateCreate(sizeof(GadgetContext), CreateContext));
  if (!GadgetTable || !GadgetState) return false;
  WindowsAttachGadgets(&GadgetState->list, RouteControlMessage);
  INITCOMMONCONTROLSEX classes = {sizeof(INITCOMMONCONTROLSEX), 0xB48};
  InitCommonControlsEx(&classes);
  return true;
}

void GadgetEnd() {}

HWND GadgetListCurrent() { return GadgetState->list.current; }

GadgetRecord* GadgetAllocate(ObjectId number) { return static_cast<GadgetRecord*>(ObjectAllocate(GadgetTable, number)); }

GadgetRecord* GadgetLookup(ObjectId number) { return static_cast<GadgetRecord*>(ObjectFind(GadgetTable, number)); }

intptr_t GadgetRegister(ObjectId number, GadgetRecord* record, HWND window, const GadgetClass* gadgetClass) {
  ObjectId identifier = number == DynamicNumber ? ObjectIdentifierOf(record) : number;
  record->window = window;
  record->gadgetClass = gadgetClass;
  // The identifier is in place before GadgetProcedure sees the first message, so
  // that it never looks up a gadget under the control's provisional identifier.
  SetWindowLongPtrW(window, GWLP_ID, identifier);
  SetPropW(window, L"Vela_ID", reinterpret_cast<HANDLE>(identifier));
  record->previousProcedure =
      reinterpret_cast<WNDPROC>(SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(GadgetProcedure)));
  SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(GadgetState->currentFont), TRUE);
  return number == DynamicNumber ? identifier : reinterpret_cast<intptr_t>(window);
}

LRESULT CALLBACK GadgetProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  GadgetRecord* gadget = GadgetOfControl(window);
  if (!gadget) return DefWindowProcW(window, message, wParam, lParam);

  LRESULT result = CallWindowProcW(gadget->previousProcedure, window, message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    const ObjectId identifier = GetWindowLongPtrW(window, GWLP_ID);
    if (gadget->gadgetClass->free) gadget->gadgetClass->free(gadget);
    RemovePropW(window, L"Vela_ID");
    // A drop target registered on the control would be revoked here.
    SetWindowLongPtrW(window, GWLP_ID, -1);
    EventDiscard(EventGadget, identifier, -1, -1);
    ObjectRelease(GadgetTable, identifier);
  }
  return result;
}

GadgetRecord* GadgetOfControl(HWND control) {
  const ObjectId identifier = GetWindowLongPtrW(control, GWLP_ID);
  GadgetRecord* gadget = identifier == -1 ? nullptr : GadgetLookup(identifier);
  return gadget && gadget->window == control ? gadget : nullptr;
}

HWND GadgetTopWindow(HWND window) {
  HWND top = window;
  while (!GetPropW(top, L"Vela_WindowID")) {
    HWND parent = GetParent(top);
    if (!parent) break;
    top = parent;
  }
  return top;
}

LRESULT GadgetSetFont(ObjectId number, HFONT font) {
  if (number == -1) {
    GadgetState->currentFont = ResolveFont(font);
    return 0;
  }
  GadgetRecord* gadget = GadgetLookup(number);
  if (!gadget) return 0;
  return SendMessageW(gadget->window, WM_SETFONT, reinterpret_cast<WPARAM>(ResolveFont(font)), TRUE);
}
