#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <functional>
#include <optional>
#include <random>
#include <string>

#include "strings/strings.h"

namespace {

std::wstring Read(const wchar_t* text) { return text ? text : L""; }

size_t BlockSize(const void* block) { return HeapSize(StringHeap, 0, block); }

class Strings : public ::testing::Test {
 protected:
  void SetUp() override { StringsInit(); }
};

// ---- Values and the scratch

TEST_F(Strings, StartsWithSixteenByteScratch) {
  EXPECT_EQ(ScratchCapacity, 16);
  EXPECT_EQ(ScratchOffset, 0);
  EXPECT_EQ(BlockSize(StringScratch), 16u);
}

TEST_F(Strings, FirstResultGrowsOnlyFromSixUnits) {
  struct Row {
    int32_t units;
    int32_t capacity;
    size_t block;
  };
  for (const Row& row : {Row{5, 16, 16}, Row{6, 16396, 16406}}) {
    StringsInit();
    std::wstring text(static_cast<size_t>(row.units), L'q');
    AppendText(text.c_str());
    SCOPED_TRACE(row.units);
    EXPECT_EQ(ScratchCapacity, row.capacity);
    EXPECT_EQ(BlockSize(StringScratch), row.block);
    EXPECT_EQ(ScratchOffset, 2 * row.units);
    EXPECT_EQ(Read(ScratchAddress(0)), text);
  }
}

TEST_F(Strings, GrowthKeepsContentsAndCountsFromTheCurrentOffset) {
  AppendText(L"abcde");
  ASSERT_EQ(ScratchCapacity, 16);
  // need = ScratchOffset (10) + 2, not the result offset 0 + 2: 12 >= 16 - 4 grows.
  wchar_t* at = ScratchReserve(1, 0);
  EXPECT_EQ(ScratchCapacity, 12 + 16384);
  EXPECT_EQ(ScratchOffset, 2);
  EXPECT_EQ(at, ScratchAddress(0));
  EXPECT_EQ(std::wstring(at, 5), L"abcde");
  ScratchEmptyResult(0);
  ScratchReserve(10, 0);
  EXPECT_EQ(ScratchCapacity, 16396) << "a reserve that fits must not grow or shrink";
}

TEST_F(Strings, TagCoversTheNewestTerminatorAndNothingBeyond) {
  AppendText(L"abc");
  const char* base = StringScratch;
  struct Row {
    const void* address;
    uint32_t tag;
  };
  const Row rows[] = {
      {base, 1},       {base + 2, 3},      {base + ScratchOffset, 7}, {base + ScratchOffset + 2, 0},
      {base - 2, 0},   {L"abc", 0},        {nullptr, 0},
  };
  for (const Row& row : rows) EXPECT_EQ(ScratchTag(row.address), row.tag) << row.address;
  uint32_t tag = ScratchTag(base + 2);
  ScratchReserve(100, ScratchOffset);
  EXPECT_EQ(ScratchFromTag(tag), ScratchAddress(2)) << "a tag follows the buffer when it moves";
  EXPECT_EQ(*ScratchFromTag(tag), L'b');
}

TEST_F(Strings, StoreResultCopiesExactlyAndReturnsToTheMark) {
  const wchar_t* rows[] = {L"", L"a", L"hello world", L"a longer result that makes the scratch grow"};
  StringValue value;
  for (const wchar_t* text : rows) {
    for (int32_t mark : {0, 6}) {
      ScratchOffset = 0;
      AppendText(L"xy");
      ScratchOffset = mark;
      AppendText(text);
      StoreResult(value.Slot(), mark);
      SCOPED_TRACE(testing::Message() << "\"" << text << "\" at " << mark);
      EXPECT_EQ(ScratchOffset, mark);
      ASSERT_NE(value.Get(), nullptr) << "even an empty result leaves a block";
      EXPECT_EQ(Read(value.Get()), text);
      EXPECT_EQ(BlockSize(value.Get()), 2 * wcslen(text) + 10);
    }
  }
}

// A block grown past KeptBlockLimit by one store is given back by the next.
TEST_F(Strings, KeptTextHoldsEachStoreWhetherItsBlockGrowsOrNot) {
  KeptText kept;
  EXPECT_EQ(kept.Get(), nullptr);
  for (size_t length : {3, 0, 40, 5, 2000, 1, 2001, 100000, 3}) {
    const std::wstring text(length, static_cast<wchar_t>(L'a' + length % 26));
    ScratchMark mark;
    AppendText(text.c_str());
    kept.Store(mark);
    EXPECT_EQ(ScratchOffset, mark);
    EXPECT_EQ(Read(kept.Get()), text);
    EXPECT_LE(HeapSize(RuntimeHeap, 0, kept.Get()), std::max(KeptBlockLimit, 2 * length + 2));
    // Checked here: the block is freed before the heap check that follows every test.
    EXPECT_TRUE(HeapValidate(StringHeap, 0, nullptr));
  }
}

// A store the heap refuses room for leaves the text null, never cut; one that fits
// the room kept from before needs nothing from the heap.
TEST_F(Strings, KeptTextIsNullAfterARefusedStore) {
  const struct {
    size_t before;
    size_t refused;
    bool kept;
  } rows[] = {{3, 2000, false}, {0, 1, false}, {2000, 5, true}, {2000, 2001, false}};
  for (const auto& row : rows) {
    SCOPED_TRACE(std::to_string(row.before) + " then " + std::to_string(row.refused));
    KeptText kept;
    for (bool refuse : {false, true}) {
      ScratchMark mark;
      AppendText(std::wstring(refuse ? row.refused : row.before, L'k').c_str());
      if (refuse) RuntimeRefusesAllocation = [] { return true; };
      kept.Store(mark);
      RuntimeRefusesAllocation = nullptr;
    }
    EXPECT_EQ(kept.Get() ? Read(kept.Get()) : L"(null)", row.kept ? std::wstring(row.refused, L'k') : L"(null)");
  }
}

TEST_F(Strings, CompareTextIsExactEquality) {
  struct Row {
    const wchar_t* a;
    const wchar_t* b;
    int32_t equal;
  };
  const Row rows[] = {
      {nullptr, L"", 1}, {L"", nullptr, 1}, {nullptr, nullptr, 1}, {L"abc", L"abc", 1}, {L"a", L"A", 0},
      {L"ab", L"abc", 0}, {L"abc", L"ab", 0}, {L"", L"a", 0},       {nullptr, L"a", 0},
  };
  for (const Row& row : rows) EXPECT_EQ(CompareText(row.a, row.b), row.equal) << Read(row.a) << "|" << Read(row.b);
}

TEST_F(Strings, AppendTextConcatenatesAtTheOffset) {
  struct Row {
    std::initializer_list<const wchar_t*> parts;
    const wchar_t* whole;
  };
  const Row rows[] = {
      {{nullptr}, L""},          {{L""}, L""},   {{L"ab", L"cd"}, L"abcd"},
      {{L"ab", nullptr, L"cd"}, L"abcd"}, {{L"ab", L"", L"c"}, L"abc"},
      {{L"first part, ", L"second part, ", L"third"}, L"first part, second part, third"},
  };
  for (const Row& row : rows) {
    StringsInit();
    AppendText(L"keep");
    int32_t mark = ScratchOffset += 2;
    for (const wchar_t* part : row.parts) AppendText(part);
    EXPECT_EQ(Read(ScratchAddress(mark)), row.whole);
    EXPECT_EQ(ScratchOffset, mark + 2 * static_cast<int32_t>(wcslen(row.whole)));
    EXPECT_EQ(Read(ScratchAddress(0)), L"keep");
  }
}

TEST_F(Strings, AppendTextOfAScratchTextSurvivesGrowth) {
  AppendText(L"abcde");
  AppendText(ScratchAddress(0));
  EXPECT_GT(ScratchCapacity, 16);
  EXPECT_EQ(Read(ScratchAddress(0)), L"abcdeabcde");
}

TEST_F(Strings, CopyUnitsStopsAtItsTerminator) {
  for (int32_t units : {0, 1, 2, 3, 4}) {
    wchar_t destination[8];
    wmemset(destination, L'#', 8);
    wchar_t* end = CopyUnits(destination, L"abcd", units);
    EXPECT_EQ(end, destination + units);
    EXPECT_EQ(std::wstring(destination), std::wstring(L"abcd", static_cast<size_t>(units)));
    EXPECT_EQ(destination[units + 1], L'#') << units;
  }
}

TEST_F(Strings, ReleaseAndEmptyResultMoveTheOffset) {
  AppendText(L"abcd");
  ScratchReserve(5, 4);
  EXPECT_EQ(ScratchOffset, 14);
  ScratchRelease(3);
  EXPECT_EQ(ScratchOffset, 8);
  ScratchEmptyResult(2);
  EXPECT_EQ(ScratchOffset, 2);
  EXPECT_EQ(Read(ScratchAddress(2)), L"");
  EXPECT_EQ(Read(ScratchAddress(0)), L"a");
}

TEST_F(Strings, MarkGuardRestoresAndSecondResultReplacesFirst) {
  AppendText(L"outer");
  int32_t outer = ScratchOffset;
  {
    ScratchMark mark;
    TextLeft(L"first result", 5, mark);
    TextRight(L"xyz", 2, mark);
    EXPECT_EQ(Read(mark.Text()), L"yz");
    EXPECT_TRUE(mark.Equals(L"yz"));
    EXPECT_EQ(ScratchOffset, outer);
  }
  EXPECT_EQ(ScratchOffset, outer);
}

// ---- String functions
//
// Every producer row runs in four placements: the text outside the scratch at
// mark 0; at a mark above another temporary, which must survive; the text lying
// at the result offset itself (a nested call); and that again in a fresh 16-byte
// scratch, so that reserving moves the buffer under the call.

using Producer = std::function<void(const wchar_t* text, int32_t result)>;

// A string variable's block holding text, made without the scratch; null for a missing text.
String OnStringHeap(const wchar_t* text) {
  if (!text) return nullptr;
  const size_t bytes = (wcslen(text) + 1) * sizeof(wchar_t);
  auto* block = static_cast<String>(HeapAlloc(StringHeap, 0, bytes));
  memcpy(block, text, bytes);
  return block;
}

// A new 16-byte scratch with a block right behind it, so that growing cannot
// happen in place: the buffer moves and its old block is freed, which is what
// exposes an address kept across the reserve.
class FreshScratchThatMustMove {
 public:
  FreshScratchThatMustMove() {
    StringsInit();
    *blocker_.Slot() = OnStringHeap(L"blocker");
  }

 private:
  StringValue blocker_;
};

void CheckProducer(const Producer& produce, const wchar_t* input, const std::wstring& expected) {
  SCOPED_TRACE(testing::Message() << "input \"" << Read(input) << (input ? "\"" : "\" (missing)"));
  auto check = [&](int32_t mark, const char* placement) {
    SCOPED_TRACE(placement);
    EXPECT_EQ(Read(ScratchAddress(mark)), expected);
    EXPECT_EQ(ScratchOffset, mark + 2 * static_cast<int32_t>(expected.size()));
  };
  {
    StringValue copy;
    *copy.Slot() = OnStringHeap(input);
    ScratchOffset = 0;
    produce(copy.Get(), 0);
    check(0, "outside the scratch");

    ScratchOffset = 0;
    AppendText(L"below");
    int32_t mark = ScratchOffset += 2;
    produce(copy.Get(), mark);
    check(mark, "above a temporary");
    EXPECT_EQ(Read(ScratchAddress(0)), L"below");
  }
  if (!input) return;
  ScratchOffset = 0;
  AppendText(input);
  produce(ScratchAddress(0), 0);
  check(0, "at its own offset");

  FreshScratchThatMustMove blocker;
  AppendText(input);
  produce(ScratchAddress(0), 0);
  check(0, "at its own offset, growing");
}

TEST_F(Strings, TextFieldSplitsAtTheFirstSeparatorUnit) {
  struct Row {
    const wchar_t* text;
    int32_t index;
    const wchar_t* separator;
    const wchar_t* field;
  };
  const Row rows[] = {
      {L"C:\\Users\\user1\\", 3, L"\\", L"user1"}, {L"C:\\Users\\user1\\", 4, L"\\", L""},
      {L"a,b", 0, L",", L""},    {L"a,b", -1, L",", L""},   {L"a,b", INT_MIN, L",", L""},
      {L"a,b", 3, L",", L""},    {L"a,b", INT_MAX, L",", L""}, {L"a,,b", 2, L",", L""},
      {L"a,,b", 3, L",", L"b"}, {L"abc", 1, L",", L"abc"}, {nullptr, 1, L",", L""},
      {L"a;b", 2, L";,", L"b"},  {L",a", 1, L",", L""},    {L"a,", 2, L",", L""},
      {L"x\"url\"y", 2, L"\"", L"url"}, {L"x\"y", 2, L"\"", L"y"}, {L"xy", 2, L"\"", L""},
      {L"a,b", 1, L"", L"a,b"},  {L"a,b", 2, L"", L""},    {L"a,b", 1, nullptr, L"a,b"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << "index " << row.index);
    CheckProducer([&](const wchar_t* t, int32_t r) { TextField(t, row.index, row.separator, r); }, row.text,
                  row.field);
  }
}

TEST_F(Strings, TextFindCountsFromTheBeginning) {
  struct Row {
    const wchar_t* text;
    const wchar_t* search;
    int32_t start;
    int32_t position;
  };
  const Row rows[] = {
      {L"abcabc", L"c", 4, 6}, {L"abc", L"c", 0, 3},      {L"abc", L"c", INT_MIN, 3}, {L"abc", L"a", 4, 0},
      {L"abc", L"", 1, 0},     {L"", L"a", 1, 0},         {L"abc", L"C", 1, 0},      {nullptr, L"a", 1, 0},
      {L"abc", nullptr, 1, 0}, {L"abc", L"bcd", 1, 0},    {L"abcabc", L"abc", 2, 4}, {L"abc", L"abc", 1, 1},
      {L"abc", L"c", 3, 3},    {L"abc", L"a", INT_MAX, 0}, {L"aab", L"ab", 1, 2},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(TextFind(row.text, row.search, row.start), row.position)
        << Read(row.text) << " / " << Read(row.search) << " from " << row.start;
  }
}

TEST_F(Strings, TrimsRemoveSpacesOnly) {
  struct Row {
    const wchar_t* text;
    const wchar_t* trimmed;
  };
  const Row rows[] = {
      {L"  a  ", L"a"}, {L"   ", L""},   {L"", L""},     {nullptr, L""},
      {L"\ta\t", L"\ta\t"}, {L" a b ", L"a b"}, {L"ab", L"ab"}, {L"  a  b c   ", L"a  b c"},
  };
  for (const Row& row : rows) CheckProducer(TextTrim, row.text, row.trimmed);
}

TEST_F(Strings, LeftAndRightClampTheCount) {
  struct Row {
    const wchar_t* text;
    int32_t count;
    const wchar_t* left;
    const wchar_t* right;
  };
  const Row rows[] = {
      {L"abc", -1, L"", L""},      {L"abc", 0, L"", L""},          {L"abc", 2, L"ab", L"bc"},
      {L"abc", 3, L"abc", L"abc"}, {L"abc", 10, L"abc", L"abc"},   {L"abc", INT_MAX, L"abc", L"abc"},
      {L"abc", INT_MIN, L"", L""}, {nullptr, 2, L"", L""},         {L"", 1, L"", L""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.count);
    CheckProducer([&](const wchar_t* t, int32_t r) { TextLeft(t, row.count, r); }, row.text, row.left);
    CheckProducer([&](const wchar_t* t, int32_t r) { TextRight(t, row.count, r); }, row.text, row.right);
  }
}

TEST_F(Strings, TextLowerKeepsTheLength) {
  struct Row {
    const wchar_t* text;
    const wchar_t* lower;
  };
  const Row rows[] = {
      {L"ABC Def", L"abc def"}, {L"readme.URL", L"readme.url"}, {L"\u00C4\u00D6X", L"\u00E4\u00F6x"},
      {L"\U0001F600A", L"\U0001F600a"}, {L"", L""},             {nullptr, L""},
      {L"AB\u00C4", L"ab\u00e4"},
  };
  for (const Row& row : rows) CheckProducer(TextLower, row.text, row.lower);

  std::wstring ascii;
  for (wchar_t unit = 1; unit < 0x80; ++unit) ascii += unit;
  std::wstring lowered = ascii;
  CharLowerW(lowered.data());
  CheckProducer(TextLower, ascii.c_str(), lowered.c_str());
}

TEST_F(Strings, TextLengthCountsCodeUnits) {
  struct Row {
    const wchar_t* text;
    int32_t length;
  };
  for (const Row& row : {Row{nullptr, 0}, Row{L"", 0}, Row{L"abc", 3}, Row{L"\U0001F600", 2}}) {
    EXPECT_EQ(TextLength(row.text), row.length);
  }
}

// ---- Chains at one mark, as callers nest them

TEST_F(Strings, ChainsAtOneMarkMatchTheSameCallsOnCopies) {
  struct Row {
    const char* name;
    const wchar_t* text;
    std::function<void(const wchar_t*, int32_t)> inner;
    std::function<void(const wchar_t*, int32_t)> outer;
  };
  const Row rows[] = {
      {"Lower(Right)", L"Favourites.URL", [](const wchar_t* t, int32_t r) { TextRight(t, 4, r); }, TextLower},
      {"Trim(Field)", L"name=\" value here \"", [](const wchar_t* t, int32_t r) { TextField(t, 2, L"\"", r); },
       TextTrim},
      {"Left(Trim)", L"   a title   ", TextTrim, [](const wchar_t* t, int32_t r) { TextLeft(t, 5, r); }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::wstring expected;
    {
      StringValue inner;
      ScratchMark mark;
      row.inner(row.text, mark);
      mark.StoreIn(inner.Slot());
      row.outer(inner.Get(), mark);
      expected = mark.Text();
    }
    FreshScratchThatMustMove blocker;
    ScratchMark mark;
    row.inner(row.text, mark);
    row.outer(mark.Text(), mark);
    EXPECT_EQ(Read(mark.Text()), expected);
    EXPECT_EQ(ScratchOffset, 2 * static_cast<int32_t>(expected.size()));
  }
}

TEST_F(Strings, ChainThatReallocatesTwiceKeepsItsResult) {
  FreshScratchThatMustMove blocker;
  std::wstring expected = L"Abc";
  ScratchMark mark;
  AppendText(L"Abc");
  const char* before = StringScratch;
  for (int step = 0; step < 13; ++step) {
    AppendText(mark.Text());
    expected += expected;
  }
  EXPECT_GT(ScratchCapacity, 16396) << "the chain was meant to grow the buffer more than once";
  EXPECT_NE(StringScratch, before) << "the chain was meant to move the buffer";
  EXPECT_EQ(Read(mark.Text()), expected);
  TextLower(mark.Text(), mark);
  TextRight(mark.Text(), 5, mark);
  EXPECT_EQ(Read(mark.Text()), L"bcabc");
}

// ---- Against a plain std::wstring

std::wstring RandomText(std::mt19937& random, uint32_t longest) {  // a small alphabet, so matches are frequent
  std::wstring text(random() % (longest + 1), L' ');
  for (wchar_t& unit : text) unit = L"aAb ,\""[random() % 6];
  return text;
}

std::wstring Replaced(std::wstring text, const std::wstring& search, const std::wstring& by) {
  for (size_t at = 0; !search.empty() && (at = text.find(search, at)) != std::wstring::npos; at += by.size())
    text.replace(at, search.size(), by);
  return text;
}

// Every function on random texts and arguments, the text outside the scratch, at the
// result offset or sealed below it, each with room to spare and so near the end of the
// capacity that the call grows the buffer, which moves: a block sits right behind it.
TEST_F(Strings, FunctionsAgreeWithAPlainStringModelInEveryPlacement) {
  static const char* const Names[] = {"Field", "Find", "Trim", "Left", "Right", "Lower", "Length"};
  static const char* const Places[] = {"outside the scratch", "at the result offset", "sealed below it"};
  int32_t grew[3] = {};
  for (uint32_t seed = 1; seed <= 100; ++seed) {
    std::mt19937 random(seed);
    const std::wstring text = RandomText(random, 40), search = RandomText(random, 3);
    const auto length = static_cast<int32_t>(text.size());
    const int32_t n = static_cast<int32_t>(random() % static_cast<uint32_t>(length + 6)) - 2;
    const auto slack = static_cast<int32_t>(random() % 3), units = static_cast<int32_t>(6 + random() % 2000);
    const auto from = static_cast<size_t>(std::clamp(n - 1, 0, length));
    const auto kept = static_cast<size_t>(std::clamp(n, 0, length));
    const size_t first = std::min(text.find_first_not_of(L' '), text.size()), end = text.find_last_not_of(L' ') + 1;
    for (int32_t call = 0; call < 42; ++call) {  // 7 functions, 3 placements, with and without growth
      const int32_t function = call / 6, place = call / 2 % 3;
      const bool grow = call % 2;
      // Runs the function on t into r and answers the model's result; the two that count put
      // their number in *count and answer the model's as text (npos + 1 is 0: not found).
      auto run = [&](const wchar_t* t, int32_t r, int32_t* count) -> std::wstring {
        const wchar_t* s = search.c_str();
        const wchar_t unit = search.empty() ? 0 : search[0];  // 0 never occurs in text
        switch (function) {
          case 0: {  // fields end at the separator's first unit
            int32_t index = (n + 2) % 8 - 1;
            TextField(t, index, s, r);
            std::wstring rest = text;
            for (; index > 1 && rest.find(unit) != std::wstring::npos; --index) rest.erase(0, rest.find(unit) + 1);
            return index == 1 ? rest.substr(0, rest.find(unit)) : L"";
          }
          case 1: *count = TextFind(t, s, n); return std::to_wstring(search.empty() ? 0 : text.find(search, from) + 1);
          case 2: TextTrim(t, r); return end ? text.substr(first, end - first) : L"";
          case 3: TextLeft(t, n, r); return text.substr(0, kept);
          case 4: TextRight(t, n, r); return text.substr(text.size() - kept);
          case 5: TextLower(t, r); return Replaced(text, L"A", L"a");  // the alphabet's only capital
          default: *count = TextLength(t); return std::to_wstring(length);
        }
      };
      SCOPED_TRACE(testing::Message() << "seed " << seed << ": Text" << Names[function] << " on "
                                      << testing::PrintToString(text) << ", n " << n << ", "
                                      << testing::PrintToString(search) << ", "
                                      << Places[place] << (grow ? ", growing" : ""));
      HeapDestroy(StringHeap);  // a fresh heap, its scratch of the drawn size, a block behind it
      StringsInit();
      ScratchReserve(units, 0);
      ScratchEmptyResult(0);
      OnStringHeap(L"a block behind the scratch");
      const int32_t setup = place == 0 ? 0 : 2 * length + (place == 2 ? 2 : 0);
      ScratchOffset = grow ? ScratchCapacity - 6 - 2 * slack - setup : 0;
      StringValue value;
      *value.Slot() = OnStringHeap(text.c_str());
      ScratchMark mark;
      if (place) AppendText(text.c_str());
      const wchar_t* t = place == 0 ? value.Get() : place == 1 ? mark.Text() : mark.Seal();
      const int32_t r = place == 1 ? static_cast<int32_t>(mark) : ScratchOffset;
      const int32_t capacity = ScratchCapacity, offset = ScratchOffset;
      int32_t count = -1;
      const std::wstring want = run(t, r, &count);
      const wchar_t* got = ScratchAddress(r);  // read a few units past the expected end at most, never past the block
      const size_t room = std::min(static_cast<size_t>(ScratchCapacity + 10 - r) / 2, want.size() + 8);
      EXPECT_EQ(count >= 0 ? std::to_wstring(count) : std::wstring(got, wcsnlen(got, room)), want);
      EXPECT_EQ(ScratchOffset, count >= 0 ? offset : r + 2 * static_cast<int32_t>(want.size()));
      if (place == 2) { EXPECT_EQ(Read(ScratchAddress(mark)), text) << "the sealed temporary"; }
      EXPECT_TRUE(HeapValidate(StringHeap, 0, nullptr));
      EXPECT_TRUE(grow || ScratchCapacity == capacity) << "grew with room to spare";
      grew[place] += ScratchCapacity != capacity;
      ASSERT_FALSE(HasFailure());  // the first failing case is enough to repeat it
    }
  }
  for (int32_t place = 0; place < 3; ++place) EXPECT_GT(grew[place], 0) << Places[place] << " never grew";
}

}  // namespace
