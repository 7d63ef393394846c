// The program's whole life with RuntimeHeap refusing one allocation: start-up, the
// main window, an import and shutdown, run once for every allocation that life
// makes, the Nth refused in the Nth run, until a run makes no refusal.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "application.h"
#include "core/startup.h"
#include "files/files.h"
#include "gadgets/gadgets.h"
#include "regex/regex.h"
#include "support/test_support.h"
#include "ui/ui.h"

namespace {

// The pieces of the main window in the order it is built, each there or not.
std::vector<bool> Pieces() {
  const HWND window = WindowHandle(MainWindow);
  const auto named = [](ObjectId gadget) {
    return GadgetLookup(gadget) && GetPropW(GadgetLookup(gadget)->window, L"Vela_AccessibleName");
  };
  return {ImageHandle(1) != nullptr,
          ImageHandle(2) != nullptr,
          window != nullptr,
          GadgetLookup(ListFrame) != nullptr,
          GadgetLookup(BookmarkList) != nullptr,
          named(BookmarkList),
          FontHandle(2) != nullptr,
          GadgetLookup(ButtonFrame) != nullptr,
          GadgetLookup(ImportButton) != nullptr,
          named(ImportButton),
          GadgetLookup(SpareButton) != nullptr,
          named(SpareButton),
          window && IsWindowVisible(window)};
}

size_t FirstMissing(const std::vector<bool>& pieces) {
  return static_cast<size_t>(std::find(pieces.begin(), pieces.end(), false) - pieces.begin());
}

int64_t Allocations;   // asked for in the current run
int64_t RefusedIndex;  // the one to refuse, counting from 1; 0 for none
bool Refused;          // whether the current run refused it
bool Building;         // while the window is being built
std::vector<size_t> PieceInTheMaking;  // by allocation, counting from 1, in the run that refuses none

bool RefuseTheChosenOne() {
  if (RefusedIndex == 0) PieceInTheMaking.push_back(Building ? FirstMissing(Pieces()) : SIZE_MAX);
  if (++Allocations != RefusedIndex) return false;
  Refused = true;
  return true;
}

struct Life {
  bool started = false;
  int64_t beforeWindow = 0;  // allocations made by start-up
  int64_t beforeImport = 0;  // allocations made by start-up and the window
  std::vector<bool> pieces;  // of the window, once built
  int rows = -1;            // rows the list held after the import, -1 when it had no list
  std::string left;         // objects still registered after shutdown
  bool heapIntact = false;  // RuntimeHeap validated after shutdown
};

std::string Left() {
  std::string left;
  ObjectIterateBegin(FileTable);
  ObjectId value;
  if (ObjectIterateNext(FileTable, &value)) left += "file ";
  ObjectIterateBegin(RegexTable);
  if (ObjectIterateNext(RegexTable, &value)) left += "pattern ";
  if (WindowHandle(MainWindow)) left += "window ";
  for (ObjectId gadget = ListFrame; gadget <= SpareButton; ++gadget)
    if (GadgetLookup(gadget)) left += "gadget ";
  for (ObjectId image = 1; image <= 2; ++image)
    if (ImageHandle(image)) left += "image ";
  if (FontHandle(2)) left += "font ";
  return left;
}

// As the entry point runs it, with the import in place of the event loop, on a
// RuntimeHeap of its own.
Life Live(const std::wstring& file) {
  Life life;
  const HANDLE testHeap = RuntimeHeap;
  RuntimeHeap = HeapCreate(0, 4096, 0);
  life.started = RuntimeStartup();
  if (life.started) {
    life.beforeWindow = Allocations;
    Building = true;
    const HWND window = ApplicationOpen();
    Building = false;
    life.pieces = Pieces();
    if (window) {
      life.beforeImport = Allocations;
      BookmarkImportFile(file.c_str());
      if (GadgetRecord* list = GadgetLookup(BookmarkList))
        life.rows = static_cast<int>(SendMessageW(list->window, LVM_GETITEMCOUNT, 0, 0));
    }
    WindowDestroy(MainWindow);
    RuntimeShutdown();
    life.left = Left();
  }
  life.heapIntact = HeapValidate(RuntimeHeap, 0, nullptr) != FALSE;
  HeapDestroy(RuntimeHeap);
  RuntimeHeap = testHeap;
  // The program leaves its string heap to the process's end; each start-up here
  // makes a new one, so the old one's value is forgotten, not freed.
  StartDirectory = nullptr;
  return life;
}

TEST(RefusedAllocation, EveryRefusalInAProgramsLifeFailsItsStepAndEndsCleanly) {
  const std::wstring shared = testing_support::SharedBookmarksDir();
  const std::wstring file = shared.empty() ? testing_support::FixturesDir() + L"\\worked_example.html"
                                           : shared + L"\\ie-favorites-zh.htm";
  RuntimeRefusesAllocation = RefuseTheChosenOne;
  Allocations = RefusedIndex = 0;
  PieceInTheMaking.clear();
  const Life whole = Live(file);
  const int64_t total = Allocations;
  ASSERT_TRUE(whole.started);
  ASSERT_GT(whole.rows, 0);
  EXPECT_EQ(whole.left, "");

  // Every allocation of start-up and of the window is refused in turn. A run that
  // has shown the window costs Wine 2 s to close it, so the import's allocations,
  // which repeat line after line, are sampled: about five, then one past the last.
  const int64_t stride = std::max<int64_t>(1, (total - whole.beforeImport) / 5);
  std::vector<int64_t> refusals;
  for (int64_t index = 1; index <= total; index += index < whole.beforeImport ? 1 : stride) refusals.push_back(index);
  refusals.push_back(total + 1);
  int lastRows = -1;
  for (int64_t index : refusals) {
    Allocations = 0;
    RefusedIndex = index;
    Refused = false;
    const Life life = Live(file);
    EXPECT_TRUE(life.heapIntact) << "allocation " << index;
    // The step that asked for the refused allocation answers failure: start-up, or
    // the piece of the window being built, which is then missing. Start-up may also
    // absorb a refusal without a trace, as a block pool does by asking again for a
    // chunk of one block.
    if (index <= whole.beforeWindow) {
      EXPECT_TRUE(!life.started || (life.pieces == whole.pieces && life.rows == whole.rows))
          << "allocation " << index;
    } else if (index <= whole.beforeImport && PieceInTheMaking[index - 1] < whole.pieces.size()) {
      EXPECT_FALSE(life.pieces[PieceInTheMaking[index - 1]])
          << "allocation " << index << ", piece " << PieceInTheMaking[index - 1];
    }
    EXPECT_EQ(life.left, "") << "allocation " << index;
    EXPECT_LE(life.rows, whole.rows) << "allocation " << index;
    lastRows = life.rows;
  }
  EXPECT_FALSE(Refused) << "the last run, past every allocation, refuses none";
  EXPECT_EQ(lastRows, whole.rows);
  RuntimeRefusesAllocation = nullptr;
}

}  // namespace
