// Numbered windows under the real user32: sizes and placement, classes, flags,
// the current gadget list and Tab navigation.
#include <gtest/gtest.h>

#include "strings/strings.h"
#include "ui/ui.h"

namespace {

struct UiEnvironment : testing::Environment {
  void SetUp() override {
    StringsInit();
    EventsInit();
    WindowsInit();
    WindowsAttachGadgets(nullptr);
  }
};
testing::Environment* const Environment = testing::AddGlobalTestEnvironment(new UiEnvironment);

bool ClassRegistered(const wchar_t* name) {
  WNDCLASSW info;
  return GetClassInfoW(ModuleInstance, name, &info) != 0;
}

void Drain() {
  while (EventWaitTimeout(0)) {
  }
}

class WindowsTest : public testing::Test {
 protected:
  void TearDown() override {
    WindowsEnd();
    Drain();
  }
};

TEST_F(WindowsTest, ApplicationWindowHasExactClientAreaAndIsCentred) {
  auto window = reinterpret_cast<HWND>(WindowCreate(1, 65, 76, 750, 600, nullptr, 0x10CA0001));
  ASSERT_TRUE(window);
  EXPECT_EQ(window, WindowHandle(1));
  EXPECT_FALSE(IsWindowVisible(window));

  RECT client, outer;
  GetClientRect(window, &client);
  EXPECT_EQ(750, client.right);
  EXPECT_EQ(600, client.bottom);
  GetWindowRect(window, &outer);
  int width = outer.right - outer.left, height = outer.bottom - outer.top;
  EXPECT_EQ((GetSystemMetrics(SM_CXSCREEN) - width) / 2, outer.left);
  EXPECT_EQ((GetSystemMetrics(SM_CYSCREEN) - height) / 2, outer.top);

  LONG_PTR style = GetWindowLongPtrW(window, GWL_STYLE);
  EXPECT_EQ(0x00CA0000, style & 0x00CF0000) << std::hex << style;  // caption, system menu, minimise box only
  EXPECT_EQ(0, style & 0xF);
  EXPECT_EQ(0, GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
  EXPECT_EQ(2, reinterpret_cast<intptr_t>(GetPropW(window, L"Vela_WindowID")));
  wchar_t className[64];
  GetClassNameW(window, className, 64);
  EXPECT_STREQ(L"WindowClass_1", className);
}

TEST_F(WindowsTest, WindowLargerThanTheScreenIsCutAndPlacedAtTheOrigin) {
  int screenWidth = GetSystemMetrics(SM_CXSCREEN), screenHeight = GetSystemMetrics(SM_CYSCREEN);
  auto window = reinterpret_cast<HWND>(
      WindowCreate(3, 10, 10, screenWidth + 300, screenHeight + 300, L"big", WindowCentreScreen | WindowHidden));
  ASSERT_TRUE(window);
  RECT outer;
  GetWindowRect(window, &outer);
  EXPECT_EQ(0, outer.left);
  EXPECT_EQ(0, outer.top);
  EXPECT_EQ(screenWidth, outer.right - outer.left);
  EXPECT_EQ(screenHeight, outer.bottom - outer.top);
}

TEST_F(WindowsTest, ClassIsUnregisteredOnDestroyAndRegisteredAgainOnCreate) {
  ASSERT_TRUE(WindowCreate(1, 0, 0, 100, 100, nullptr, WindowHidden));
  EXPECT_TRUE(ClassRegistered(L"WindowClass_1"));
  EXPECT_EQ(1, WindowDestroy(1));
  EXPECT_FALSE(ClassRegistered(L"WindowClass_1"));
  EXPECT_EQ(nullptr, WindowHandle(1));
  EXPECT_EQ(0, WindowDestroy(1));
  EXPECT_EQ(0, WindowShow(1));

  HWND again = reinterpret_cast<HWND>(WindowCreate(1, 0, 0, 100, 100, nullptr, WindowHidden));
  ASSERT_TRUE(again);
  EXPECT_TRUE(ClassRegistered(L"WindowClass_1"));
}

TEST_F(WindowsTest, ReusingANumberDestroysTheOldWindow) {
  HWND first = reinterpret_cast<HWND>(WindowCreate(4, 0, 0, 100, 100, nullptr, WindowHidden));
  HWND second = reinterpret_cast<HWND>(WindowCreate(4, 0, 0, 120, 100, nullptr, WindowHidden));
  ASSERT_TRUE(second);
  EXPECT_FALSE(IsWindow(first));
  EXPECT_EQ(second, WindowHandle(4));
  EXPECT_TRUE(ClassRegistered(L"WindowClass_4"));
}

TEST_F(WindowsTest, DynamicWindowIsNamedByItsIdentifier) {
  intptr_t identifier = WindowCreate(DynamicNumber, 0, 0, 100, 100, nullptr, WindowHidden);
  ASSERT_NE(0, identifier);
  HWND window = WindowHandle(identifier);
  ASSERT_TRUE(window);
  EXPECT_EQ(identifier + 1, reinterpret_cast<intptr_t>(GetPropW(window, L"Vela_WindowID")));
  EXPECT_EQ(identifier, WindowNumberOf(window));
  std::wstring name = L"WindowClass_" + std::to_wstring(identifier);
  EXPECT_TRUE(ClassRegistered(name.c_str()));
  EXPECT_EQ(1, WindowDestroy(identifier));
  EXPECT_FALSE(ClassRegistered(name.c_str()));
}

TEST_F(WindowsTest, NotifyWithoutItsHeaderGetsDefaultProcessing) {
  auto window = reinterpret_cast<HWND>(WindowCreate(1, 0, 0, 100, 100, nullptr, WindowHidden));
  ASSERT_TRUE(window);
  EXPECT_EQ(0, SendMessageW(window, WM_NOTIFY, 0, 0));
}

struct FlagCase {
  int32_t flags;
  LONG_PTR styleSet;      // bits that must be in the window style
  LONG_PTR styleClear;    // bits that must not
};

const FlagCase FlagCases[] = {
    {static_cast<int32_t>(WindowHidden | WS_POPUP | WS_BORDER), static_cast<LONG_PTR>(WS_POPUP | WS_BORDER), WS_DLGFRAME},
    {WindowHidden | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME, WS_CAPTION | WS_THICKFRAME, WS_VISIBLE},
    {WindowHidden | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, WS_THICKFRAME},
};

TEST_F(WindowsTest, FlagsBecomeStylesWithoutTheRuntimeBits) {
  for (const FlagCase& c : FlagCases) {
    SCOPED_TRACE(testing::Message() << "flags 0x" << std::hex << c.flags);
    auto window = reinterpret_cast<HWND>(WindowCreate(5, 0, 0, 200, 150, nullptr, c.flags));
    ASSERT_TRUE(window);
    LONG_PTR style = GetWindowLongPtrW(window, GWL_STYLE);
    EXPECT_EQ(c.styleSet, style & c.styleSet) << std::hex << style;
    EXPECT_EQ(0, style & c.styleClear) << std::hex << style;
    EXPECT_EQ(window, GadgetListCurrent());
    RECT client;
    GetClientRect(window, &client);
    EXPECT_EQ(200, client.right);
    EXPECT_EQ(150, client.bottom);
    WindowDestroy(5);
  }
}

TEST_F(WindowsTest, ShowShowsAHiddenWindow) {
  auto window = reinterpret_cast<HWND>(WindowCreate(1, 0, 0, 200, 100, nullptr, WindowHidden | 0x00CA0000));
  EXPECT_EQ(0, WindowShow(1));
  EXPECT_TRUE(IsWindowVisible(window));
  EXPECT_FALSE(IsIconic(window));
}

// The newest window is the current gadget list until it goes; the property is
// published on every window and goes with it.
TEST_F(WindowsTest, GadgetListIsTheNewestWindowAndIsClearedWithIt) {
  const std::wstring property = L"Vela_GadgetStack_" + std::to_wstring(reinterpret_cast<intptr_t>(ModuleInstance));
  auto first = reinterpret_cast<HWND>(WindowCreate(1, 0, 0, 100, 100, nullptr, WindowHidden));
  EXPECT_EQ(first, GadgetListCurrent());
  auto second = reinterpret_cast<HWND>(WindowCreate(2, 0, 0, 100, 100, nullptr, WindowHidden));
  EXPECT_EQ(second, GadgetListCurrent());
  EXPECT_NE(nullptr, GetPropW(first, property.c_str()));
  EXPECT_NE(nullptr, GetPropW(second, property.c_str()));

  WindowDestroy(1);  // not the current list: nothing changes
  EXPECT_EQ(second, GadgetListCurrent());
  WindowDestroy(2);
  EXPECT_EQ(nullptr, GadgetListCurrent());
}

class TabTest : public WindowsTest {
 protected:
  void SetUp() override {
    window = reinterpret_cast<HWND>(WindowCreate(1, 0, 0, 300, 200, nullptr, 0x00CA0000));
    ASSERT_TRUE(window);
    for (int i = 0; i < 3; ++i)
      stops[i] = CreateWindowExW(0, L"Button", L"b", WS_CHILD | WS_VISIBLE | WS_TABSTOP, 10, 10 + 40 * i, 80, 30,
                                 window, reinterpret_cast<HMENU>(static_cast<intptr_t>(10 + i)), ModuleInstance,
                                 nullptr);
    plain = CreateWindowExW(0, L"Button", L"p", WS_CHILD | WS_VISIBLE, 100, 10, 80, 30, window,
                            reinterpret_cast<HMENU>(20), ModuleInstance, nullptr);
    SetActiveWindow(window);
    Drain();
  }
  HWND window = nullptr;
  HWND stops[3] = {};
  HWND plain = nullptr;
};

TEST_F(TabTest, TabAndShiftTabWrapAround) {
  ASSERT_EQ(window, GetActiveWindow());
  struct {
    HWND from;
    int32_t backward;
    HWND to;
  } cases[] = {{stops[0], 0, stops[1]}, {stops[2], 0, stops[0]}, {stops[1], 1, stops[0]},
               {stops[0], 1, stops[2]}, {plain, 0, plain},       {plain, 1, stops[2]}};
  for (const auto& c : cases) {
    SetFocus(c.from);
    TabNavigate(c.backward);
    EXPECT_EQ(c.to, GetFocus());
  }
}

TEST_F(TabTest, TabKeyReachesTheWindowThroughItsAcceleratorTable) {
  SetFocus(stops[2]);
  PostMessageW(stops[2], WM_KEYDOWN, VK_TAB, 0x000F0001);
  EXPECT_EQ(WM_KEYDOWN, EventWaitTimeout(500));
  EXPECT_EQ(stops[0], GetFocus());
}

TEST_F(TabTest, FocusComesBackAfterDeactivation) {
  SetFocus(stops[1]);
  HWND other = CreateWindowExW(0, L"Static", L"other", WS_POPUP | WS_VISIBLE, 400, 400, 50, 50, nullptr, nullptr,
                               ModuleInstance, nullptr);
  SetActiveWindow(other);
  EXPECT_EQ(stops[1], static_cast<HWND>(GetPropW(window, L"Vela_Focus")));
  SetFocus(nullptr);
  SetActiveWindow(window);
  EXPECT_EQ(stops[1], GetFocus());
  DestroyWindow(other);
}

}  // namespace
