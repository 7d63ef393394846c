// The frame gadget: a group box around other gadgets.
#include "gadgets/gadgets.h"

namespace {

constexpr DWORD FrameStyle = WS_CHILD | WS_VISIBLE | WS_GROUP | BS_GROUPBOX;

// A group box needs nothing of its own: no notification, nothing to free.
constexpr GadgetClass FrameClass = {nullptr, nullptr};

}  // namespace

intptr_t FrameCreate(ObjectId number, int x, int y, int width, int height, const wchar_t* text) {
  GadgetRecord* record = GadgetAllocate(number);
  if (!record) return 0;
  HWND window = CreateWindowExW(0, WC_BUTTONW, text ? text : L"", FrameStyle, x, y, width, height, GadgetListCurrent(),
                                ProvisionalControlId, ModuleInstance, nullptr);
  return GadgetRegister(number, record, window, &FrameClass);
}
