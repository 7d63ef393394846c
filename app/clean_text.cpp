// The clean-up of an imported title or description: each step stores its result in
// a local value, so every step runs at a fresh mark and only the final trim writes
// at the caller's mark. The references are decoded in a fixed order; a later pass
// sees what an earlier one produced, never the reverse.
#include "application.h"

#include <cwchar>

namespace {

struct Reference {
  const wchar_t* encoded;
  const wchar_t* decoded;
};

// "&#128" has no semicolon: one that follows it stays in the text.
constexpr Reference DecodedReferences[] = {
    {L"&amp;", L"&"},  {L"&lt;", L"<"},       {L"&gt;", L">"},  {L"&apos;", L"'"},
    {L"&quot;", L"\""}, {L"&#128", L"\u0080"}, {L"&#39;", L"'"},
};

// Runs one producer at a new mark and makes its result the value's new text.
template <typename Producer>
void Update(StringValue& value, Producer produce) {
  ScratchMark mark;
  produce(static_cast<int32_t>(mark));
  mark.StoreIn(value.Slot());
}

// True when only the final trim could change the text: no CR to remove, no
// leading LF, and no "&" with which every reference begins.
bool OnlyTrimApplies(const wchar_t* text) {
  if (!text || text[0] == L'\n') return !text;
  for (; *text; ++text)
    if (*text == L'\r' || *text == L'&') return false;
  return true;
}

}  // namespace

void CleanText(const wchar_t* text, int32_t result) {
  if (OnlyTrimApplies(text)) {
    // The CR removal's reservation of the whole text at this mark is still made,
    // so that the scratch grows exactly when the full clean-up would make it grow.
    const uint32_t tag = ScratchTag(text);
    {
      ScratchMark mark;
      ScratchReserve(TextLength(text), mark);
    }
    TextTrim(tag ? ScratchFromTag(tag) : text, result);
    return;
  }
  StringValue value;
  InitText(value.Slot(), text);
  Update(value, [&](int32_t mark) { TextRemove(value.Get(), L"\r", mark); });
  bool leadingLineFeed;
  {
    ScratchMark mark;
    TextLeft(value.Get(), 1, mark);
    leadingLineFeed = mark.Equals(L"\n");
  }
  if (leadingLineFeed) Update(value, [&](int32_t mark) { TextMid(value.Get(), 2, mark); });
  // A pass whose reference does not occur would only copy the text; it is skipped.
  // Skipping cannot change when the scratch grows: every pass runs at the mark the
  // CR removal already reserved the whole text at, and no pass lengthens the text.
  for (const Reference& reference : DecodedReferences) {
    if (!value.Get() || !wcsstr(value.Get(), reference.encoded)) continue;
    Update(value, [&](int32_t mark) { TextReplace(value.Get(), reference.encoded, reference.decoded, mark); });
  }
  TextTrim(value.Get(), result);
}
