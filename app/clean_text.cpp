// The clean-up of an imported title or description. Its steps run one after another
// on a copy of the text at the caller's mark, so that a later step sees what an
// earlier one produced, never the reverse. No step lengthens the text, which lets
// each one rewrite the copy in place, left to right.
#include "application.h"

#include <cwchar>
#include <string_view>

namespace {

struct Reference {
  std::wstring_view encoded;
  std::wstring_view decoded;
};

// "&#128" has no semicolon: one that follows it stays in the text.
constexpr Reference DecodedReferences[] = {
    {L"&amp;", L"&"},  {L"&lt;", L"<"},       {L"&gt;", L">"},  {L"&apos;", L"'"},
    {L"&quot;", L"\""}, {L"&#128", L"\u0080"}, {L"&#39;", L"'"},
};
constexpr Reference CarriageReturn{L"\r", L""};

// True when only the final trim could change the text: no CR to remove, no
// leading LF, and no "&" with which every reference begins.
bool OnlyTrimApplies(const wchar_t* text) {
  if (!text) return true;
  if (text[0] == L'\n') return false;
  for (; *text; ++text)
    if (*text == L'\r' || *text == L'&') return false;
  return true;
}

// Replaces every occurrence of the encoded text at or after from, scanning left to
// right, and returns the new length. The decoded text is never longer, so the
// writes never overtake the reads.
size_t ReplaceInPlace(wchar_t* text, size_t length, const Reference& reference, size_t from = 0) {
  const std::wstring_view whole(text, length);
  size_t found = whole.find(reference.encoded, from);
  if (found == std::wstring_view::npos) return length;
  size_t written = found;
  size_t read = found;
  while (found != std::wstring_view::npos) {
    wmemmove(text + written, text + read, found - read);
    written += found - read;
    wmemcpy(text + written, reference.decoded.data(), reference.decoded.size());
    written += reference.decoded.size();
    read = found + reference.encoded.size();
    found = whole.find(reference.encoded, read);
  }
  wmemmove(text + written, text + read, length - read);
  written += length - read;
  text[written] = L'\0';
  return written;
}

}  // namespace

void CleanText(const wchar_t* text, int32_t result) {
  if (OnlyTrimApplies(text)) {
    TextTrim(text, result);
    return;
  }
  // The steps rewrite one copy of the text at the result, so room for the whole
  // text is reserved before anything is written.
  const int32_t length = TextLength(text);
  wchar_t* value = ScratchReserveFor(length, result, &text);
  CopyUnits(value, text, length);
  size_t units = ReplaceInPlace(value, static_cast<size_t>(length), CarriageReturn);
  if (value[0] == L'\n') {
    wmemmove(value, value + 1, units);
    --units;
  }
  // Every reference begins with "&", and no pass changes the text before the first one.
  const size_t firstAmpersand = std::wstring_view(value, units).find(L'&');
  if (firstAmpersand != std::wstring_view::npos)
    for (const Reference& reference : DecodedReferences)
      units = ReplaceInPlace(value, units, reference, firstAmpersand);
  TextTrim(value, result);
}
