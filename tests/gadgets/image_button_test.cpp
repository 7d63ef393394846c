#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gadgets/gadgets.h"
#include "support/test_support.h"

namespace {

const COLORREF Red = RGB(255, 0, 0);
const COLORREF Blue = RGB(0, 0, 255);

// A 32 x 32 icon of one opaque colour.
HICON SolidIcon(COLORREF colour) {
  std::vector<uint32_t> pixels(32 * 32, 0xFF000000u | (GetRValue(colour) << 16) | (GetGValue(colour) << 8) |
                                            GetBValue(colour));
  HBITMAP colourBits = CreateBitmap(32, 32, 1, 32, pixels.data());
  std::vector<uint8_t> maskBits(4 * 32, 0);
  HBITMAP mask = CreateBitmap(32, 32, 1, 1, maskBits.data());
  ICONINFO info{TRUE, 0, 0, mask, colourBits};
  HICON icon = CreateIconIndirect(&info);
  DeleteObject(colourBits);
  DeleteObject(mask);
  return icon;
}

// A 32-bit top-down DIB section of width x height filled with one B, G, R, A pixel.
HBITMAP AlphaBitmap(int width, int height, uint32_t bgra) {
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  auto* pixel = static_cast<uint32_t*>(bits);
  for (int i = 0; i < width * height; ++i) pixel[i] = bgra;
  return bitmap;
}

// The button's own drawing of itself through WM_PRINT, as the platform does for
// PrintWindow, read back pixel by pixel.
class Printed {
 public:
  explicit Printed(HWND button) {
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), 40, -40, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    dc_ = CreateCompatibleDC(nullptr);
    canvas_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, nullptr, nullptr, 0);
    old_ = SelectObject(dc_, canvas_);
    SendMessageW(button, WM_PRINT, reinterpret_cast<WPARAM>(dc_), PRF_CLIENT | PRF_CHILDREN | PRF_ERASEBKGND);
  }
  ~Printed() {
    SelectObject(dc_, old_);
    DeleteObject(canvas_);
    DeleteDC(dc_);
  }
  COLORREF At(int x, int y) const { return GetPixel(dc_, x, y); }
  std::vector<COLORREF> Row(int y) const {
    std::vector<COLORREF> row;
    for (int x = 0; x < 40; ++x) row.push_back(At(x, y));
    return row;
  }

 private:
  HDC dc_;
  HBITMAP canvas_;
  HGDIOBJ old_;
};

void Pump() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

// Every event pending now, as (code, gadget, kind) of the EventGadget ones.
struct GadgetEvent {
  ObjectId gadget;
  int32_t kind;
  bool operator==(const GadgetEvent& other) const { return gadget == other.gadget && kind == other.kind; }
};

std::vector<GadgetEvent> DrainGadgetEvents() {
  std::vector<GadgetEvent> events;
  for (int i = 0; i < 200; ++i) {
    const int32_t code = EventWaitTimeout(0);
    if (code == 0) break;
    if (code == EventGadget) events.push_back({EventGadgetNumber(), EventKind()});
  }
  return events;
}

class ImageButton : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static bool started = false;
    if (started) return;
    started = true;
    ImageDecoderInit();
    ImageInit();
    AlphaInit();
    EventsInit();
    WindowsInit();
    GadgetInit();
  }

  void SetUp() override {
    savedThemes_ = ThemesActive;
    // Hidden until a test needs the screen: without a window manager, Wine waits two
    // seconds for a visible window to be withdrawn when it is destroyed.
    ASSERT_NE(WindowCreate(1, 0, 0, 200, 100, L"buttons", WS_CAPTION | WS_SYSMENU | WindowCentreScreen | WindowHidden), 0);
    window_ = WindowHandle(1);
    red_ = SolidIcon(Red);
    blue_ = SolidIcon(Blue);
  }

  void TearDown() override {
    ThemesActive = savedThemes_;
    WindowDestroy(1);
    DestroyIcon(red_);
    DestroyIcon(blue_);
    DrainGadgetEvents();
  }

  HWND Button(ObjectId number, HANDLE image) {
    const intptr_t result = ImageButtonCreate(number, 10 + 50 * (number % 3), 10, 40, 40, image);
    EXPECT_NE(result, 0);
    return reinterpret_cast<HWND>(result);
  }

  int32_t savedThemes_ = 0;
  HWND window_ = nullptr;
  HICON red_ = nullptr;
  HICON blue_ = nullptr;
};

TEST_F(ImageButton, CreationMakesAVisiblePushButtonUnderItsNumber) {
  HWND button = Button(4, red_);
  ASSERT_NE(button, nullptr);
  EXPECT_EQ(GetParent(button), window_);
  EXPECT_EQ(GetDlgCtrlID(button), 4);
  EXPECT_EQ(reinterpret_cast<ObjectId>(GetPropW(button, L"Vela_ID")), 4);
  const LONG style = GetWindowLongW(button, GWL_STYLE);
  EXPECT_EQ(style & 0x5001000F, 0x50010000) << std::hex << style;
  EXPECT_EQ(GetWindowTextLengthW(button), 0);
  GadgetRecord* gadget = GadgetLookup(4);
  ASSERT_NE(gadget, nullptr);
  EXPECT_EQ(gadget->image, red_);
  EXPECT_EQ(gadget->prepared, nullptr) << "icons get no prepared copy";
  EXPECT_EQ(gadget->gadgetClass->notify, nullptr) << "clicks are left to the parent's default handling";

  const intptr_t identifier = ImageButtonCreate(DynamicNumber, 60, 10, 40, 40, blue_);
  ASSERT_NE(identifier, 0);
  GadgetRecord* dynamic = GadgetLookup(identifier);
  ASSERT_NE(dynamic, nullptr);
  EXPECT_EQ(ObjectIdentifierOf(dynamic), identifier);
  EXPECT_EQ(GetDlgCtrlID(dynamic->window), static_cast<int>(identifier));
}

struct PlacementCase {
  int32_t themes;
  bool pushed;
  int first;        // first row and column covered by the icon
  int last;         // last row and column of it that shows
};

TEST_F(ImageButton, IconIsCentredPushedByOneAndClippedInsideTheEdge) {
  const PlacementCase cases[] = {
      {0, false, 4, 35},
      {0, true, 5, 36},
      {1, false, 4, 35},
      {1, true, 5, 35},  // the clip at 4 keeps the pushed icon's last column and row out
  };
  HWND button = Button(4, red_);
  for (const PlacementCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "themes " << c.themes << (c.pushed ? ", pushed" : ""));
    ThemesActive = c.themes;
    SendMessageW(button, BM_SETSTATE, c.pushed, 0);
    Printed printed(button);
    for (int at : {c.first, 20, c.last}) {
      EXPECT_EQ(printed.At(at, at), Red) << at;
      EXPECT_EQ(printed.At(at, 20), Red) << at;
    }
    EXPECT_NE(printed.At(c.first - 1, 20), Red);
    EXPECT_NE(printed.At(20, c.first - 1), Red);
    EXPECT_NE(printed.At(c.last + 1, 20), Red);
    EXPECT_NE(printed.At(20, c.last + 1), Red);
    SendMessageW(button, BM_SETSTATE, FALSE, 0);
  }
}

TEST_F(ImageButton, ScreenShowsTheIconInBothPaintPaths) {
  HWND button = Button(4, red_);
  WindowShow(1);
  for (int32_t themes : {0, 1}) {
    SCOPED_TRACE(themes);
    ThemesActive = themes;
    InvalidateRect(button, nullptr, TRUE);
    UpdateWindow(button);
    Pump();
    HDC dc = GetDC(button);
    EXPECT_EQ(GetPixel(dc, 4, 4), Red);
    EXPECT_EQ(GetPixel(dc, 20, 20), Red);
    EXPECT_EQ(GetPixel(dc, 35, 35), Red);
    EXPECT_NE(GetPixel(dc, 3, 20), Red);
    EXPECT_NE(GetPixel(dc, 36, 20), Red);
    ReleaseDC(button, dc);
  }
}

TEST_F(ImageButton, ClickGivesExactlyOneGadgetEventOfKindClick) {
  HWND button = Button(4, red_);
  Button(5, blue_);
  WindowShow(1);
  Pump();
  DrainGadgetEvents();

  // Posted, so that the click happens inside the event loop, as it does for the user.
  PostMessageW(button, BM_CLICK, 0, 0);
  EXPECT_EQ(DrainGadgetEvents(), (std::vector<GadgetEvent>{{4, KindClick}}));

  // The mouse pressed and released over the button, as the user does it.
  PostMessageW(button, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(20, 20));
  PostMessageW(button, WM_LBUTTONUP, 0, MAKELPARAM(20, 20));
  EXPECT_EQ(DrainGadgetEvents(), (std::vector<GadgetEvent>{{4, KindClick}}));
}

TEST_F(ImageButton, DisabledButtonDrawsTheIconDisabled) {
  HWND button = Button(4, red_);
  EnableWindow(button, FALSE);
  {
    Printed printed(button);
    EXPECT_NE(printed.At(20, 20), Red);
  }
  EnableWindow(button, TRUE);
  Printed printed(button);
  EXPECT_EQ(printed.At(20, 20), Red);
}

TEST_F(ImageButton, AlphaBitmapIsBlendedFromAPreparedCopyThatDiesWithTheButton) {
  // Half-transparent red over the button face.
  HBITMAP translucent = AlphaBitmap(32, 32, 0x80C80000u);  // A 128, R 200
  HWND button = Button(4, translucent);
  GadgetRecord* gadget = GadgetLookup(4);
  ASSERT_NE(gadget, nullptr);
  auto prepared = static_cast<HBITMAP>(gadget->prepared);
  ASSERT_NE(prepared, nullptr);

  const COLORREF face = Printed(button).At(2, 20);
  const COLORREF blended = Printed(button).At(20, 20);
  // AlphaBlend: premultiplied source + destination * (255 - 128) / 255.
  EXPECT_NEAR(GetRValue(blended), 100 + GetRValue(face) * 127 / 255, 2);
  EXPECT_NEAR(GetGValue(blended), GetGValue(face) * 127 / 255, 2);

  // Disabling replaces the copy with the grey form.
  EnableWindow(button, FALSE);
  auto grey = static_cast<HBITMAP>(gadget->prepared);
  ASSERT_NE(grey, nullptr);
  EXPECT_EQ(GetObjectType(prepared), 0u);
  const COLORREF greyed = Printed(button).At(20, 20);
  EXPECT_EQ(GetRValue(greyed), GetGValue(greyed));
  EXPECT_EQ(GetGValue(greyed), GetBValue(greyed));

  DestroyWindow(button);
  EXPECT_EQ(GetObjectType(grey), 0u) << "the prepared copy outlived its button";
  EXPECT_EQ(GadgetLookup(4), nullptr);
  EXPECT_EQ(GetObjectType(translucent), static_cast<DWORD>(OBJ_BITMAP)) << "the image is not the button's";
  DeleteObject(translucent);
}

// The runtime window, made to say that focus cues are hidden whatever its state.
WNDPROC RuntimeWindowProcedure;
LRESULT CALLBACK HidingFocusCues(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_QUERYUISTATE) return UISF_HIDEFOCUS;
  return CallWindowProcW(RuntimeWindowProcedure, window, message, wParam, lParam);
}

TEST_F(ImageButton, FocusRectangleOnlyWhileTheWindowShowsFocusCues) {
  HWND button = Button(4, red_);
  Button(5, blue_);
  WindowShow(1);
  Pump();
  SetFocus(GadgetLookup(5)->window);
  const std::vector<COLORREF> unfocused = Printed(button).Row(3);

  SetFocus(button);
  ASSERT_EQ(GetFocus(), button);
  SendMessageW(window_, WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS), 0);
  Pump();
  ASSERT_FALSE(SendMessageW(window_, WM_QUERYUISTATE, 0, 0) & UISF_HIDEFOCUS);
  const Printed shown(button);
  EXPECT_NE(shown.Row(3), unfocused);
  // The rectangle is the client area inset by 3: its dotted sides run down columns 3
  // and 36, not 2 and 37.
  EXPECT_TRUE(shown.At(3, 20) != shown.At(2, 20) || shown.At(3, 21) != shown.At(2, 21));
  EXPECT_TRUE(shown.At(36, 20) != shown.At(37, 20) || shown.At(36, 21) != shown.At(37, 21));

  RuntimeWindowProcedure = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(HidingFocusCues)));
  const Printed hidden(button);
  SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(RuntimeWindowProcedure));
  EXPECT_NE(hidden.Row(3), shown.Row(3));
}

struct ReadyCase {
  uint32_t bgra;
  uint32_t enabled;
  uint32_t disabled;
};

TEST_F(ImageButton, AlphaReadyPremultipliesOrGreys) {
  const ReadyCase cases[] = {
      // B 10, G 20, R 200, A 128: colours times 128 >> 8; grey 73 scaled by 128 / 255.
      {0x80C8140Au, 0x80640A05u, 0x80242424u},
      {0xFF000000u, 0xFF000000u, 0xFF141414u},  // black lifted to 20
      {0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFECECECu},  // white softened to 236
      {0x00646464u, 0x00000000u, 0x00000000u},  // fully transparent
      {0xFF5AC828u, 0xFF5AC828u, 0xFF979797u},  // opaque stays; grey 151 in the middle band
      {0xFEFFFFFFu, 0xFEFDFDFDu, 0xFEEBEBEBu},  // a shift by 8: 255 * 254 >> 8 = 253
  };
  for (const ReadyCase& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.bgra);
    HBITMAP source = AlphaBitmap(2, 1, c.bgra);
    ASSERT_TRUE(HasAlpha(source));
    for (bool disabled : {false, true}) {
      HBITMAP ready = AlphaReady(source, disabled);
      ASSERT_NE(ready, nullptr);
      DIBSECTION section{};
      ASSERT_EQ(GetObjectW(ready, sizeof section, &section), static_cast<int>(sizeof section));
      EXPECT_EQ(section.dsBm.bmBitsPixel, 32);
      const uint32_t* pixel = static_cast<const uint32_t*>(section.dsBm.bmBits);
      EXPECT_EQ(pixel[0], disabled ? c.disabled : c.enabled) << (disabled ? "disabled" : "enabled");
      EXPECT_EQ(pixel[1], pixel[0]);
      DeleteObject(ready);
    }
    DeleteObject(source);
  }
}

TEST_F(ImageButton, HasAlphaOnlyForThirtyTwoBitBitmaps) {
  const uint32_t clear[4] = {0x00112233u, 0x00445566u, 0x00778899u, 0x00AABBCCu};
  const uint32_t oneAlpha[4] = {0x00112233u, 0x01445566u, 0x00778899u, 0x00AABBCCu};
  HBITMAP ddbClear = CreateBitmap(2, 2, 1, 32, clear);
  HBITMAP ddbAlpha = CreateBitmap(2, 2, 1, 32, oneAlpha);
  HBITMAP section32 = AlphaBitmap(2, 2, 0x00FFFFFFu);
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), 2, 2, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  HBITMAP section24 = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, nullptr, nullptr, 0);
  const struct {
    const char* name;
    HANDLE image;
    bool expected;
  } cases[] = {
      {"icon", red_, false},
      {"32-bit section, even with zero alpha", section32, true},
      {"24-bit section", section24, false},
      {"32-bit bitmap without alpha", ddbClear, false},
      {"32-bit bitmap with one alpha byte", ddbAlpha, true},
  };
  for (const auto& c : cases) EXPECT_EQ(HasAlpha(c.image), c.expected) << c.name;
  for (HBITMAP b : {ddbClear, ddbAlpha, section32, section24}) DeleteObject(b);
}

TEST_F(ImageButton, TheProgramsIconsShowInTheirButtons) {
  const std::string folder = testing_support::ReadWholeFile(testing_support::Widen(std::string(RESOURCES_DIR) + "/import.ico"));
  const std::string arrow = testing_support::ReadWholeFile(testing_support::Widen(std::string(RESOURCES_DIR) + "/spare.ico"));
  ASSERT_NE(ImageFromMemory(1, folder.data()), 0);
  ASSERT_NE(ImageFromMemory(2, arrow.data()), 0);
  HWND importButton = Button(4, ImageHandle(1));
  HWND spareButton = reinterpret_cast<HWND>(ImageButtonCreate(5, 90, 10, 40, 40, ImageHandle(2)));
  ASSERT_NE(spareButton, nullptr);
  // The folder's front flap at icon pixel (16, 20), the arrow's head at (24, 24).
  const COLORREF flap = Printed(importButton).At(4 + 16, 4 + 20);
  EXPECT_GT(GetGValue(flap), GetRValue(flap) + 40);
  const COLORREF head = Printed(spareButton).At(4 + 24, 4 + 24);
  EXPECT_GT(GetRValue(head), 200);
  EXPECT_LT(GetBValue(head), 60);
  ImageFree(1);
  ImageFree(2);
}

}  // namespace
