// String values and the scratch. Variables own exact-size blocks (2n + 10 bytes) on
// StringHeap; results are built in one growable block addressed by byte offsets.
// The heap is never checked by callers, so a failed allocation ends the process here.
#include "strings/strings.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "core/core.h"

HANDLE StringHeap = nullptr;
char* StringScratch = nullptr;
int32_t ScratchOffset = 0;
int32_t ScratchCapacity = 0;

namespace {

constexpr int32_t ScratchGrowth = 16384;
constexpr int32_t BlockSpare = 10;  // terminator plus 8 spare bytes after every value
constexpr int32_t ScratchLimit = INT32_MAX - ScratchGrowth - BlockSpare;  // the most bytes of results in use

void* Checked(void* block) {
  if (!block) ExitProcess(ERROR_NOT_ENOUGH_MEMORY);
  return block;
}

// A variable's block resized to bytes; a null variable gets a new block.
wchar_t* VariableBlock(String* variable, size_t bytes) {
  void* block = *variable ? HeapReAlloc(StringHeap, 0, *variable, bytes) : HeapAlloc(StringHeap, 0, bytes);
  *variable = static_cast<wchar_t*>(Checked(block));
  return *variable;
}

}  // namespace

bool StringsInit() {
  StringHeap = Checked(HeapCreate(0, 4096, 0));
  StringScratch = static_cast<char*>(Checked(HeapAlloc(StringHeap, HEAP_ZERO_MEMORY, 16)));
  ScratchCapacity = 16;
  ScratchOffset = 0;
  return true;
}

void StoreResult(String* variable, int32_t mark) {
  int32_t bytes = ScratchOffset - mark;
  CopyUnits(VariableBlock(variable, static_cast<size_t>(bytes) + BlockSpare), ScratchAddress(mark), bytes / 2);
  ScratchOffset = mark;
}

void KeptText::Store(int32_t mark) {
  // The result's terminator is copied with it.
  const size_t bytes = static_cast<size_t>(ScratchOffset - mark) + sizeof(wchar_t);
  block_.Finish();
  if (block_.Append(ScratchAddress(mark), bytes, SIZE_MAX) != bytes) block_.Release();
  ScratchOffset = mark;
}

void AppendText(const wchar_t* text) {
  if (!text) {
    *ScratchAddress(ScratchOffset) = 0;
    return;
  }
  // Cheap insurance: a text read from the scratch survives the buffer moving.
  const int32_t units = TextLength(text);
  wchar_t* destination = ScratchReserveFor(units, ScratchOffset, &text);
  CopyUnits(destination, text, units);
}

int32_t CompareText(const wchar_t* a, const wchar_t* b) {
  if (!a) a = L"";
  if (!b) b = L"";
  for (;; ++a, ++b) {
    if (*a != *b) return 0;
    if (*a == 0) return 1;
  }
}

void FreeText(String value) {
  if (value) HeapFree(StringHeap, 0, value);
}

wchar_t* ScratchReserve(int32_t units, int32_t resultOffset) {
  int64_t need = static_cast<int64_t>(ScratchOffset) + 2 * static_cast<int64_t>(units);
  if (need >= ScratchCapacity - 4) {
    // Offsets are 32-bit: a scratch that would pass them cannot be addressed.
    if (need > ScratchLimit) ExitProcess(ERROR_NOT_ENOUGH_MEMORY);
    ScratchCapacity = static_cast<int32_t>(need) + ScratchGrowth;
    StringScratch = static_cast<char*>(
        Checked(HeapReAlloc(StringHeap, 0, StringScratch, static_cast<size_t>(ScratchCapacity) + BlockSpare)));
  }
  ScratchOffset = resultOffset + 2 * units;
  return ScratchAddress(resultOffset);
}

wchar_t* ScratchReserveFor(int32_t units, int32_t resultOffset, const wchar_t** argument) {
  const uint32_t tag = ScratchTag(*argument);
  wchar_t* result = ScratchReserve(units, resultOffset);
  if (tag) *argument = ScratchFromTag(tag);
  return result;
}

void ScratchRelease(int32_t units) { ScratchOffset -= 2 * units; }

void ScratchEmptyResult(int32_t resultOffset) {
  ScratchOffset = resultOffset;
  *ScratchAddress(resultOffset) = 0;
}

uint32_t ScratchTag(const void* address) {
  // Unsigned: an address below the base wraps to a large distance and falls outside.
  uintptr_t distance = reinterpret_cast<uintptr_t>(address) - reinterpret_cast<uintptr_t>(StringScratch);
  return distance <= static_cast<uintptr_t>(ScratchOffset) ? static_cast<uint32_t>(distance) + 1 : 0;
}

wchar_t* ScratchFromTag(uint32_t tag) { return reinterpret_cast<wchar_t*>(StringScratch + (tag - 1)); }

wchar_t* ScratchAddress(int32_t offset) { return reinterpret_cast<wchar_t*>(StringScratch + offset); }

void ScratchFromUtf8(const char* bytes, size_t length, int32_t result) {
  // Each unit takes at least one byte, so bytes within the room decode within it.
  const int64_t room = (int64_t{ScratchLimit} - ScratchOffset) / 2;
  const int bytesDecoded = static_cast<int>(std::min<int64_t>(static_cast<int64_t>(length), room));
  if (bytes && bytesDecoded > 0 && IsAscii(bytes, static_cast<size_t>(bytesDecoded))) {
    // Bytes below 0x80 decode one to one into the same values, so the platform's
    // two passes are not needed: one reservation of exactly the decoded length.
    wchar_t* at = ScratchReserve(bytesDecoded, result);
    for (int i = 0; i < bytesDecoded; ++i) at[i] = static_cast<unsigned char>(bytes[i]);
    at[bytesDecoded] = L'\0';
    return;
  }
  // Decoded by length: the platform's decoding of a NUL-terminated string may take
  // the NUL into an incomplete sequence at the end.
  const int units = bytes && bytesDecoded > 0 ? MultiByteToWideChar(CP_UTF8, 0, bytes, bytesDecoded, nullptr, 0) : 0;
  if (units <= 0) {
    ScratchEmptyResult(result);
    return;
  }
  wchar_t* at = ScratchReserve(units, result);
  MultiByteToWideChar(CP_UTF8, 0, bytes, bytesDecoded, at, units);
  at[units] = L'\0';
}

wchar_t* CopyUnits(wchar_t* destination, const wchar_t* source, int32_t units) {
  // memmove: producers copy a text down onto its own result offset, so the ranges may overlap.
  memmove(destination, source, sizeof(wchar_t) * static_cast<size_t>(units));
  destination[units] = 0;
  return destination + units;
}
