#include <gtest/gtest.h>

#include <cstdlib>
#include <iterator>
#include <string>

#include "application.h"

namespace {

std::wstring Read(const wchar_t* text) { return text ? text : L""; }

class CleanTextTest : public ::testing::Test {
 protected:
  void SetUp() override { StringsInit(); }
};

struct Row {
  const wchar_t* text;
  const wchar_t* clean;
};

// Grouped by the step that decides the row; the order of the passes shows in
// the rows whose output of one pass is input to a later one.
const Row Rows[] = {
    // references, each pass once over the whole text
    {L"salt &amp; pepper", L"salt & pepper"},
    {L"a &lt;b&gt; c", L"a <b> c"},
    {L"&amp;lt;", L"<"},
    {L"&amp;amp;", L"&amp;"},
    {L"&amp;quot;&amp;#39;", L"\"'"},
    {L"&lt;amp;", L"<amp;"},
    {L"&#128;", L"\u0080;"},
    {L"&#1280;", L"\u00800;"},
    {L"&#39;", L"'"},
    {L"&apos;", L"'"},
    {L"&quot;quoted&quot;", L"\"quoted\""},
    {L"&#x27; &nbsp; &AMP; &LT; &#60;", L"&#x27; &nbsp; &AMP; &LT; &#60;"},
    {L"&amp", L"&amp"},
    // CR and the first LF
    {L"\r\nTitle", L"Title"},
    {L"\n\nTitle", L"\nTitle"},
    {L"a\r\nb\r", L"a\nb"},
    {L"a\nb", L"a\nb"},
    {L"\r\r\r", L""},
    {L"\n", L""},
    // the trim runs last
    {L"&#32;x", L"&#32;x"},
    {L"\n  spaced  ", L"spaced"},
    {L"&apos; x &apos;", L"' x '"},
    {L"&amp;#128 x", L"\u0080 x"},
    {L"\tkept\t", L"\tkept\t"},
    {L"   ", L""},
    {L"", L""},
};

TEST_F(CleanTextTest, PassesRunInOrder) {
  for (const Row& row : Rows) {
    ScratchMark mark;
    CleanText(row.text, mark);
    EXPECT_EQ(Read(mark.Text()), row.clean) << "from \"" << row.text << "\"";
    EXPECT_EQ(ScratchOffset, mark + 2 * static_cast<int32_t>(wcslen(row.clean)));
  }
}

// The clean-up as its steps read, one whole pass over a plain string each.
std::wstring CleanModel(std::wstring text) {
  const auto replaceAll = [&text](const std::wstring& encoded, const std::wstring& decoded) {
    for (size_t at = text.find(encoded); at != std::wstring::npos; at = text.find(encoded, at + decoded.size()))
      text.replace(at, encoded.size(), decoded);
  };
  replaceAll(L"\r", L"");
  if (!text.empty() && text[0] == L'\n') text.erase(0, 1);
  const wchar_t* references[][2] = {{L"&amp;", L"&"},   {L"&lt;", L"<"},       {L"&gt;", L">"}, {L"&apos;", L"'"},
                                    {L"&quot;", L"\""}, {L"&#128", L"\u0080"}, {L"&#39;", L"'"}};
  for (const auto& reference : references) replaceAll(reference[0], reference[1]);
  const size_t first = text.find_first_not_of(L' ');
  return first == std::wstring::npos ? L"" : text.substr(first, text.find_last_not_of(L' ') - first + 1);
}

// Texts pieced together from the parts of references, so that passes feed later ones.
TEST_F(CleanTextTest, AgreesWithItsStepsOnRandomTexts) {
  const wchar_t* pieces[] = {L"&", L"amp;", L"lt;", L"gt;", L"apos;", L"quot;", L"#128", L"#39;",
                             L"\r", L"\n", L" ", L"x", L";", L"&amp;"};
  std::srand(7);
  for (int round = 0; round < 3000; ++round) {
    std::wstring text;
    for (int n = std::rand() % 12; n > 0; --n) text += pieces[std::rand() % std::size(pieces)];
    ScratchMark mark;
    CleanText(text.c_str(), mark);
    ASSERT_EQ(Read(mark.Text()), CleanModel(text)) << "from \"" << text << "\"";
  }
}

TEST_F(CleanTextTest, MissingTextGivesEmpty) {
  ScratchMark mark;
  CleanText(nullptr, mark);
  EXPECT_EQ(Read(mark.Text()), L"");
  EXPECT_EQ(ScratchOffset, static_cast<int32_t>(mark));
}

// As the import calls it: the argument is a temporary at the very mark the
// clean-up writes to, above another temporary that must survive, and the result
// outgrows the fresh 16-byte scratch.
TEST_F(CleanTextTest, ArgumentAtTheCallersMark) {
  for (const Row& row : Rows) {
    StringsInit();
    AppendText(L"row");
    ScratchOffset += 2;
    ScratchMark mark;
    TextTrim(row.text, mark);
    CleanText(mark.Text(), mark);
    EXPECT_EQ(Read(mark.Text()), Read(row.clean)) << "from \"" << row.text << "\"";
    EXPECT_EQ(ScratchOffset, mark + 2 * static_cast<int32_t>(wcslen(row.clean)));
    EXPECT_EQ(Read(ScratchAddress(0)), L"row");
  }
}

TEST_F(CleanTextTest, LeavesTheCallersValueAlone) {
  StringValue title;
  {
    ScratchMark mark;
    AppendText(L"\r\n &amp;lt;x&amp;gt; ");
    mark.StoreIn(title.Slot());
  }
  ScratchMark mark;
  CleanText(title.Get(), mark);
  EXPECT_EQ(Read(mark.Text()), L"<x>");
  EXPECT_EQ(Read(title.Get()), L"\r\n &amp;lt;x&amp;gt; ");
}

}  // namespace
