// The event queue under the real user32: the three roads of EventWait, the events
// a runtime window's messages turn into, duplicates and discarding.
#include <gtest/gtest.h>

#include <vector>

#include "strings/strings.h"
#include "ui/ui.h"
#include "support/test_support.h"

namespace {

const auto* const Libraries = testing_support::StartLibraries({StringsInit, EventsInit, WindowsInit});

struct Event {
  int32_t code;
  ObjectId gadget;
  ObjectId window;
  int32_t kind;
  bool operator==(const Event& other) const {
    return code == other.code && gadget == other.gadget && window == other.window && kind == other.kind;
  }
};

std::ostream& operator<<(std::ostream& out, const Event& e) {
  return out << "{" << e.code << ", " << e.gadget << ", " << e.window << ", " << e.kind << "}";
}

// Every event until nothing is left, keeping those whose code is in codes (all when empty).
std::vector<Event> Collect(std::vector<int32_t> codes = {}) {
  std::vector<Event> events;
  while (int32_t code = EventWaitTimeout(0)) {
    bool wanted = codes.empty();
    for (int32_t c : codes) wanted = wanted || c == code;
    if (wanted) events.push_back({code, EventGadgetNumber(), EventWindowNumber(), EventKind()});
  }
  return events;
}

class EventsTest : public testing::Test {
 protected:
  void SetUp() override {
    window = reinterpret_cast<HWND>(WindowCreate(1, 0, 0, 300, 200, nullptr, 0x00CA0000));
    ASSERT_TRUE(window);
    Collect();
  }
  void TearDown() override {
    WindowsEnd();
    Collect();
  }
  HWND window = nullptr;
};

TEST_F(EventsTest, CloseQueuesAnEventAndLeavesTheWindowAlive) {
  PostMessageW(window, WM_CLOSE, 0, 0);
  ASSERT_EQ(WM_CLOSE, EventWaitTimeout(500));  // the raw message first
  EXPECT_EQ(-1, EventKind());
  EXPECT_EQ(1, EventWindowNumber());
  ASSERT_EQ(EventCloseWindow, EventWaitTimeout(0));  // then the queued event
  EXPECT_EQ(1, EventGadgetNumber());
  EXPECT_EQ(1, EventWindowNumber());
  EXPECT_EQ(0, EventKind());
  EXPECT_TRUE(IsWindow(window));
  EXPECT_EQ(window, WindowHandle(1));
}

TEST_F(EventsTest, NothingWithinATimeoutKeepsThePreviousEvent) {
  EventPush(EventGadget, 9, 1, KindDoubleClick);
  ASSERT_EQ(EventGadget, EventWaitTimeout(0));
  EXPECT_EQ(0, EventWaitTimeout(30));
  EXPECT_EQ(9, EventGadgetNumber());
  EXPECT_EQ(KindDoubleClick, EventKind());
}

TEST_F(EventsTest, RawMessageCarriesTheWindowNumberAndNoKind) {
  PostMessageW(window, WM_APP + 3, 7, 8);
  EXPECT_EQ(WM_APP + 3, EventWaitTimeout(500));
  EXPECT_EQ(1, EventWindowNumber());
  EXPECT_EQ(-1, EventKind());
}

TEST_F(EventsTest, MaximiseAndRestoreQueueTheirSequences) {
  DestroyWindow(window);
  WindowsEnd();
  window = reinterpret_cast<HWND>(WindowCreate(1, 0, 0, 300, 200, nullptr, 0x00CF0000));
  Collect();
  const std::vector<int32_t> sizing = {EventWindowSized, EventWindowMinimized, EventWindowMaximized,
                                       EventWindowRestored};
  auto sized = [](int32_t code) { return Event{code, 0, 1, 0}; };

  ShowWindow(window, SW_MAXIMIZE);
  EXPECT_EQ((std::vector<Event>{sized(EventWindowMaximized), sized(EventWindowSized)}), Collect(sizing));
  ShowWindow(window, SW_RESTORE);
  EXPECT_EQ((std::vector<Event>{sized(EventWindowRestored), sized(EventWindowSized)}), Collect(sizing));
  SetWindowPos(window, nullptr, 0, 0, 400, 300, SWP_NOMOVE | SWP_NOZORDER);
  EXPECT_EQ((std::vector<Event>{sized(EventWindowSized)}), Collect(sizing));
  ShowWindow(window, SW_MINIMIZE);
  EXPECT_EQ((std::vector<Event>{sized(EventWindowMinimized)}), Collect(sizing));
  ShowWindow(window, SW_RESTORE);
  EXPECT_EQ((std::vector<Event>{sized(EventWindowRestored), sized(EventWindowSized)}), Collect(sizing));
}

TEST_F(EventsTest, IdenticalNewestEventIsDroppedButArrivesAgainLater) {
  SendMessageW(window, WM_CLOSE, 0, 0);
  SendMessageW(window, WM_CLOSE, 0, 0);
  EXPECT_EQ((std::vector<Event>{{EventCloseWindow, 1, 1, 0}}), Collect());
  SendMessageW(window, WM_CLOSE, 0, 0);
  EXPECT_EQ((std::vector<Event>{{EventCloseWindow, 1, 1, 0}}), Collect());

  // Only the newest pending event is compared.
  EventPush(EventGadget, 4, 1, 0);
  EventPush(EventGadget, 5, 1, 0);
  EventPush(EventGadget, 4, 1, 0);
  EXPECT_EQ((std::vector<Event>{{EventGadget, 4, 1, 0}, {EventGadget, 5, 1, 0}, {EventGadget, 4, 1, 0}}),
            Collect());
}

TEST_F(EventsTest, EventsTheHeapHasNoNodeForAreDropped) {
  RuntimeRefusesAllocation = [] { return true; };
  for (ObjectId gadget = 0; gadget < 40; ++gadget) EventPush(EventGadget, gadget, 1, 0);
  RuntimeRefusesAllocation = nullptr;
  const std::vector<Event> events = Collect();
  ASSERT_FALSE(events.empty());
  EXPECT_LT(events.size(), 40u) << "the pool's first chunk holds fewer";
  for (size_t i = 0; i < events.size(); ++i) EXPECT_EQ(events[i].gadget, static_cast<ObjectId>(i));
}

TEST_F(EventsTest, DestroyingAWindowDiscardsOnlyItsEvents) {
  auto second = reinterpret_cast<HWND>(WindowCreate(2, 0, 0, 300, 200, nullptr, WindowHidden));
  ASSERT_TRUE(second);
  Collect();
  SendMessageW(window, WM_CLOSE, 0, 0);
  SendMessageW(second, WM_CLOSE, 0, 0);
  EventPush(EventGadget, 4, 1, 0);
  EventPush(EventGadget, 6, 2, 0);
  WindowDestroy(1);
  EXPECT_EQ((std::vector<Event>{{EventCloseWindow, 2, 2, 0}, {EventGadget, 6, 2, 0}}), Collect());
}

TEST_F(EventsTest, DiscardTakesAGadgetsEventsOrAWindowsEvents) {
  struct {
    void (*discard)();
    std::vector<Event> left;
  } cases[] = {
      {[] { EventDiscardGadget(4); },
       {{EventGadget, 5, 1, 0}, {EventCloseWindow, 4, 1, 0}, {EventGadget, 5, 2, 2}}},
      {[] { EventDiscardWindow(2); },
       {{EventGadget, 4, 1, 0}, {EventGadget, 5, 1, 0}, {EventGadget, 4, 1, 2}, {EventCloseWindow, 4, 1, 0}}},
  };
  for (const auto& c : cases) {
    EventPush(EventGadget, 4, 1, 0);
    EventPush(EventGadget, 5, 1, 0);
    EventPush(EventGadget, 4, 1, 2);
    EventPush(EventCloseWindow, 4, 1, 0);
    EventPush(EventGadget, 5, 2, 2);
    c.discard();
    EXPECT_EQ(c.left, Collect());
    // The tail must still be right after the unlinking: a new event goes to the end.
    EventPush(EventGadget, 7, 1, 0);
    EXPECT_EQ((std::vector<Event>{{EventGadget, 7, 1, 0}}), Collect());
  }
}

TEST_F(EventsTest, ButtonClickArrivesAsADirectGadgetEvent) {
  HWND button = CreateWindowExW(0, L"Button", L"ok", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 10, 10, 80, 30, window,
                                reinterpret_cast<HMENU>(4), ModuleInstance, nullptr);
  ASSERT_TRUE(button);
  Collect();
  PostMessageW(button, BM_CLICK, 0, 0);
  ASSERT_EQ(EventGadget, EventWaitTimeout(500));
  EXPECT_EQ(4, EventGadgetNumber());
  EXPECT_EQ(1, EventWindowNumber());
  EXPECT_EQ(KindClick, EventKind());
}

TEST_F(EventsTest, CommandsBecomeGadgetOrCommandEvents) {
  HWND control = CreateWindowExW(0, L"Static", L"", WS_CHILD, 0, 0, 10, 10, window, reinterpret_cast<HMENU>(12),
                                 ModuleInstance, nullptr);
  struct {
    WPARAM wParam;
    HWND from;
    Event expected;
  } cases[] = {
      {MAKEWPARAM(12, 5), control, {EventGadget, 12, 1, 5}},
      {MAKEWPARAM(40, 0), nullptr, {EventCommand, 40, 1, -1}},
      {MAKEWPARAM(41, 1), nullptr, {EventCommand, 41, 1, -1}},
  };
  for (const auto& c : cases) {
    PostMessageW(window, WM_COMMAND, c.wParam, reinterpret_cast<LPARAM>(c.from));
    int32_t code = EventWaitTimeout(500);
    EXPECT_EQ(c.expected, (Event{code, EventGadgetNumber(), EventWindowNumber(), EventKind()}));
  }
}

TEST_F(EventsTest, GadgetPostEventNamesTheControlAndItsRuntimeWindow) {
  HWND group = CreateWindowExW(0, L"Static", L"", WS_CHILD, 0, 0, 50, 50, window, reinterpret_cast<HMENU>(30),
                               ModuleInstance, nullptr);
  HWND inner = CreateWindowExW(0, L"Static", L"", WS_CHILD, 0, 0, 10, 10, group, reinterpret_cast<HMENU>(31),
                               ModuleInstance, nullptr);
  HWND foreign = CreateWindowExW(0, L"Static", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, ModuleInstance, nullptr);
  SetWindowLongPtrW(foreign, GWLP_ID, 32);
  GadgetPostEvent(inner, KindRightClick);
  GadgetPostEvent(foreign, KindChange);
  EXPECT_EQ((std::vector<Event>{{EventGadget, 31, 1, KindRightClick}, {EventGadget, 32, -1, KindChange}}), Collect());
  DestroyWindow(foreign);
}

}  // namespace
