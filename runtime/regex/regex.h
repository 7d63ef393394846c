// Regular expressions: patterns compiled by PCRE2 (8-bit library, UTF mode) as numbered
// objects, and the replacement of every match in a text.
//
// A pattern belongs to RegexTable from RegexCreate until RegexFree, a new RegexCreate
// under its number, or RegexEnd. RegexCreate answers 0 when nothing was compiled; a
// replacement with a missing text or an identifier that names no pattern is empty.
#pragma once

#include "core/core.h"

#include <cstdint>

// A record whose pattern is null counts as absent.
struct RegexRecord {
  void* compiled;    // PCRE2's compiled pattern (pcre2_code, on RuntimeHeap), owned; pcre2_code_free frees it and its JIT code
  size_t searched;   // bytes of the texts it was given to search, counted until its JIT code is due
  bool hasJitCode;   // whether the JIT code has been made
};

extern ObjectTable* RegexTable;  // created by RegexInit, never freed

bool RegexInit();
// Frees every pattern still registered, numbered or dynamic.
void RegexEnd();

// Compiles pattern under number (DynamicNumber for a new identifier). Returns the
// record's address, or 0 when the number is refused or the pattern is missing or
// rejected (RegexLastError then holds PCRE2's message). For DynamicNumber that
// address is the pattern's identifier; a numbered pattern is named by its number,
// and the address returned for it is only a success value that names nothing.
intptr_t RegexCreate(ObjectId number, const wchar_t* pattern);
// Produces text with every match replaced by replacement, taken literally. Each
// search starts afresh on what follows the previous match, which is located as the
// first occurrence of the matched text there and widened to the whole characters it
// touches (\C can begin or end a match inside one). The first empty match ends the
// work (as does one that ends before it starts, which \K in a look-ahead allows), and
// so does a search that gives up: the rest of the text follows unchanged. A search
// gives up only when both of PCRE2's engines do (its interpreter at its match, depth
// or heap limit; its JIT code when its stack is spent), so the result does not depend
// on which of them ran first. When a copy of the text or the replacement cannot be
// had, or the output cannot grow, the result is empty.
void RegexReplace(ObjectId regex, const wchar_t* text, const wchar_t* replacement, int32_t result);
// Frees the pattern of a number or identifier; nothing happens when it names none.
void RegexFree(ObjectId regex);
// The message of the last rejected pattern, or null; cleared by every RegexCreate.
const char* RegexLastError();
// How many blocks PCRE2 holds on RuntimeHeap (its contexts, patterns, match data, JIT
// stack): the one count that shows whether a freed pattern gave all of its memory back.
size_t RegexBlocksHeld();

// UTF-16 to a new NUL-terminated UTF-8 copy on the C heap; empty, never null, for a
// missing text. Release it with FreeUtf8.
char* ToUtf8(const wchar_t* text);
void FreeUtf8(char* bytes);
// Produces the UTF-16 decoding of NUL-terminated UTF-8 bytes; missing bytes are empty.
void Utf8ToScratch(const char* bytes, int32_t result);
