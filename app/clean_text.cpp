// The clean-up of an imported title or description. Its steps run one after another
// on a copy of the text at the caller's mark, so that a later step sees what an
// earlier one produced, never the reverse. No step lengthens the text, which lets
// each one rewrite the copy in place, left to right.
#include "application.h"

#include <cstdint>
#include <cwchar>
#include <iterator>
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
  if (!text || text[0] == L'\n') return !text;
  for (; *text; ++text)
    if (*text == L'\r' || *text == L'&') return false;
  return true;
}

// Replaces every occurrence of the encoded text, scanning left to right, and
// returns the new length. The decoded text is never longer, so the writes never
// overtake the reads.
size_t ReplaceInPlace(wchar_t* text, size_t length, const Reference& reference) {
  const std::wstring_view whole(text, length);
  size_t found = whole.find(reference.encoded);
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

// One bit for each reference that occurs in the text, found in one scan.
uint32_t ReferencesIn(std::wstring_view text) {
  uint32_t found = 0;
  for (size_t at = text.find(L'&'); at != std::wstring_view::npos; at = text.find(L'&', at + 1))
    for (size_t k = 0; k < std::size(DecodedReferences); ++k)
      if (text.compare(at, DecodedReferences[k].encoded.size(), DecodedReferences[k].encoded) == 0) found |= 1u << k;
  return found;
}

}  // namespace

void CleanText(const wchar_t* text, int32_t result) {
  // The whole text is reserved once, beyond the scratch in use, whichever steps the
  // text needs: so the scratch grows exactly when the longest step, the CR removal,
  // would make it grow.
  const uint32_t tag = ScratchTag(text);
  const int32_t length = TextLength(text);
  {
    ScratchMark mark;
    ScratchReserve(length, mark);
  }
  if (tag) text = ScratchFromTag(tag);
  if (OnlyTrimApplies(text)) {
    TextTrim(text, result);
    return;
  }
  wchar_t* value = ScratchAddress(result);
  CopyUnits(value, text, length);
  size_t units = ReplaceInPlace(value, static_cast<size_t>(length), CarriageReturn);
  if (value[0] == L'\n') {
    wmemmove(value, value + 1, units);
    --units;
  }
  // Only "&amp;" decodes to a unit that a reference holds. After its pass, a later
  // pass can remove references but never bring one about, so one scan tells which
  // of them the later passes will find.
  units = ReplaceInPlace(value, units, DecodedReferences[0]);
  const uint32_t later = ReferencesIn(std::wstring_view(value, units));
  for (size_t k = 1; k < std::size(DecodedReferences); ++k)
    if (later & (1u << k)) units = ReplaceInPlace(value, units, DecodedReferences[k]);
  TextTrim(value, result);
}
