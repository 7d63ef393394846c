// Strings: UTF-16 string values on their own heap, and the shared scratch buffer
// through which every string result passes.
//
// A string value is null (the empty string) or a block on StringHeap owned by the
// variable that holds it. A producer takes a result offset (a saved ScratchOffset,
// the mark) as its last argument, writes its result there with a 0 terminator and
// leaves ScratchOffset on that terminator. Positions in the scratch are byte
// offsets, never addresses: the buffer moves when it grows. Every string argument
// may be null and then reads as empty. Nothing here reports an error.
#pragma once

#include <windows.h>

#include <cstdint>
#include <type_traits>

#include "core/core.h"

using String = wchar_t*;  // a string variable: null, or its own block on StringHeap

extern HANDLE StringHeap;        // holds the variables' blocks and the scratch, nothing else
extern char* StringScratch;      // base of the scratch; changes when it grows
extern int32_t ScratchOffset;    // bytes: end of the temporaries in use
extern int32_t ScratchCapacity;  // bytes usable; the block is ScratchCapacity + 10 after growth

bool StringsInit();

// Copies the result lying at mark into the variable and sets ScratchOffset to mark.
void StoreResult(String* variable, int32_t mark);
// Appends text at ScratchOffset (concatenation); text never lies in the scratch.
void AppendText(const wchar_t* text);
// 1 when equal unit for unit, else 0; no ordering, no case folding.
int32_t CompareText(const wchar_t* a, const wchar_t* b);
// Releases a variable's block (its value); the variable itself is not touched.
void FreeText(String value);

// Room for units code units at resultOffset, growing the buffer to need + 16384
// bytes when need >= ScratchCapacity - 4; ScratchOffset becomes resultOffset + 2 units.
wchar_t* ScratchReserve(int32_t units, int32_t resultOffset);
// The one guard for a producer's argument that may lie in the scratch: ScratchReserve,
// then *argument turned into its address after the buffer may have moved.
wchar_t* ScratchReserveFor(int32_t units, int32_t resultOffset, const wchar_t** argument);
void ScratchRelease(int32_t units);            // gives back reserved units not used
void ScratchEmptyResult(int32_t resultOffset); // the empty result at resultOffset
uint32_t ScratchTag(const void* address);      // 1 + (address - base) inside the scratch, else 0
wchar_t* ScratchFromTag(uint32_t tag);         // the tagged address under the current base
wchar_t* ScratchAddress(int32_t offset);
// Copies units code units and a terminator; returns the terminator's address.
wchar_t* CopyUnits(wchar_t* destination, const wchar_t* source, int32_t units);
// True when each of count units (bytes or UTF-16 code units) lies below 0x80: such a
// text is its own UTF-8 and UTF-16 encoding, unit for unit.
template <typename Unit>
bool IsAscii(const Unit* units, size_t count) {
  uint32_t seen = 0;
  for (size_t i = 0; i < count; ++i) seen |= static_cast<std::make_unsigned_t<Unit>>(units[i]);
  return seen < 0x80;
}
// Produces the UTF-16 decoding of length UTF-8 bytes, each invalid sequence
// becoming U+FFFD. Bytes whose decoding the scratch's 32-bit offsets could not
// hold are left out, so an enormous input gives a cut result, never a wrapped one.
void ScratchFromUtf8(const char* bytes, size_t length, int32_t result);

// String functions. Positions are 1-based, lengths in UTF-16 code units, every
// search exact and case-sensitive, and trimming removes U+0020 only.
//
// A text argument may lie in the scratch below ScratchOffset: at the producer's
// own result offset (a chained call), after it, or wholly before it (a temporary
// kept below ScratchOffset with ScratchMark::Seal). It must not straddle the
// result offset. So every producer reserves its room with ScratchReserveFor before
// writing anything (reserving may move the buffer, and a result written past a
// sealed text may need the room), and then writes.
void TextField(const wchar_t* text, int32_t index, const wchar_t* separator, int32_t result);
int32_t TextFind(const wchar_t* text, const wchar_t* search, int32_t start);
void TextTrim(const wchar_t* text, int32_t result);
void TextLeft(const wchar_t* text, int32_t count, int32_t result);
void TextRight(const wchar_t* text, int32_t count, int32_t result);
void TextLower(const wchar_t* text, int32_t result);
int32_t TextLength(const wchar_t* text);

// The mark of one statement: saves ScratchOffset and puts it back when it goes out
// of scope. It converts to the result offset that producers take.
class ScratchMark {
 public:
  ScratchMark() : mark_(ScratchOffset) {}
  ~ScratchMark() { ScratchOffset = mark_; }
  ScratchMark(const ScratchMark&) = delete;
  ScratchMark& operator=(const ScratchMark&) = delete;

  operator int32_t() const { return mark_; }
  // The result at the mark; valid only until the scratch next grows, so pass it
  // straight to the next call and never keep it.
  const wchar_t* Text() const { return ScratchAddress(mark_); }
  void StoreIn(String* variable) const { StoreResult(variable, mark_); }
  // Compares the result at the mark with other, after giving its room back.
  bool Equals(const wchar_t* other) const {
    ScratchOffset = mark_;
    return CompareText(Text(), other) != 0;
  }
  // For a call that takes the result without producing a string: keeps the
  // terminator below ScratchOffset, so that scratch use by the callee starts after it.
  const wchar_t* Seal() const {
    ScratchOffset += 2;
    return Text();
  }

 private:
  int32_t mark_;
};

// A local text rewritten many times, as in a loop over the lines of a file: it is
// held in a KeptBlock, kept from one store to the next, where a String variable is
// reallocated to its exact size at every store. Starts null, and is null again
// after a store whose room the heap refused; the block goes with the object.
class KeptText {
 public:
  KeptText() = default;
  ~KeptText() { block_.Release(); }
  KeptText(const KeptText&) = delete;
  KeptText& operator=(const KeptText&) = delete;

  // As StoreResult: copies the result lying at mark and sets ScratchOffset to mark.
  void Store(int32_t mark);
  const wchar_t* Get() const { return reinterpret_cast<const wchar_t*>(block_.bytes); }

 private:
  KeptBlock block_ = {};
};

// A local string variable: starts null and releases its block when it goes out of scope.
class StringValue {
 public:
  StringValue() = default;
  ~StringValue() { FreeText(value_); }
  StringValue(const StringValue&) = delete;
  StringValue& operator=(const StringValue&) = delete;

  String* Slot() { return &value_; }
  const wchar_t* Get() const { return value_; }

 private:
  String value_ = nullptr;
};
