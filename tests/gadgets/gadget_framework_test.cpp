// The gadget framework and the frame gadget under the real user32: registration,
// numbers and identifiers, re-use of a number, fonts and routing.
#include <gtest/gtest.h>
#include <oleacc.h>

#include <string>
#include <vector>

#include "gadgets/gadgets.h"
#include "strings/strings.h"
#include "support/accessible_name.h"
#include "support/test_support.h"

namespace {

const auto* const Libraries = testing_support::StartLibraries(
    {StringsInit, FontInit, ImageDecoderInit, ImageInit, EventsInit, WindowsInit, GadgetInit});

std::vector<ObjectId> PendingGadgets() {
  std::vector<ObjectId> gadgets;
  while (int32_t code = EventWaitTimeout(0))
    if (code == EventGadget) gadgets.push_back(EventGadgetNumber());
  return gadgets;
}

class FrameworkTest : public testing::Test {
 protected:
  void SetUp() override {
    window = reinterpret_cast<HWND>(WindowCreate(1, 0, 0, 400, 300, nullptr, WindowHidden | 0x00CA0000));
    ASSERT_TRUE(window);
    PendingGadgets();
  }
  void TearDown() override {
    WindowsEnd();
    GadgetSetFont(-1, GadgetDefaultFont);
    PendingGadgets();
  }
  HWND window = nullptr;
};

std::wstring TextOf(HWND control) {
  wchar_t text[64] = {};
  GetWindowTextW(control, text, 64);
  return text;
}

std::wstring ClassOf(HWND control) {
  wchar_t name[64] = {};
  GetClassNameW(control, name, 64);
  return name;
}

TEST_F(FrameworkTest, FrameIsAGroupBoxShowingItsText) {
  auto frame = reinterpret_cast<HWND>(FrameCreate(3, 5, 6, 100, 50, L"Group"));
  ASSERT_TRUE(frame);
  EXPECT_EQ(window, GetParent(frame));
  EXPECT_EQ(L"Button", ClassOf(frame));
  EXPECT_EQ(0x50020007, GetWindowLongPtrW(frame, GWL_STYLE)) << std::hex << GetWindowLongPtrW(frame, GWL_STYLE);
  EXPECT_EQ(0, GetWindowLongPtrW(frame, GWL_EXSTYLE) & (WS_EX_CLIENTEDGE | WS_EX_STATICEDGE));
  EXPECT_EQ(L"Group", TextOf(frame));
  EXPECT_EQ(3, GetWindowLongPtrW(frame, GWLP_ID));
  EXPECT_EQ(3, reinterpret_cast<intptr_t>(GetPropW(frame, L"Vela_ID")));
  ASSERT_TRUE(GadgetLookup(3));
  EXPECT_EQ(frame, GadgetLookup(3)->window);
}

TEST_F(FrameworkTest, FrameWithoutTextHasAnEmptyCaption) {
  auto frame = reinterpret_cast<HWND>(FrameCreate(1, 5, 0, 740, 530, nullptr));
  ASSERT_TRUE(frame);
  EXPECT_EQ(L"", TextOf(frame));
  RECT area;
  GetWindowRect(frame, &area);
  MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&area), 2);
  EXPECT_EQ(5, area.left);
  EXPECT_EQ(0, area.top);
  EXPECT_EQ(530, area.bottom);
  EXPECT_EQ(745, area.right);
}

TEST_F(FrameworkTest, RecreatingANumberDestroysTheOldControlAndItsEvents) {
  auto old = reinterpret_cast<HWND>(FrameCreate(2, 0, 0, 50, 50, L"old"));
  FrameCreate(5, 60, 0, 50, 50, L"other");
  EventPush(EventGadget, 2, 1, KindClick);
  EventPush(EventGadget, 5, 1, KindClick);
  EventPush(EventGadget, 2, 1, KindChange);
  auto fresh = reinterpret_cast<HWND>(FrameCreate(2, 0, 0, 50, 50, L"new"));
  ASSERT_TRUE(fresh);
  EXPECT_FALSE(IsWindow(old));
  EXPECT_EQ(fresh, GadgetLookup(2)->window);
  EXPECT_EQ(std::vector<ObjectId>{5}, PendingGadgets());
}

TEST_F(FrameworkTest, DynamicGadgetIsNamedByItsIdentifierEverywhere) {
  intptr_t identifier = FrameCreate(DynamicNumber, 0, 0, 50, 50, L"dyn");
  ASSERT_NE(0, identifier);
  GadgetRecord* record = GadgetLookup(identifier);
  ASSERT_TRUE(record);
  EXPECT_EQ(identifier, ObjectIdentifierOf(record));
  EXPECT_EQ(identifier, GetWindowLongPtrW(record->window, GWLP_ID));
  GadgetPostEvent(record->window, KindClick);
  EXPECT_EQ(std::vector<ObjectId>{identifier}, PendingGadgets());
  DestroyWindow(record->window);
  EXPECT_EQ(nullptr, GadgetLookup(identifier));
}

TEST_F(FrameworkTest, GadgetsDieWithTheirWindow) {
  FrameCreate(1, 0, 0, 50, 50, nullptr);
  FrameCreate(3, 0, 60, 50, 50, nullptr);
  WindowDestroy(1);
  EXPECT_EQ(nullptr, GadgetLookup(1));
  EXPECT_EQ(nullptr, GadgetLookup(3));
  EXPECT_EQ(nullptr, GadgetListCurrent());
}

TEST_F(FrameworkTest, FontsGoToNewGadgetsOrToOneGadget) {
  HFONT stock = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  HFONT custom = CreateFontW(20, 0, 0, 0, FW_BOLD, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, L"Tahoma");
  auto before = reinterpret_cast<HWND>(FrameCreate(1, 0, 0, 50, 50, L"a"));
  EXPECT_EQ(stock, reinterpret_cast<HFONT>(SendMessageW(before, WM_GETFONT, 0, 0)));

  EXPECT_EQ(0, GadgetSetFont(-1, custom));
  EXPECT_EQ(stock, reinterpret_cast<HFONT>(SendMessageW(before, WM_GETFONT, 0, 0)));
  auto after = reinterpret_cast<HWND>(FrameCreate(3, 0, 60, 50, 50, L"b"));
  EXPECT_EQ(custom, reinterpret_cast<HFONT>(SendMessageW(after, WM_GETFONT, 0, 0)));

  GadgetSetFont(3, GadgetDefaultFont);
  EXPECT_EQ(stock, reinterpret_cast<HFONT>(SendMessageW(after, WM_GETFONT, 0, 0)));
  GadgetSetFont(1, custom);
  EXPECT_EQ(custom, reinterpret_cast<HFONT>(SendMessageW(before, WM_GETFONT, 0, 0)));
  EXPECT_EQ(0, GadgetSetFont(44, custom));
  WindowDestroy(1);
  DeleteObject(custom);
}

TEST_F(FrameworkTest, GadgetsGoIntoTheCurrentGadgetList) {
  auto second = reinterpret_cast<HWND>(WindowCreate(2, 0, 0, 200, 200, nullptr, WindowHidden));
  auto inSecond = reinterpret_cast<HWND>(FrameCreate(1, 0, 0, 50, 50, nullptr));
  EXPECT_EQ(second, GetParent(inSecond));
  EXPECT_EQ(second, GadgetListCurrent());
}

TEST_F(FrameworkTest, ButtonGadgetClickIsADirectEvent) {
  // A plain button registered through the framework, as the image button is: its
  // class leaves WM_COMMAND to the window, which makes the click event.
  static const GadgetClass ButtonClass = {nullptr, nullptr};
  HWND button = CreateWindowExW(0, L"Button", L"go", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 10, 10, 80, 30, window,
                                reinterpret_cast<HMENU>(static_cast<intptr_t>(-1)), ModuleInstance, nullptr);
  ASSERT_TRUE(button);
  ASSERT_EQ(reinterpret_cast<intptr_t>(button), GadgetRegister(4, GadgetAllocate(4), button, &ButtonClass));
  WindowShow(1);
  PendingGadgets();
  PostMessageW(button, BM_CLICK, 0, 0);
  ASSERT_EQ(EventGadget, EventWaitTimeout(500));
  EXPECT_EQ(4, EventGadgetNumber());
  EXPECT_EQ(1, EventWindowNumber());
  EXPECT_EQ(KindClick, EventKind());
}

using testing_support::AccessibleNameOf;

// A named control's accessible objects, as a screen reader asks for them, beside the
// platform's own: the client object has the name and every interface the platform's
// has, each leading back to the name; any other object is the platform's.
TEST_F(FrameworkTest, NamedObjectsDifferFromThePlatformsInTheClientsNameAlone) {
  CoInitialize(nullptr);
  ListCreate(2, 0, 0, 100, 100, L"Column", 50, 0);
  ImageButtonCreate(3, 0, 100, 40, 40, nullptr);
  for (ObjectId gadget : {2, 3}) {
    ASSERT_EQ(GadgetSetAccessibleName(gadget, L"Named"), 1);
    for (LONG object : {OBJID_CLIENT, OBJID_WINDOW}) {
      SCOPED_TRACE(std::to_string(gadget) + ", object " + std::to_string(object));
      const HWND control = GadgetLookup(gadget)->window;
      IUnknown* platform = nullptr;
      IUnknown* named = nullptr;
      ASSERT_EQ(CreateStdAccessibleObject(control, object, IID_IUnknown, reinterpret_cast<void**>(&platform)), S_OK);
      ASSERT_EQ(AccessibleObjectFromWindow(control, object, IID_IUnknown, reinterpret_cast<void**>(&named)), S_OK);
      const std::wstring name = object == OBJID_CLIENT ? L"Named" : AccessibleNameOf(platform);
      EXPECT_EQ(AccessibleNameOf(named), name);
      for (REFIID id : {IID_IOleWindow, IID_IEnumVARIANT}) {
        IUnknown* fromPlatform = nullptr;
        IUnknown* fromNamed = nullptr;
        platform->QueryInterface(id, reinterpret_cast<void**>(&fromPlatform));
        named->QueryInterface(id, reinterpret_cast<void**>(&fromNamed));
        ASSERT_EQ(fromNamed != nullptr, fromPlatform != nullptr);
        if (!fromNamed) continue;
        EXPECT_EQ(AccessibleNameOf(fromNamed), name);
        fromPlatform->Release();
        fromNamed->Release();
      }
      platform->Release();
      named->Release();
    }
  }
  CoUninitialize();
}

TEST_F(FrameworkTest, CreationsUnderARefusedNumberAnswerZeroAndLeaveNothing) {
  static const char bmp[58] = {'B', 'M', 58, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0,  // 1 x 1 pixel, 24 bits
                               40, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 24};
  intptr_t (*const creations[])(ObjectId) = {
      [](ObjectId n) { return FrameCreate(n, 0, 0, 50, 50, nullptr); },
      [](ObjectId n) { return ListCreate(n, 0, 0, 50, 50, L"A", 20, 0); },
      [](ObjectId n) { return ImageButtonCreate(n, 0, 0, 50, 50, nullptr); },
      [](ObjectId n) { return ImageCreate(n, bmp, sizeof bmp); },
      [](ObjectId n) { return FontLoad(n, L"Arial", 11, 0); },
      // Last: the new window becomes the gadget list of the creations above.
      [](ObjectId n) { return WindowCreate(n, 0, 0, 50, 50, nullptr, WindowHidden); },
  };
  for (const auto& create : creations) {
    SCOPED_TRACE(&create - creations);
    const HWND newest = GetTopWindow(window);  // a new control goes above its siblings
    EXPECT_EQ(0, create(-2));
    EXPECT_EQ(newest, GetTopWindow(window));
    EXPECT_NE(0, create(7)) << "the same creation under a number";
  }
  WNDCLASSW unused;
  EXPECT_FALSE(GetClassInfoW(ModuleInstance, L"WindowClass_-2", &unused));
  ImageFree(7);
  FontFree(7);
}

}  // namespace
