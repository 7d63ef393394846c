// The frame gadget: a group box, or a bare static edge that never paints inside
// so that whatever lies beneath it shows through.
#include "gadgets/gadgets.h"

namespace {

WNDPROC StaticProcedure;  // the "Static" class procedure, shared by every edge frame

LRESULT CALLBACK PaintSuppressor(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_PAINT) {
    ValidateRect(window, nullptr);
    return 0;
  }
  return CallWindowProcW(StaticProcedure, window, message, wParam, lParam);
}

// A coordinate of IgnoreCoordinate keeps the current one. The parent repaints the
// new rectangle too, since a group box does not paint what lies beneath it.
void FrameResize(GadgetRecord* gadget, int x, int y, int width, int height) {
  HWND parent = GetParent(gadget->window);
  RECT area;
  GetWindowRect(gadget->window, &area);
  MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&area), 2);
  if (x == IgnoreCoordinate) x = area.left;
  if (y == IgnoreCoordinate) y = area.top;
  if (width == IgnoreCoordinate) width = area.right - area.left;
  if (height == IgnoreCoordinate) height = area.bottom - area.top;
  MoveWindow(gadget->window, x, y, width, height, TRUE);
  RECT moved = {x, y, x + width, y + height};
  InvalidateRect(parent, &moved, TRUE);
}

const GadgetClass* FrameClass() {
  static const GadgetClass frameClass = [] {
    GadgetClass filled = {};
    filled.kind = GadgetKindFrame;
    filled.resize = FrameResize;
    return filled;
  }();
  return &frameClass;
}

}  // namespace

intptr_t FrameCreate(ObjectId number, int x, int y, int width, int height, const wchar_t* text, int32_t style) {
  const wchar_t* className = L"Static";
  DWORD windowStyle = 0x54820001;
  DWORD extendedStyle = 0;
  if (style == FrameGroupBox) {
    className = L"Button";
    windowStyle = 0x50020007;
  } else if (style == FrameSunken) {
    windowStyle = 0x54020001;
    extendedStyle = WS_EX_CLIENTEDGE;
  } else if (style == FrameStaticEdge) {
    windowStyle = 0x54020001;
    extendedStyle = WS_EX_STATICEDGE;
  }
  const wchar_t* caption = style == FrameGroupBox && text ? text : L"";

  HWND window = CreateWindowExW(extendedStyle, className, caption, windowStyle, x, y, width, height,
                                GadgetListCurrent(), reinterpret_cast<HMENU>(static_cast<intptr_t>(-1)),
                                ModuleInstance, nullptr);
  if (!window) return 0;
  GadgetRecord* record = GadgetAllocate(number);
  if (!record) {
    DestroyWindow(window);
    return 0;
  }
  if (style != FrameGroupBox)
    StaticProcedure = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(PaintSuppressor)));
  return GadgetRegister(number, record, window, FrameClass());
}
