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
  // Every step runs at this mark and none lengthens the text, so the CR removal's
  // reservation of the whole text is the most the clean-up asks of the scratch.
  // It is made whichever steps are skipped below, so that the scratch grows exactly
  // when the full sequence of steps would make it grow.
  const uint32_t tag = ScratchTag(text);
  {
    ScratchMark mark;
    ScratchReserve(TextLength(text), mark);
  }
  if (tag) text = ScratchFromTag(tag);
  if (OnlyTrimApplies(text)) {
    TextTrim(text, result);
    return;
  }
  // A step that would only copy the text is skipped.
  StringValue value;
  InitText(value.Slot(), text);
  if (wcschr(value.Get(), L'\r')) Update(value, [&](int32_t mark) { TextRemove(value.Get(), L"\r", mark); });
  if (value.Get()[0] == L'\n') Update(value, [&](int32_t mark) { TextMid(value.Get(), 2, mark); });
  for (const Reference& reference : DecodedReferences) {
    const wchar_t* ampersand = wcschr(value.Get(), L'&');
    if (!ampersand || !wcsstr(ampersand, reference.encoded)) continue;
    Update(value, [&](int32_t mark) { TextReplace(value.Get(), reference.encoded, reference.decoded, mark); });
  }
  TextTrim(value.Get(), result);
}
