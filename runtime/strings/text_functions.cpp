// The string functions. A text argument often lies in the scratch at the very offset
// the result goes to, or before it, and reserving room may move the buffer: so each
// producer reserves with ScratchReserveFor, which hands back the argument's address
// after the move. No result is longer than its argument, so writing it left to
// right never overtakes what is still to be read.
#include <cwchar>

#include "core/core.h"
#include "strings/strings.h"

namespace {

// Writes units of text from first as the result. The copy may overlap the text in
// either direction when the text lies in the scratch.
void WriteUnits(const wchar_t* text, int32_t first, int32_t units, int32_t result) {
  if (!text) text = L"";
  wchar_t* out = ScratchReserveFor(units, result, &text);
  CopyUnits(out, text + first, units);
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

