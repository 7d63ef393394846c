// The image button: a "BUTTON" control whose procedure lets the platform draw the
// button, then draws the image over it, clipped inside the button's edge.
#include "gadgets/gadgets.h"

#include <shlwapi.h>

int32_t CommonControlsVersion;
int32_t ThemesActive;

namespace {

using AlphaBlendFunction = BOOL(WINAPI*)(HDC, int, int, int, int, HDC, int, int, int, int, BLENDFUNCTION);

struct AlphaLibrary {
  HMODULE library;           // msimg32, or null when it could not be loaded (owned: AlphaEnd frees it)
  AlphaBlendFunction blend;  // its AlphaBlend, or null
};

AlphaLibrary Alpha;
WNDPROC ButtonProcedure;  // the platform's button procedure, the same for every image button

constexpr int32_t CommonControlsSix = 6 << 16;

// A push button that takes the focus with Tab.
constexpr DWORD ButtonStyle = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON;

// The platform's own version of the common controls, and whether visual styles draw
// the controls, found at the first creation.
void ThemeProbe() {
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
  // Kept loaded: the themed drawing of the buttons looks its functions up here.
  if (HMODULE themes = LoadLibraryW(L"uxtheme.dll")) {
    using IsAppThemedProc = BOOL(WINAPI*)();
    auto isAppThemed =
        reinterpret_cast<IsAppThemedProc>(reinterpret_cast<void (*)()>(GetProcAddress(themes, "IsAppThemed")));
    if (isAppThemed) ThemesActive = isAppThemed() && CommonControlsVersion >= CommonControlsSix;
  }
}

bool IsPushed(HWND button) { return SendMessageW(button, BM_GETSTATE, 0, 0) & BST_PUSHED; }

HBITMAP Prepared(const GadgetRecord* gadget) { return static_cast<HBITMAP>(gadget->prepared); }

void BlendPrepared(HDC dc, HBITMAP prepared, int x, int y, int width, int height) {
  HDC source = CreateCompatibleDC(dc);
  HGDIOBJ old = SelectObject(source, prepared);
  Alpha.blend(dc, x, y, width, height, source, 0, 0, width, height, BLENDFUNCTION{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA});
  SelectObject(source, old);
  DeleteDC(source);
}

SIZE ImageSize(HANDLE image) {
  BITMAP bitmap{};
  if (GetObjectType(image) == OBJ_BITMAP) {
    GetObjectW(image, sizeof bitmap, &bitmap);
    return {bitmap.bmWidth, bitmap.bmHeight};
  }
  ICONINFO info{};
  if (!GetIconInfo(static_cast<HICON>(image), &info)) return {0, 0};
  GetObjectW(info.hbmMask, sizeof bitmap, &bitmap);
  // Without a colour bitmap the mask holds the AND and the XOR halves.
  SIZE size{bitmap.bmWidth, info.hbmColor ? bitmap.bmHeight : bitmap.bmHeight / 2};
  if (info.hbmColor) DeleteObject(info.hbmColor);
  DeleteObject(info.hbmMask);
  return size;
}

void DrawImage(const GadgetRecord* gadget, HDC dc) {
  HWND button = gadget->window;
  RECT client;
  GetClientRect(button, &client);
  const int margin = ThemesActive ? 4 : 2;
  const HANDLE image = gadget->image;
  if (image) {
    if (HRGN clip = CreateRectRgn(margin, margin, client.right - margin, client.bottom - margin)) {
      SelectClipRgn(dc, clip);
      const int push = IsPushed(button) ? 1 : 0;
      if (HBITMAP prepared = Prepared(gadget)) {
        BITMAP bitmap{};
        GetObjectW(prepared, sizeof bitmap, &bitmap);
        BlendPrepared(dc, prepared, (client.right - bitmap.bmWidth) / 2 + push,
                      (client.bottom - bitmap.bmHeight) / 2 + push, bitmap.bmWidth, bitmap.bmHeight);
      } else {
        const bool isBitmap = GetObjectType(image) == OBJ_BITMAP;
        const SIZE size = ImageSize(image);
        UINT flags = isBitmap ? DST_BITMAP : DST_ICON;
        if (!IsWindowEnabled(button)) flags |= DSS_DISABLED;
        DrawStateW(dc, nullptr, nullptr, reinterpret_cast<LPARAM>(image), 0, (client.right - size.cx) / 2 + push,
                   (client.bottom - size.cy) / 2 + push, 0, 0, flags);
      }
      SelectClipRgn(dc, nullptr);
      DeleteObject(clip);
    }
  }
  if (GetFocus() != button) return;
  if (SendMessageW(GadgetTopWindow(button), WM_QUERYUISTATE, 0, 0) & UISF_HIDEFOCUS) return;
  const int inset = ThemesActive ? margin - 1 : margin + 1;
  RECT focus{inset, inset, client.right - inset, client.bottom - inset};
  DrawFocusRect(dc, &focus);
}

// The platform answers WM_PRINT by sending WM_PRINTCLIENT back through this
// procedure, which draws the image already; drawing it a second time for the
// WM_PRINT would blend an alpha image twice and darken it. Single thread: one flag.
bool PrintClientDrawn;

LRESULT PrintWithImage(GadgetRecord* gadget, UINT message, WPARAM wParam, LPARAM lParam) {
  HDC dc = reinterpret_cast<HDC>(wParam);
  if (message == WM_PRINTCLIENT) {
    const LRESULT result = CallWindowProcW(ButtonProcedure, gadget->window, message, wParam, lParam);
    DrawImage(gadget, dc);
    PrintClientDrawn = true;
    return result;
  }
  const bool outer = PrintClientDrawn;
  PrintClientDrawn = false;
  const LRESULT result = CallWindowProcW(ButtonProcedure, gadget->window, message, wParam, lParam);
  if (!PrintClientDrawn) DrawImage(gadget, dc);
  PrintClientDrawn = outer;
  return result;
}

// Themed buttons animate and repaint in pieces; composing the button and the image
// in memory and copying once keeps the image from flickering.
LRESULT PaintComposed(GadgetRecord* gadget, UINT message, WPARAM wParam, LPARAM lParam) {
  HWND button = gadget->window;
  if (message == WM_PRINT || message == WM_PRINTCLIENT) return PrintWithImage(gadget, message, wParam, lParam);
  ValidateRect(button, nullptr);
  const LRESULT result = CallWindowProcW(ButtonProcedure, button, message, wParam, lParam);
  HDC dc = GetDC(button);
  if (!dc) return result;
  HDC memory = CreateCompatibleDC(dc);
  if (!memory) {
    ReleaseDC(button, dc);
    return result;
  }
  RECT window;
  GetWindowRect(button, &window);
  const int width = window.right - window.left;
  const int height = window.bottom - window.top;
  HBITMAP canvas = CreateCompatibleBitmap(dc, width, height);
  HGDIOBJ old = SelectObject(memory, canvas);
  SendMessageW(button, WM_PRINT, reinterpret_cast<WPARAM>(memory), PRF_CLIENT | PRF_CHILDREN | PRF_ERASEBKGND);
  BitBlt(dc, 0, 0, width, height, memory, 0, 0, SRCCOPY);
  SelectObject(memory, old);
  DeleteObject(canvas);
  DeleteDC(memory);
  ReleaseDC(button, dc);
  return result;
}

LRESULT PaintOver(GadgetRecord* gadget, UINT message, WPARAM wParam, LPARAM lParam) {
  HWND button = gadget->window;
  // A blended image needs a fresh background below it, or its edges darken with
  // every repaint.
  if (Prepared(gadget)) InvalidateRect(button, nullptr, TRUE);
  if (message == WM_PRINT || message == WM_PRINTCLIENT) return PrintWithImage(gadget, message, wParam, lParam);
  const LRESULT result = CallWindowProcW(ButtonProcedure, button, message, wParam, lParam);
  if (HDC dc = GetDC(button)) {
    DrawImage(gadget, dc);
    ReleaseDC(button, dc);
  }
  return result;
}

LRESULT Paint(GadgetRecord* gadget, UINT message, WPARAM wParam, LPARAM lParam) {
  return ThemesActive ? PaintComposed(gadget, message, wParam, lParam) : PaintOver(gadget, message, wParam, lParam);
}

// The prepared copy is made again for the new state: greyed when disabled.
LRESULT Enable(GadgetRecord* gadget, WPARAM enabled) {
  if (HBITMAP prepared = Prepared(gadget)) {
    DeleteObject(prepared);
    gadget->prepared = AlphaReady(gadget->image, !enabled);
  }
  InvalidateRect(gadget->window, nullptr, FALSE);
  return 0;
}

LRESULT CALLBACK ImageButtonProcedure(HWND button, UINT message, WPARAM wParam, LPARAM lParam) {
  GadgetRecord* gadget = GadgetOfControl(button);
  if (!gadget) return CallWindowProcW(ButtonProcedure, button, message, wParam, lParam);
  switch (message) {
    case WM_SETFOCUS:
    case WM_PAINT:
    case BM_SETCHECK:
    case BM_SETSTATE:
    case WM_UPDATEUISTATE:
    case WM_PRINT:
    case WM_PRINTCLIENT:
      return Paint(gadget, message, wParam, lParam);
    case WM_ENABLE:
      return Enable(gadget, wParam);
    default:
      return CallWindowProcW(ButtonProcedure, button, message, wParam, lParam);
  }
}

void FreeButton(GadgetRecord* gadget) {
  if (HBITMAP prepared = Prepared(gadget)) DeleteObject(prepared);
  gadget->prepared = nullptr;
}

constexpr GadgetClass ImageButtonClass = {nullptr, FreeButton};

uint8_t Grey(uint8_t b, uint8_t g, uint8_t r) {
  int grey = (b + 6 * g + 3 * r) / 10;
  // Lift the dark tones and soften the light ones, as a disabled picture looks.
  if (grey < 64) grey = 64 + 7 * (grey - 64) / 10;
  else if (grey > 192) grey = 192 + 7 * (grey - 192) / 10;
  return static_cast<uint8_t>(grey);
}

}  // namespace

bool AlphaInit() {
  Alpha.library = LoadLibraryW(L"msimg32.dll");
  if (Alpha.library)
    Alpha.blend = reinterpret_cast<AlphaBlendFunction>(
        reinterpret_cast<void (*)()>(GetProcAddress(Alpha.library, "AlphaBlend")));
  return true;  // without AlphaBlend, images are drawn without blending
}

void AlphaEnd() {
  if (Alpha.library) FreeLibrary(Alpha.library);
  Alpha = {};
}

bool HasAlpha(HANDLE image) {
  if (!Alpha.blend || GetObjectType(image) != OBJ_BITMAP) return false;
  DIBSECTION section{};
  if (GetObjectW(image, sizeof section, &section) == sizeof section) return section.dsBm.bmBitsPixel == 32;
  if (section.dsBm.bmBitsPixel != 32) return false;
  BITMAPINFO request{};
  request.bmiHeader = {sizeof(BITMAPINFOHEADER), section.dsBm.bmWidth, section.dsBm.bmHeight, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  const size_t count = static_cast<size_t>(section.dsBm.bmWidth) * section.dsBm.bmHeight;
  auto* pixels = static_cast<uint32_t*>(RuntimeAllocate(4 * count));
  if (!pixels) return false;
  HDC dc = CreateCompatibleDC(nullptr);
  const int rows = GetDIBits(dc, static_cast<HBITMAP>(image), 0, section.dsBm.bmHeight, pixels, &request, DIB_RGB_COLORS);
  DeleteDC(dc);
  bool found = false;
  for (size_t i = 0; rows > 0 && i < count && !found; ++i) found = pixels[i] > 0xFFFFFF;
  RuntimeFree(pixels);
  return found;
}

HBITMAP AlphaReady(HANDLE image, bool disabled) {
  BITMAP source{};
  if (!Alpha.blend || !GetObjectW(image, sizeof source, &source)) return nullptr;
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), source.bmWidth, source.bmHeight, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP copy = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (copy) GetDIBits(dc, static_cast<HBITMAP>(image), 0, source.bmHeight, bits, &info, DIB_RGB_COLORS);
  DeleteDC(dc);
  if (!copy) return nullptr;
  auto* pixel = static_cast<uint8_t*>(bits);
  const size_t count = static_cast<size_t>(source.bmWidth) * source.bmHeight;
  for (size_t i = 0; i < count; ++i, pixel += 4) {
    const uint8_t alpha = pixel[3];
    if (disabled) {
      const uint8_t grey = Grey(pixel[0], pixel[1], pixel[2]);
      const auto shade = static_cast<uint8_t>(alpha / 255.0 * grey);
      pixel[0] = pixel[1] = pixel[2] = shade;
    } else if (alpha < 255) {
      // A shift, not a division by 255: close enough, and what AlphaBlend was fed.
      for (int c = 0; c < 3; ++c) pixel[c] = static_cast<uint8_t>(pixel[c] * alpha >> 8);
    }
  }
  return copy;
}

intptr_t ImageButtonCreate(ObjectId number, int x, int y, int width, int height, HANDLE image) {
  if (!CommonControlsVersion) ThemeProbe();
  GadgetRecord* gadget = GadgetAllocate(number);
  if (!gadget) return 0;
  HWND button = CreateWindowExW(0, WC_BUTTONW, nullptr, ButtonStyle, x, y, width, height, GadgetListCurrent(),
                                ProvisionalControlId, ModuleInstance, nullptr);
  if (button) {
    gadget->image = image;
    gadget->prepared = image && HasAlpha(image) ? AlphaReady(image, false) : nullptr;
    WNDPROC previous = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(button, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ImageButtonProcedure)));
    if (!ButtonProcedure) ButtonProcedure = previous;
  }
  return GadgetRegister(number, gadget, button, &ImageButtonClass);
}
