// The string functions. A text argument often lies in the scratch at the very offset
// the result goes to, or before it, and reserving room may move the buffer: so each
// producer tags its scratch arguments first, reserves, re-derives their addresses
// and only then writes. Where the result could overwrite what is still to be read,
// the arguments are copied out of the scratch first.
#include <cstdlib>
#include <cwchar>

#include "core/core.h"
#include "strings/strings.h"

namespace {

// Writes units of text from first as the result. The copy may overlap the text in
// either direction when the text lies in the scratch.
void WriteUnits(const wchar_t* text, int32_t first, int32_t units, int32_t result) {
  if (!text) text = L"";
  uint32_t tag = ScratchTag(text);
  wchar_t* out = ScratchReserve(units, result);
  if (tag) text = ScratchFromTag(tag);
  CopyUnits(out, text + first, units);
}

// Whether search's units, the first of which already matched, follow at text. Searches
// are a few units long, so the units are compared in place rather than by a call.
bool OccursAt(const wchar_t* text, const wchar_t* search, int32_t units) {
  for (int32_t i = 1; i < units; ++i)
    if (text[i] != search[i]) return false;
  return true;
}

// A private copy of a scratch argument; null when the argument lies elsewhere.
wchar_t* ScratchCopy(const wchar_t* text) {
  if (!text || !ScratchTag(text)) return nullptr;
  wchar_t* copy = _wcsdup(text);
  if (!copy) ExitProcess(ERROR_NOT_ENOUGH_MEMORY);
  return copy;
}

}  // namespace

void TextField(const wchar_t* text, int32_t index, const wchar_t* separator, int32_t result) {
  if (index < 1) {
    ScratchEmptyResult(result);
    return;
  }
  if (!text) text = L"";
  wchar_t separatorUnit = separator ? separator[0] : 0;
  int32_t fieldStart = 0;
  int32_t fieldEnd = 0;
  int32_t count = 0;
  for (int32_t i = 0;; ++i) {
    if (text[i] != separatorUnit && text[i] != 0) continue;
    if (++count == index) {
      fieldEnd = i;
      break;
    }
    if (text[i] == 0) {
      fieldStart = fieldEnd = i;
      break;
    }
    fieldStart = i + 1;
  }
  WriteUnits(text, fieldStart, fieldEnd - fieldStart, result);
}

int32_t TextFind(const wchar_t* text, const wchar_t* search, int32_t start) {
  if (!text || !search || !search[0]) return 0;
  if (start < 1) start = 1;
  // One pass, without measuring either text first: a start past the end finds its
  // terminator on the way, and an occurrence that would run past the end meets the
  // terminator, which no unit of the search equals.
  for (int32_t at = 0; at < start - 1; ++at)
    if (!text[at]) return 0;
  const wchar_t first = search[0];
  for (const wchar_t* at = text + (start - 1); *at; ++at) {
    if (*at != first) continue;
    int32_t i = 1;
    while (search[i] && at[i] == search[i]) ++i;
    if (!search[i]) return static_cast<int32_t>(at - text) + 1;
    if (!at[i]) return 0;  // the text ended inside this attempt, so every later one ends too
  }
  return 0;
}

void TextTrimLeft(const wchar_t* text, int32_t result) {
  int32_t length = TextLength(text);
  int32_t first = 0;
  while (first < length && text[first] == L' ') ++first;
  WriteUnits(text, first, length - first, result);
}

void TextTrimRight(const wchar_t* text, int32_t result) {
  int32_t end = 0;  // just after the last unit that is not a space
  for (int32_t i = 0; text && text[i]; ++i) {
    if (text[i] != L' ') end = i + 1;
  }
  WriteUnits(text, 0, end, result);
}

void TextTrim(const wchar_t* text, int32_t result) {
  int32_t first = 0;
  while (text && text[first] == L' ') ++first;
  int32_t end = first;
  for (int32_t i = first; text && text[i]; ++i) {
    if (text[i] != L' ') end = i + 1;
  }
  WriteUnits(text, first, end - first, result);
}

void TextLeft(const wchar_t* text, int32_t count, int32_t result) {
  int32_t length = TextLength(text);
  int32_t units = count < 0 ? 0 : count > length ? length : count;
  WriteUnits(text, 0, units, result);
}

void TextRight(const wchar_t* text, int32_t count, int32_t result) {
  int32_t length = TextLength(text);
  int32_t units = count < 0 ? 0 : count > length ? length : count;
  WriteUnits(text, length - units, units, result);
}

void TextMid(const wchar_t* text, int32_t start, int32_t result) {
  int32_t length = TextLength(text);
  // A start below 1 means the whole text; clamping first keeps length - start in range.
  if (start < 1) start = 1;
  int32_t first = start - 1 < length ? start - 1 : length;
  WriteUnits(text, first, length - first, result);
}

void TextLower(const wchar_t* text, int32_t result) {
  const int32_t length = TextLength(text);
  WriteUnits(text, 0, length, result);
  wchar_t* lowered = ScratchAddress(result);
  // CharLowerW maps A-Z to a-z and leaves every other unit below 0x80 as it is, in
  // every locale; doing that here spares its set-up for the common ASCII text.
  if (!IsAscii(lowered, static_cast<size_t>(length))) {
    CharLowerW(lowered);
    return;
  }
  for (wchar_t* unit = lowered; *unit; ++unit)
    if (*unit >= L'A' && *unit <= L'Z') *unit += L'a' - L'A';
}

int32_t TextLength(const wchar_t* text) { return text ? static_cast<int32_t>(wcslen(text)) : 0; }

void TextRemove(const wchar_t* text, const wchar_t* search, int32_t result) {
  uint32_t textTag = ScratchTag(text);
  uint32_t searchTag = ScratchTag(search);
  int32_t length = TextLength(text);
  int32_t searchLength = TextLength(search);
  wchar_t* out = ScratchReserve(length, result);
  if (textTag) text = ScratchFromTag(textTag);
  if (searchTag) search = ScratchFromTag(searchTag);
  if (searchLength == 0) {
    CopyUnits(out, text ? text : L"", length);
    return;
  }
  // The result may run over a scratch search string; the text itself is never overtaken.
  wchar_t* copy = nullptr;
  if (searchTag) {
    copy = static_cast<wchar_t*>(RuntimeAllocate(2 * static_cast<size_t>(searchLength) + 2));
    if (!copy) ExitProcess(ERROR_NOT_ENOUGH_MEMORY);
    search = CopyUnits(copy, search, searchLength) - searchLength;
  }
  int32_t written = 0;
  for (int32_t at = 0; at < length;) {
    if (text[at] == search[0] && at + searchLength <= length && OccursAt(text + at, search, searchLength)) {
      at += searchLength;
    } else {
      out[written++] = text[at++];
    }
  }
  out[written] = 0;
  ScratchRelease(length - written);
  RuntimeFree(copy);
}

void TextReplace(const wchar_t* text, const wchar_t* search, const wchar_t* replacement, int32_t result) {
  // The result can outgrow a scratch argument and overwrite it before it is read.
  wchar_t* textCopy = ScratchCopy(text);
  wchar_t* searchCopy = ScratchCopy(search);
  wchar_t* replacementCopy = ScratchCopy(replacement);
  if (textCopy) text = textCopy;
  if (searchCopy) search = searchCopy;
  if (replacementCopy) replacement = replacementCopy;
  if (!text) text = L"";
  if (!replacement) replacement = L"";
  int32_t length = TextLength(text);
  int32_t searchLength = TextLength(search);
  int32_t replacementLength = TextLength(replacement);

  int64_t occurrences = 0;
  for (int32_t at = 0; searchLength > 0 && at < length;) {
    if (text[at] == search[0] && at + searchLength <= length && OccursAt(text + at, search, searchLength)) {
      ++occurrences;
      at += searchLength;
    } else {
      ++at;
    }
  }
  int64_t units = length + occurrences * (replacementLength - searchLength);
  // Beyond 32-bit offsets the reserve cannot succeed and ends the process itself.
  wchar_t* out = ScratchReserve(units > INT32_MAX ? INT32_MAX : static_cast<int32_t>(units), result);
  if (occurrences == 0) {
    CopyUnits(out, text, length);
  } else {
    for (int32_t at = 0; at < length;) {
      if (text[at] == search[0] && at + searchLength <= length && OccursAt(text + at, search, searchLength)) {
        out = CopyUnits(out, replacement, replacementLength);
        at += searchLength;
      } else {
        *out++ = text[at++];
      }
    }
    *out = 0;
  }
  free(textCopy);
  free(searchCopy);
  free(replacementCopy);
}
