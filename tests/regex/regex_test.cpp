#include <gtest/gtest.h>
#include <pcre2.h>

#include <cctype>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "regex/regex.h"
#include "strings/strings.h"
#include "support/test_support.h"

namespace {

const auto* const Libraries = testing_support::StartLibraries({StringsInit, RegexInit});

const wchar_t TagPattern[] = L"\\<[^\\<]+\\>";

// Runs one replacement at a fresh mark and checks the producer contract on the way.
std::wstring Replace(ObjectId regex, const wchar_t* text, const wchar_t* replacement) {
  ScratchMark mark;
  RegexReplace(regex, text, replacement, mark);
  const std::wstring produced = mark.Text();
  EXPECT_EQ(ScratchOffset, mark + static_cast<int32_t>(2 * produced.size()));
  return produced;
}

// A pattern that lives for one test.
class Pattern {
 public:
  explicit Pattern(const wchar_t* pattern, ObjectId number = DynamicNumber)
      : created_(RegexCreate(number, pattern)), id_(number == DynamicNumber ? created_ : number) {}
  ~Pattern() { RegexFree(id_); }
  Pattern(const Pattern&) = delete;
  Pattern& operator=(const Pattern&) = delete;

  intptr_t created() const { return created_; }
  ObjectId id() const { return id_; }
  std::wstring Replace(const wchar_t* text, const wchar_t* replacement) const {
    return ::Replace(id_, text, replacement);
  }

 private:
  intptr_t created_;
  ObjectId id_;
};

bool JitAvailable() {
  uint32_t jit = 0;
  pcre2_config(PCRE2_CONFIG_JIT, &jit);
  return jit != 0;
}

// Every allocation from RuntimeHeap is refused while one lives.
class RefusedAllocations {
 public:
  RefusedAllocations() { RuntimeRefusesAllocation = [] { return true; }; }
  ~RefusedAllocations() { RuntimeRefusesAllocation = nullptr; }
  RefusedAllocations(const RefusedAllocations&) = delete;
  RefusedAllocations& operator=(const RefusedAllocations&) = delete;
};

int DynamicCount() {
  int count = 0;
  for (DynamicNode* node = RegexTable->newest; node; node = node->older) ++count;
  return count;
}

struct ReplaceCase {
  const char* name;
  const wchar_t* pattern;
  const wchar_t* text;
  const wchar_t* replacement;
  const wchar_t* expected;
  bool compiledByJit = true;  // false where the JIT cannot take the pattern (\C in UTF-8 mode)
  bool interpreterGivesUp = false;  // the JIT code, made for the purpose, finds what the interpreter cannot
};

// 60,000 bytes over which the JIT code's stack runs out and the interpreter's does not.
const std::wstring LongAlternation = [] {
  std::wstring text;
  for (int i = 0; i < 30000; ++i) text += L"ab";
  return text;
}();

const ReplaceCase ReplaceCases[] = {
    // The import's tag pattern on lines as browsers write them.
    {"bookmark line", TagPattern,
     L"        <DT><A HREF=\"https://example.org/\" ADD_DATE=\"1300000000\" ICON=\"data:image/png;base64,iVBOR\">Example Domain</A>",
     L"", L"        Example Domain"},
    {"description line", TagPattern, L"<DD>Notes about <b>this</b> page", L"", L"Notes about this page"},
    {"folder heading", TagPattern, L"    <DT><H3 ADD_DATE=\"1\" LAST_MODIFIED=\"2\">Bookmarks bar</H3>", L"",
     L"    Bookmarks bar"},
    {"spaces between tags kept in order", TagPattern, L"<i>a</i> <b> b </b>  c", L"", L"a  b   c"},
    {"line without tags", TagPattern, L"plain text, 3 > 2 & no mark-up", L"", L"plain text, 3 > 2 & no mark-up"},
    {"angle brackets around text form a tag", TagPattern, L"3 < 4 and 5 > 2", L"", L"3  2"},
    {"unclosed bracket before a tag", TagPattern, L"a <b <c> d>", L"", L"a <b "},
    {"tag pattern with a replacement", TagPattern, L"<p>x<br>y</p>", L"|", L"|x|y|"},
    // Empty matches end the work and keep the rest.
    {"empty match after a match", L"a*", L"aaab", L"X", L"Xb"},
    {"empty match at the start", L"a*", L"baaa", L"X", L"baaa"},
    {"empty pattern", L"", L"abc", L"X", L"abc"},
    // Every remainder is a new subject.
    {"anchor on every remainder", L"^a", L"aaa", L"X", L"XXX"},
    {"look-behind located by plain search", L"(?<=a)b", L"bab", L"X", L"XaX"},
    {"plain search passes a partial occurrence", L"(?<=x)ab", L"aab xab", L"X", L"aX xX"},
    {"word boundary located by plain search", L"\\bcat", L"concat cat", L"dog", L"condog dog"},
    // Replacements are literal.
    {"backslash group reference", L"(b)", L"abc", L"\\1", L"a\\1c"},
    {"dollar group reference", L"(b)", L"abc", L"$1", L"a$1c"},
    {"dollar zero and ampersand", L"b", L"abc", L"$0&", L"a$0&c"},
    // No match and empty inputs.
    {"no match", L"z+", L"abc", L"X", L"abc"},
    {"empty text", L"a", L"", L"X", L""},
    {"missing replacement deletes", L"b+", L"abbbc", nullptr, L"ac"},
    {"replacement longer than the text", L"x", L"x", L"0123456789", L"0123456789"},
    // Text outside the matches survives the trip through UTF-8.
    {"accented text kept", L"<[^>]*>", L"caf\u00e9 <b>na\u00efve</b> \u00e9t\u00e9", L"", L"caf\u00e9 na\u00efve \u00e9t\u00e9"},
    {"character above U+FFFF kept", L"x", L"\U0001F600x\u00e9x\U0001D11E", L"-", L"\U0001F600-\u00e9-\U0001D11E"},
    {"non-ASCII pattern", L"\u00e9+", L"caf\u00e9\u00e9 th\u00e9", L"e", L"cafe the"},
    {"dot matches a whole character", L"a.b", L"a\U0001F600b a\u00e9b", L"X", L"X X"},
    {"non-ASCII replacement", L"o", L"foo", L"\u00f6\U0001F600", L"f\u00f6\U0001F600\u00f6\U0001F600"},
    {"CJK text", L"\\s+", L"\u4e66\u7b7e  \u680f", L"_", L"\u4e66\u7b7e_\u680f"},
    // A match ending inside a character takes all of it; no search starts inside one.
    {"single byte of a character", L"a\\C", L"a\u00e9a\u00e9a\U0001F600", L"X", L"XXX", false},
    {"single bytes between ASCII", L"b\\C", L"ab\u00e9c b\U0001F600", L"X", L"aXc X", false},
    {"match beginning inside a character", L"\\C\\K\\C", L"\u00e9b", L"X", L"Xb", false},
    // The engine does not decide the result.
    {"JIT stack spent", L"(a|b)+", LongAlternation.c_str(), L"X", L"X"},
    {"nested repetition", L"(x+x+)+y", L"xxxxxxxxxxxxxxxxxxxxxx xxy", L"Y", L"xxxxxxxxxxxxxxxxxxxxxx Y"},
    {"interpreter's match limit reached", L"(x|xx)+y", L"xxxxxxxxxxxxxxxxxxxxxxxxxxxxxx xxy", L"Y",
     L"xxxxxxxxxxxxxxxxxxxxxxxxxxxxxx Y", true, true},
    {"JIT code's match limit reached", L"(?:x+x+)+y", L"xxxxxxxxxxxxxxxxxxxxxxx xxy", L"Y", L"xxxxxxxxxxxxxxxxxxxxxxx Y"},
};

class ReplaceTable : public ::testing::TestWithParam<ReplaceCase> {};

// Once a pattern has searched 64 KB it has JIT code, which searches first and must
// give the same text as the interpreter did.
TEST_P(ReplaceTable, GivesExpectedTextBeforeAndAfterJitCode) {
  const ReplaceCase& c = GetParam();
  Pattern pattern(c.pattern);
  ASSERT_NE(pattern.created(), 0) << RegexLastError();
  EXPECT_EQ(pattern.Replace(c.text, c.replacement), std::wstring(c.expected));
  const auto* record = reinterpret_cast<const RegexRecord*>(pattern.created());
  EXPECT_EQ(record->hasJitCode, JitAvailable() && c.interpreterGivesUp);
  pattern.Replace(std::wstring(64 * 1024, L'.').c_str(), L"");
  if (JitAvailable() && c.compiledByJit) {
    EXPECT_TRUE(record->hasJitCode);
  }
  EXPECT_EQ(pattern.Replace(c.text, c.replacement), std::wstring(c.expected));
}

INSTANTIATE_TEST_SUITE_P(Regex, ReplaceTable, ::testing::ValuesIn(ReplaceCases),
                         [](const auto& info) {
                           std::string name;
                           for (const char* p = info.param.name; *p; ++p)
                             name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                           return name;
                         });

TEST(Regex, MissingTextGivesEmptyResult) {
  Pattern pattern(L"a");
  ScratchMark outer;
  AppendText(L"before");
  ScratchMark mark;
  RegexReplace(pattern.id(), nullptr, L"X", mark);
  EXPECT_EQ(ScratchOffset, static_cast<int32_t>(mark));
  EXPECT_STREQ(mark.Text(), L"");
}

TEST(Regex, IdentifiersThatNameNoPatternGiveEmptyResults) {
  intptr_t freedDynamic = RegexCreate(DynamicNumber, L"a");
  RegexFree(freedDynamic);
  Pattern freedNumber(L"a", 3);
  RegexFree(3);
  int notARecord = 0;
  const ObjectId unknown[] = {0, 7, 15, 40, 1000, freedDynamic, 3, reinterpret_cast<ObjectId>(&notARecord)};
  for (ObjectId id : unknown) EXPECT_EQ(Replace(id, L"abc", L"X"), L"") << id;
}

TEST(Regex, NumberedPatternIsNamedByItsNumber) {
  Pattern pattern(L"[0-9]+", 5);
  EXPECT_NE(pattern.created(), 0);
  EXPECT_EQ(pattern.created(), ObjectIdentifierOf(ObjectFind(RegexTable, 5)));
  EXPECT_EQ(Replace(5, L"a1b22c333", L"#"), L"a#b#c#");
}

TEST(Regex, OutputBeyondFourThousandBytesIsComplete) {
  std::wstring text, expected;
  for (int i = 0; i < 3000; ++i) {
    text += L"a\u00e9";
    expected += L"xyz\u00e9";
  }
  Pattern pattern(L"a");
  EXPECT_EQ(pattern.Replace(text.c_str(), L"xyz"), expected);

  const std::wstring huge(10000, L'R');
  EXPECT_EQ(pattern.Replace(L"1a2a3", huge.c_str()), L"1" + huge + L"2" + huge + L"3");

  const std::wstring tail(9000, L't');
  EXPECT_EQ(pattern.Replace((L"a" + tail).c_str(), L"b"), L"b" + tail);
}

// Each repetition of the group is one more level of backtracking. The interpreter
// searches the shorter text, keeping its levels on the heap; the longer one is
// searched by the JIT code, whose stack its levels pass, and then by the
// interpreter again. No search matches, and the text comes back whole.
TEST(Regex, SearchTooDeepForItsStackLeavesTheText) {
  for (size_t length : {4000, 200000}) {
    Pattern pattern(L"^(a|b)*c");
    // The "c" at the end keeps PCRE2 from ruling the match out before it searches.
    const std::wstring text = std::wstring(length, L'a') + L"-c";
    EXPECT_EQ(pattern.Replace(text.c_str(), L"X"), text) << length;
  }
}

TEST(Regex, TextLyingInTheScratchAtTheResultOffset) {
  Pattern pattern(TagPattern);
  ScratchMark mark;
  AppendText(L"<a href=\"x\">nested</a> call");
  RegexReplace(pattern.id(), mark.Text(), L"", mark);
  EXPECT_STREQ(mark.Text(), L"nested call");
  EXPECT_EQ(ScratchOffset, mark + 2 * 11);

  // A result far longer than its argument in the scratch, so that the scratch grows.
  AppendText(L"<x>abc");
  const std::wstring wide(100000, L'w');
  RegexReplace(pattern.id(), ScratchAddress(mark + 2 * 11), wide.c_str(), mark + 2 * 11);
  EXPECT_EQ(std::wstring(mark.Text()), L"nested call" + wide + L"abc");
  RegexReplace(pattern.id(), L"<b>", wide.c_str(), mark);
  EXPECT_EQ(std::wstring(mark.Text()), wide);
}

TEST(Regex, RecreatingUnderAUsedNumberFreesTheOldPattern) {
  const intptr_t first = RegexCreate(4, L"a");
  ASSERT_NE(first, 0);
  const size_t held = RegexBlocksHeld();
  const intptr_t second = RegexCreate(4, L"b");
  ASSERT_NE(second, 0);
  EXPECT_EQ(second, first);  // the numbered record is reused
  EXPECT_EQ(RegexBlocksHeld(), held);
  EXPECT_EQ(Replace(4, L"ab", L"X"), L"aX");

  // A rejected pattern under the same number still frees the one before it.
  const size_t withMatchData = RegexBlocksHeld();
  EXPECT_EQ(RegexCreate(4, L"(b"), 0);
  EXPECT_EQ(RegexBlocksHeld(), withMatchData - 1);
  EXPECT_EQ(Replace(4, L"ab", L"X"), L"");
}

TEST(Regex, RejectedPatternKeepsPcreMessageUntilNextCreate) {
  const int before = DynamicCount();
  const struct {
    const wchar_t* pattern;
    const char* message;
  } rejected[] = {
      {L"(", "missing closing parenthesis"},
      {L"a{2,1}", "numbers out of order"},
      {L"[z-a]", "range out of order"},
      {L"\\", "\\ at end of pattern"},
  };
  for (const auto& r : rejected) {
    EXPECT_EQ(RegexCreate(DynamicNumber, r.pattern), 0);
    ASSERT_NE(RegexLastError(), nullptr);
    EXPECT_NE(std::strstr(RegexLastError(), r.message), nullptr) << RegexLastError();
  }
  // Failed dynamic creations leave nothing registered.
  EXPECT_EQ(DynamicCount(), before);

  Pattern ok(L"fine");
  EXPECT_NE(ok.created(), 0);
  EXPECT_EQ(RegexLastError(), nullptr);

  EXPECT_EQ(RegexCreate(DynamicNumber, L")"), 0);
  EXPECT_NE(RegexLastError(), nullptr);
  EXPECT_EQ(RegexCreate(DynamicNumber, nullptr), 0);
  EXPECT_EQ(RegexLastError(), nullptr);
  EXPECT_EQ(DynamicCount(), before + 1);
}

TEST(Regex, FreeReleasesThePatternOnceAndIgnoresTheRest) {
  const size_t held = RegexBlocksHeld();
  const intptr_t id = RegexCreate(DynamicNumber, L"x");
  ASSERT_NE(id, 0);
  EXPECT_EQ(RegexBlocksHeld(), held + 1);
  RegexFree(id);
  EXPECT_EQ(RegexBlocksHeld(), held);
  RegexFree(id);
  RegexFree(DynamicNumber);
  RegexFree(9);
  RegexFree(0);
  EXPECT_EQ(RegexBlocksHeld(), held);
  EXPECT_EQ(ObjectFind(RegexTable, id), nullptr);
}

// RegexEnd gives back every pattern, with its JIT code, and the match data and JIT
// stack the searches made; only PCRE2's contexts stay.
TEST(Regex, EndFreesEveryPatternLeft) {
  RegexEnd();
  const size_t held = RegexBlocksHeld();
  const intptr_t numbered = RegexCreate(6, L"n");
  const intptr_t dynamicA = RegexCreate(DynamicNumber, L"d");
  const intptr_t dynamicB = RegexCreate(DynamicNumber, L"e");
  ASSERT_TRUE(numbered && dynamicA && dynamicB);
  EXPECT_EQ(Replace(6, L"n", L"X"), L"X");
  Replace(dynamicA, std::wstring(64 * 1024, L'd').c_str(), L"");
  EXPECT_EQ(reinterpret_cast<RegexRecord*>(dynamicA)->hasJitCode, JitAvailable());
  RegexEnd();
  EXPECT_EQ(RegexBlocksHeld(), held);
  EXPECT_EQ(RegexTable->newest, nullptr);
  EXPECT_EQ(Replace(6, L"n", L"X"), L"");
  EXPECT_EQ(Replace(dynamicA, L"d", L"X"), L"");
  // The table stays usable after its objects are gone.
  Pattern again(L"n", 6);
  EXPECT_EQ(Replace(6, L"nn", L"X"), L"XX");
}

// What cannot be had gives the empty result, never a part of the work; the same
// call then succeeds once the heap gives again.
TEST(Regex, RefusedAllocationsGiveEmptyResults) {
  Pattern pattern(L"b");
  std::wstring text, expected;
  const std::wstring longReplacement(70000, L'R');
  for (int i = 0; i < 10; ++i) {
    text += L"abc";
    expected += L"a" + longReplacement + L"c";
  }
  // The text's copy and the output keep their room from this call; the long
  // replacement's copy needs more than any kept block holds.
  pattern.Replace(text.c_str(), L"-");
  {
    RefusedAllocations refused;
    EXPECT_EQ(pattern.Replace(text.c_str(), longReplacement.c_str()), L"");
  }
  EXPECT_EQ(pattern.Replace(text.c_str(), longReplacement.c_str()), expected);

  // The frames of a search this deep outgrow a kept block, so the match data goes
  // back with them and is made again by the next replacement.
  Pattern deep(L"^(a|b)*c");
  const std::wstring deepText = std::wstring(4000, L'a') + L"-c";
  EXPECT_EQ(deep.Replace(deepText.c_str(), L"X"), deepText);
  Pattern numbered(L"a", 7);
  {
    RefusedAllocations refused;
    EXPECT_EQ(pattern.Replace(L"abc", L"X"), L"");
    EXPECT_EQ(RegexCreate(7, L"a+"), 0);  // the record is reused; PCRE2's own allocation is refused
  }
  EXPECT_EQ(pattern.Replace(L"abc", L"X"), L"aXc");
  EXPECT_EQ(Replace(7, L"aab", L"X"), L"");
}

struct Utf8Case {
  const wchar_t* text;
  const char* bytes;
};

const Utf8Case Utf8Cases[] = {
    {L"", ""},
    {L"plain", "plain"},
    {L"\u00e9", "\xC3\xA9"},
    {L"\u20ac1", "\xE2\x82\xAC" "1"},
    {L"\U0001F600", "\xF0\x9F\x98\x80"},
    {L"\uFEFFbom", "\xEF\xBB\xBF" "bom"},
};

TEST(Utf8, ConvertsBothWays) {
  for (const Utf8Case& c : Utf8Cases) {
    char* bytes = ToUtf8(c.text);
    EXPECT_STREQ(bytes, c.bytes);
    FreeUtf8(bytes);
    ScratchMark mark;
    Utf8ToScratch(c.bytes, mark);
    EXPECT_STREQ(mark.Text(), c.text);
    EXPECT_EQ(ScratchOffset, mark + static_cast<int32_t>(2 * std::wcslen(c.text)));
  }
}

TEST(Utf8, MissingInputsAreEmpty) {
  char* bytes = ToUtf8(nullptr);
  ASSERT_NE(bytes, nullptr);
  EXPECT_STREQ(bytes, "");
  FreeUtf8(bytes);
  ScratchMark mark;
  Utf8ToScratch(nullptr, mark);
  EXPECT_STREQ(mark.Text(), L"");
  EXPECT_EQ(ScratchOffset, static_cast<int32_t>(mark));
}

// Sequences cut short by the end of the text must not take the terminator with
// them; the scratch after the result is dirtied first so that a missing one shows.
TEST(Utf8, InvalidBytesBecomeReplacementCharacters) {
  const struct {
    const char* bytes;
    const wchar_t* text;
  } cases[] = {
      {"caf\xE9", L"caf\uFFFD"},
      {"\x80x", L"\uFFFDx"},
      {"a\xFF\xFE" "b", L"a\uFFFD\uFFFDb"},
      {"cut \xE4\xB9", L"cut \uFFFD"},
      {"\xF0\x9F\x98", L"\uFFFD"},
  };
  for (const auto& c : cases) {
    ScratchMark mark;
    AppendText(L"dirty dirty dirty dirty");
    ScratchOffset = mark;
    Utf8ToScratch(c.bytes, mark);
    EXPECT_STREQ(mark.Text(), c.text) << c.bytes;
    EXPECT_EQ(ScratchOffset, mark + static_cast<int32_t>(2 * std::wcslen(c.text))) << c.bytes;
  }
}

}  // namespace
